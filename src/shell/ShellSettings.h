// The editor's per-user settings: the "Settings" section of zandor.ini, the
// grid and mask sections, and the main window's position, kept in an INI file
// of their own under $XDG_CONFIG_HOME/Korvat/Zandor/.  What the drawing code,
// the readers and the writers read (the drawing flags, levels, segment counts,
// the text font, the polygon options) lives only in the model's settings; the
// editor reads and writes those keys there.
#pragma once

#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace zandor {

class Background;
class Grid;
struct ModelSettings;

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

// A stored aperture ("D10" .. "D59"): "*" or text without two commas leaves
// the entry undefined; otherwise an integer, after the first comma a second
// integer, after the next comma the shape, square when the character right
// after that comma is 'S'.  Non-numbers read as 0, as the C conversions give.
Aperture ParseAperture(const QString& text);
// "%ld,%ld,%s" with "S" or "C"; "*" for an undefined entry.
QString FormatAperture(const Aperture& aperture);

struct ShellSettings {
    bool showLayerIndices = false;
    bool showGrid = true;
    bool showRulers = true;
    bool showCoordinates = true;
    bool snapGuidelines = true;
    bool snapObjects = false;
    bool snapOrtho = true;
    bool singleLayer = false;
    bool allNodes = true;
    std::int32_t connectWiresTol = 50;
    bool lockSymbols = false;
    std::int32_t wireThickness = 100000;
    int wireStyle = 0;
    std::int32_t textHeight = 2000000;
    std::int32_t textAngle = 0;
    QStringList recentFiles;
    GerberSettings gerber;
    DrillSettings drill;

    // Reads the sections this editor uses, the model's keys into model;
    // missing or malformed keys keep their defaults, out-of-range values are
    // clamped as the editor expects.
    void Read(QSettings& ini, ModelSettings& model, Grid& grid, Background& background);
    void Write(QSettings& ini, const ModelSettings& model, const Grid& grid, const Background& background) const;
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
