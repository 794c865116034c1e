// The options of the flash-file writers and readers (Mann pattern generators
// in their single- and four-quadrant dialects, and EMK), and the questions
// through which a writer or reader "shows its options dialog first".  The
// editor answers with its dialogs and keeps the values in its settings; the
// command-line tool and the tests give the values directly.
#pragma once

namespace zandor {

// The Mann writer's and reader's options, as the options dialog holds them.
// Lengths are kept in millimetres when metric, in inches otherwise: the
// dialog shows the two coordinate fields in mm or inch as they are and the
// four small lengths in um or mils, that is 1000 times the values here.
// The defaults are the single-quadrant English preset.
struct MannOptions {
    // Settings key Mann1600.  true: the integer single-quadrant format of
    // the 1600A/2600/3000 machines (the "3000 format"); false: the decimal
    // four-quadrant format of the 3600 (centre at (0, 0)).
    bool singleQuadrant = true;
    // Metric: lengths in mm (dialog um); false: English, inches (dialog mils).
    bool metric = false;
    // MirrorX: mirror the x coordinates (about maxCoordinate in the
    // single-quadrant format, about x = 0 in the four-quadrant one).
    bool mirrorX = false;
    // Scale: factor the layout is multiplied by; must be above 0.
    double scale = 1.0;
    // XminYmin and XmaxYmax, mm or inch: the range named in the header; the
    // maximum is also the mirror axis of the single-quadrant format.
    double minCoordinate = 0.0;
    double maxCoordinate = 4.0;
    // MinStep, mm or inch: the size of one output unit; above 0.  The
    // single-quadrant format writes whole um (metric), which the resolution
    // must be a multiple of, or tenths of a mil with quarter mils marked by a
    // last digit 2 or 7 (English), so the resolution must be a multiple of
    // 0.25 mil there.
    double resolution = 0.00025;
    // MinFlash and MaxFlash, mm or inch: the bounds of a flash's width and
    // height.  Smaller flashes are enlarged (with a warning); larger shapes
    // are cut into flashes.  The maximum must be at least one output unit
    // and not below the minimum.
    double minFlash = 0.00025;
    double maxFlash = 0.12;
    // FlashStep, mm or inch: named in the header only.
    double flashResolution = 0.00025;
    // Astep, degrees: flash angles are written in steps of this size (1 or
    // 0.1 in practice); from 0.001 to 90.  The reader multiplies the angles
    // of single-quadrant files by it.
    double angleResolution = 1.0;
    // ImplicitDP: the four-quadrant format writes ".25" for "0.25" (and the
    // reader takes a number without a point as a fraction).
    bool implicitDecimalPoint = true;
    // UseLineBreaks: every statement ends with a line break.
    bool lineBreaks = true;
    // InsertHeader: a header block and 512-character blocks that no
    // statement crosses.  The dialog unchecks and disables lineBreaks while
    // this is checked.
    bool blocks = true;
};

// The three kinds of Mann files a reader tells apart.
enum class MannDialect { SingleQuadrant, FourQuadrantMetric, FourQuadrantEnglish };

// Choosing a coordinate system or a unit system in the dialog: sets both and
// fills the six length fields (coordinates, resolution, flash sizes, flash
// resolution) with that system's preset; the rest stays.
//   single quadrant, metric:   0, 100 mm;   5 um;     5, 3000 um;   5 um
//   single quadrant, English:  0, 4 inch;   0.25 mil; 0.25, 120 mil; 0.25 mil
//   four quadrant, metric:     -75, 75 mm;  0.1 um;   2, 1500 um;   0.5 um
//   four quadrant, English:    -3, 3 inch;  0.005 mil; 0.1, 75 mil; 0.025 mil
void ApplyMannSystem(MannOptions& options, bool singleQuadrant, bool metric);

// What the reader shows in the dialog for a file of the dialect detected:
// when the options hold the other coordinate system, the system, the unit
// and the seven values (the six lengths above and an angle resolution of
// 0.1 degree) become the dialect's preset, the single-quadrant one being
// metric; a four-quadrant file read with four-quadrant options only sets
// the unit system from the file.
void PrepareMannOptionsForReading(MannOptions& options, MannDialect dialect);

// The EMK writer's and reader's options.  The three lengths are in um, or in
// mils when mils is set (the dialog's unit system); they are kept only while
// the program runs.
struct EmkOptions {
    // "Unit:": the size of one file unit; above 0.
    double unit = 0.1;
    // "Min. flash size:" and "Max. flash size:": smaller flashes are
    // enlarged (with a warning), larger shapes are cut into flashes.  The
    // maximum must be at least one unit and not below the minimum.
    double minFlash = 2.54;
    double maxFlash = 1524;
    // The unit system of the three fields: false "um", true "mils".
    bool mils = false;
};

// Switching the dialog's unit system converts the three fields (x 25.4 to
// um, / 25.4 to mils); nothing happens when the system is already chosen.
void SwitchEmkUnits(EmkOptions& options, bool mils);

// Why the dialog is shown: before writing, or before reading a file (the
// Mann dialog then ends at "Use line breaks").
enum class FlashDialogUse { Write, Read };

// The dialogs.  Each gets the values to show and, when the user confirms,
// leaves the chosen ones in them; false when cancelled.  An implementation
// that keeps the values for the next time (the editor does, in
// FlashSettings() and its settings file) stores them itself.
class FlashOptionDialogs {
public:
    virtual ~FlashOptionDialogs() = default;
    virtual bool Mann(MannOptions& options, FlashDialogUse use) = 0;
    virtual bool Emk(EmkOptions& options, FlashDialogUse use) = 0;
};

// Installs the dialogs (nullptr: none); returns the previous ones.
FlashOptionDialogs* SetFlashOptionDialogs(FlashOptionDialogs* dialogs);
// Asks the installed dialogs; without any, the values given stand and the
// answer is yes.
bool AskMannOptions(MannOptions& options, FlashDialogUse use);
bool AskEmkOptions(EmkOptions& options, FlashDialogUse use);

// The values the layout document's layer export and file loading start
// from: the editor fills them from its settings ("Mann" section) at start,
// the command-line tool from its arguments.
struct FlashOptionSettings {
    MannOptions mann;
    EmkOptions emk;
};
FlashOptionSettings& FlashSettings();

}  // namespace zandor
