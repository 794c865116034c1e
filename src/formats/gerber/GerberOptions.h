// The options of the Gerber (RS-274X) photoplot writer and reader: the
// coordinate format, the units, the two block characters, how polygons are
// filled, and the table of 50 apertures D10 to D59 the writer strokes and
// flashes with.  The editor keeps them in the "Gbr" section of its settings
// and answers the options dialog; the command-line tool and the tests give
// the values directly.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zandor {

// One entry of the aperture table.  The size in nanometres chooses the
// aperture and gives the millimetre definitions; the size in whole mils only
// the inch definitions.  An entry is in use when its nanometre size is above 0.
struct GerberAperture {
    std::int64_t nanometres = 0;
    std::int64_t mils = 0;
    bool square = false;  // false: round
    bool InUse() const { return nanometres > 0; }
    bool operator==(const GerberAperture&) const = default;
};

inline constexpr int kGerberApertureCount = 50;  // D10 .. D59
inline constexpr int kGerberFirstDCode = 10;
using GerberApertureTable = std::array<GerberAperture, kGerberApertureCount>;

// Polygon fill (G36/G37), settings key "Polygons": 0 always a region, 1 never
// (shapes are drawn with apertures only), 2 only when no aperture can do it.
enum class GerberFill { Always = 0, Never = 1, WhenNecessary = 2 };

struct GerberOptions {
    int integers = 3;               // "Integers": digits before the decimal point
    int decimals = 4;               // "Decimals": digits after it, 0 .. 6
    bool millimetres = false;       // "Units": "IN", or anything starting with M
    char endOfBlock = '*';          // "EndOfBlock"
    char parameterDelimiter = '%';  // "ParDelim"
    GerberFill fill = GerberFill::WhenNecessary;
    GerberApertureTable apertures = DefaultGerberApertures();

    // The built-in table: D10 to D13 square and D14 to D17 round, each
    // group 4, 8, 16 and 39 mils; D18 to D59 not in use.
    static GerberApertureTable DefaultGerberApertures();
};

// A stored aperture ("D10" .. "D59" keys): "%ld,%ld,%s" with the size in nm,
// the size in mils and "S" (square) or "C" (round).  Parsed as: an integer,
// after the first comma a second integer, after the next comma the shape,
// square when the character after that comma is 'S'; non-numbers read as 0.
// False (entry left alone) for "*" or a text without two commas.
bool ParseGerberAperture(const std::string& text, GerberAperture& aperture);
std::string FormatGerberAperture(const GerberAperture& aperture);

// The options dialog ("Gerber RS-274X options..." with its "Apertures..."
// table).  It gets the values to show and, when the user confirms, leaves
// the chosen ones in them; false when cancelled.  An implementation that
// keeps the values for the next time stores them itself.
class GerberOptionDialog {
public:
    virtual ~GerberOptionDialog() = default;
    virtual bool Ask(GerberOptions& options) = 0;
};

// Installs the dialog (nullptr: none); returns the previous one.
GerberOptionDialog* SetGerberOptionDialog(GerberOptionDialog* dialog);
// Asks the installed dialog; without one the values given stand and the
// answer is yes.
bool AskGerberOptions(GerberOptions& options);

// The values the layer export and the reader start from: the editor fills
// them from its settings at start, the command-line tool from its arguments.
GerberOptions& GerberSettings();

}  // namespace zandor
