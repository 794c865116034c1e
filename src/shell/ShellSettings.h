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
struct DrillOptions;
struct GerberOptions;
struct ModelSettings;

// The "Gbr" section: the Gerber options as a fresh start gives them, then each
// key present; "Units" beginning with M or m means millimetres, anything else
// inches.  A stored aperture of "*" (or text without two commas) keeps
// the built-in entry; a number that is not a whole number, a fill mode other
// than 0..2, integer digits outside 1..9, decimals outside 0..6 and unusable
// block characters keep their defaults.  Written back with "%ld,%ld,%s" apertures, "*" for an entry that
// equals the built-in one.
void ReadGerberSection(QSettings& ini, GerberOptions& options);
void WriteGerberSection(QSettings& ini, const GerberOptions& options);
// The "Tap" section, read and written like the Gerber one.
void ReadDrillSection(QSettings& ini, DrillOptions& options);
void WriteDrillSection(QSettings& ini, const DrillOptions& options);

// Whether c can end a Gerber block or delimit its parameters: a printable
// character that no coordinate, number or parameter list holds (not a letter,
// digit, blank, sign, point or comma).
bool UsableGerberBlockCharacter(char c);

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

    // Reads the sections this editor uses, the model's keys into model and
    // the plot and flash output sections into GerberSettings(),
    // DrillSettings() and FlashSettings(); missing or malformed keys keep
    // their defaults, out-of-range values are clamped as the editor expects.
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
