// The four options of the save-as dialog, which the CIF writer takes as a
// parameter.  The editor remembers the last chosen ones in its settings
// (ModelSettings::saveOptions).
#pragma once

namespace zandor {

struct SaveOptions {
    bool noExtensions = false;  // "Do not use Zandor extensions"
    bool flatten = false;       // "Flatten file structure"
    bool removeEmpty = false;   // "Remove empty symbol definitions"
    bool removeUnused = false;  // "Remove unused symbol definitions"
};

}  // namespace zandor
