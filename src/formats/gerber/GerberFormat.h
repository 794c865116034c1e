// Registration of the Gerber reader (".gbr") with the layout document; it
// reads with the block characters of GerberSettings().
#pragma once

namespace zandor {

void RegisterGerberFormat();

}  // namespace zandor
