// The settings of the main window that the layout model reads.  The editor
// stores them in its settings file and copies them here; the command-line tool
// and the tests use the defaults or set their own.
#pragma once

namespace zandor {

struct ModelSettings {
    int ringNumSegments = 72;    // segments of a full ring or arc, 16..512
    int circleNumSegments = 72;  // segments of a circle, 16..512
};

ModelSettings& Settings();

}  // namespace zandor
