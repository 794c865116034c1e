// The settings of the main window that the layout model and the file readers
// and writers read.  The editor keeps them in its settings file and copies them
// here; the command-line tool and the tests use the defaults or set their own.
#pragma once

#include <cstdint>

#include "model/ObjectRecord.h"
#include "model/SaveOptions.h"

namespace zandor {

struct ModelSettings {
    int ringNumSegments = 72;               // segments of a full ring or arc, 16..512
    int circleNumSegments = 72;             // segments of a circle, 16..512
    SaveOptions saveOptions;                // as last chosen in the save-as dialog
    LOGFONTA textFont = DefaultTextFont();  // font of new texts
    // Polygons made from other objects (texts, boolean results).
    int polygonGrid = 1;             // PolygonGrid: snapping grid in nm, 0 = 0.01 nm
    int maxPolyNodes = 200;          // MaxPolyNodes, 16..32768
    bool splitLargePolygons = true;  // SplitLargePolygons
    // Mask plate centred on the origin, in database units, and whether saving
    // warns about objects outside it.
    std::int64_t maskWidth = 127000000;
    std::int64_t maskHeight = 127000000;
    bool showMaskWarning = true;

    // Drawing: fill objects (else outlines only), show the contents of calls
    // and arrays, their outline boxes, group outlines, black background, and
    // the deepest call level expanded (1..30).
    bool fill = true;
    // Objects get their layer's outline (pictures compared pixel by pixel
    // with other programs' leave it off and show the filled areas only).
    bool outlines = true;
    bool showInteriors = true;
    bool showBorders = true;
    bool showGroups = false;
    bool backgroundBlack = false;
    int levels = 30;

    static LOGFONTA DefaultTextFont() {
        LOGFONTA font;
        font.lfFaceName[0] = 'A';
        font.lfFaceName[1] = 'r';
        font.lfFaceName[2] = 'i';
        font.lfFaceName[3] = 'a';
        font.lfFaceName[4] = 'l';
        return font;
    }
};

ModelSettings& Settings();

}  // namespace zandor
