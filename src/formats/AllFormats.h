// Registers every file reader and writer with the layout document.  The
// editor, the command-line tool and the tests call this once at start.
#pragma once

namespace zandor {

void RegisterFileFormats();

}  // namespace zandor
