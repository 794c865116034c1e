// The options of the Mann and EMK flash files on the command line: for
// `export --format man3000|man3600|emk` the writer's options, for `convert`
// and `info` of a .man, .dwm or .emk file the reader's.  Defaults are the
// presets of the coordinate and unit system chosen.
#pragma once

#include <map>
#include <set>
#include <string>

#include "formats/flash/FlashOptions.h"

namespace zandor::cli {

// The flash options as given: "--name value" and switches.
struct FlashArguments {
    std::map<std::string, std::string> values;
    std::set<std::string> switches;
    bool Empty() const { return values.empty() && switches.empty(); }
};

// Whether an argument is a flash option taking a value, or a switch.
bool IsFlashValueOption(const std::string& name);
bool IsFlashSwitch(const std::string& name);

// The writer's options from the arguments; the usage problem, or an empty
// string.  Lengths: --resolution, --min-flash, --max-flash and
// --flash-resolution in um (mils with --english), --min-coord and --max-coord
// in mm (inch); --angle-resolution in degrees (default 0.1); --blocks,
// --line-breaks and --implicit-decimal take on or off (default on, line
// breaks off while blocks are on).
std::string MannWriterOptions(const FlashArguments& arguments, bool singleQuadrant, MannOptions& options);
// --unit, --min-flash, --max-flash in um, or in mils with --mils.
std::string EmkWriterOptions(const FlashArguments& arguments, EmkOptions& options);

// Checks the reader's options of a Mann (--english, --mirror, --scale,
// --max-coord, --angle-resolution, --implicit-decimal) or EMK (--unit,
// --mils) file; the usage problem, or an empty string.
std::string CheckMannReaderArguments(const FlashArguments& arguments);
std::string CheckEmkReaderArguments(const FlashArguments& arguments);

// The answers of the options dialogs for reading: the dialect's preset,
// with what the arguments say on top (--english for a single-quadrant file
// only: a four-quadrant file names its unit itself).  Installed while a file
// is read; the options of FlashSettings() are set to the single-quadrant
// metric preset, which the readers start from.
class ReaderFlashDialogs final : public FlashOptionDialogs {
public:
    explicit ReaderFlashDialogs(const FlashArguments& arguments);
    ~ReaderFlashDialogs() override;
    ReaderFlashDialogs(const ReaderFlashDialogs&) = delete;
    ReaderFlashDialogs& operator=(const ReaderFlashDialogs&) = delete;

    bool Mann(MannOptions& options, FlashDialogUse use) override;
    bool Emk(EmkOptions& options, FlashDialogUse use) override;

private:
    const FlashArguments& arguments;
    FlashOptionDialogs* previous;
};

}  // namespace zandor::cli
