// The editor's per-user settings: the "Settings" section of zandor.ini (the
// drawing flags go on to the model's settings, which the core reads), the
// grid and mask sections, and the main window's position, kept in an INI file
// of their own under $XDG_CONFIG_HOME/Korvat/Zandor/.
#pragma once

#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "model/ObjectRecord.h"

namespace zandor {

class Background;
class Grid;

// The photoplotter output settings ("Gbr") and the drill output settings
// ("Tap"), kept for the output commands.
struct Aperture {
    bool defined = false;
    long a = 0, b = 0;
    bool square = false;  // 'S' square, otherwise round
};

struct GerberSettings {
    int integers = 3;
    int decimals = 4;
    bool millimetres = false;  // "Units": a value starting with 'M' means millimetres
    char endOfBlock = '*';
    char parameterDelimiter = '%';
    int polygons = 2;
    Aperture apertures[50];  // D10 .. D59
};

struct DrillSettings {
    int integers = 2;
    int decimals = 4;
    bool millimetres = false;
};

struct ShellSettings {
    bool showLayerIndices = false;
    bool showGrid = true;
    bool fill = true;
    bool showRulers = true;
    bool showCoordinates = true;
    bool showInteriors = true;
    bool showBorders = true;
    bool showGroups = false;
    bool backgroundBlack = false;
    int levels = 30;
    bool snapGuidelines = true;
    bool snapObjects = false;
    bool snapOrtho = true;
    bool singleLayer = false;
    bool allNodes = true;
    bool splitLargePolygons = true;
    int maxPolyNodes = 200;
    std::int32_t polygonGrid = 1;
    std::int32_t connectWiresTol = 50;
    int ringNumSegments = 72;
    int circleNumSegments = 72;
    bool lockSymbols = false;
    std::int32_t wireThickness = 100000;
    int wireStyle = 0;
    std::int32_t textHeight = 2000000;
    std::int32_t textAngle = 0;
    LOGFONTA font = DefaultFont();
    QStringList recentFiles;
    GerberSettings gerber;
    DrillSettings drill;

    static LOGFONTA DefaultFont();

    // Reads the sections this editor uses; missing or malformed keys keep
    // their defaults, out-of-range values are clamped as the editor expects.
    void Read(QSettings& ini, Grid& grid, Background& background);
    void Write(QSettings& ini, const Grid& grid, const Background& background) const;
    // Copies what the drawing code, the readers and writers read.
    void ApplyToModel() const;
};

// Where the settings live: $XDG_CONFIG_HOME/Korvat/Zandor (or ~/.config/...).
QString ConfigFolder();

// The settings file, created (with its folder) when missing.  nullptr after
// showing "Unable to open or create configuration file." when that fails.
std::unique_ptr<QSettings> OpenSettingsFile();

// The main window's stored position: left, top, width, height, full.
struct WindowPlacement {
    QRect geometry{0, 0, 800, 600};
    bool maximised = false;
    static WindowPlacement Read();
    void Write() const;
};

}  // namespace zandor
