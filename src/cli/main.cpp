// zandor-cli: the layout editor's file operations from the command line.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "cli/BooleanCommand.h"
#include "cli/ConsoleServices.h"
#include "cli/DrillArguments.h"
#include "cli/EditCommands.h"
#include "cli/FlashArguments.h"
#include "cli/GerberArguments.h"
#include "cli/ReadingFormat.h"
#include "cli/RenderCommand.h"
#include "formats/AllFormats.h"
#include "model/Geometry.h"
#include "model/Layout.h"
#include "platform/Diagnostics.h"
#include "platform/ReplacingFile.h"

using namespace zandor;

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "Usage: zandor-cli COMMAND ...\n"
    "\n"
    "Commands:\n"
    "  info FILE [--json] [--format gerber|tap] [FLASH OR DRILL READING OPTIONS]\n"
    "      Main symbol, symbols with their objects by kind and the symbols they\n"
    "      call, the call hierarchy, the layers and the bounding box in um; the\n"
    "      JSON also lists what reading reported (\"diagnostics\").\n"
    "  convert IN OUT [--no-extensions] [--flatten] [--remove-empty] [--remove-unused]\n"
    "          [--report REPORT.json] [--format gerber|tap] [FLASH OR DRILL READING OPTIONS]\n"
    "      Reads IN (.cif, .gds, Mann .man/.dwm, EMK .emk, Gerber .gbr, drill\n"
    "      .tap) and writes OUT in the format of OUT's extension (.cif or .gds;\n"
    "      a .gds file gets its layer\n"
    "      map, .map, beside it).  The options apply to CIF output.  --report\n"
    "      writes what reading and writing reported, also what was\n"
    "      approximated, skipped or repaired, as JSON.\n"
    "      --format gerber reads IN as a Gerber file whatever its extension\n"
    "      (.gtl, .gbl, .gbx, .pho, .art, ...).\n"
    "  export IN --layer N --format cif|man3000|man3600|emk|gerber|tap OUT\n"
    "         [FLASH OPTIONS | GERBER OPTIONS | DRILL OPTIONS]\n"
    "      Writes layer N of IN alone: as CIF, as a Mann flash file in the\n"
    "      single-quadrant integer (3000) or four-quadrant decimal (3600)\n"
    "      format, as an EMK flash file, as a Gerber RS-274X photoplot, or the\n"
    "      circles and rings of the layer as holes of a drill (TAP) file.\n"
    "      Mann options (defaults: the preset of the format and unit system):\n"
    "        --english            inches and mils instead of mm and um\n"
    "        --resolution U       output unit in um (mils)\n"
    "        --min-flash U, --max-flash U, --flash-resolution U   in um (mils)\n"
    "        --min-coord C, --max-coord C   header range in mm (inch); the\n"
    "                             maximum is the 3000 format's mirror axis\n"
    "        --mirror             mirror the x coordinates\n"
    "        --scale F            multiply the layout by F (default 1)\n"
    "        --angle-resolution D angle step in degrees (default 0.1)\n"
    "        --blocks on|off      512-character blocks (default on)\n"
    "        --line-breaks on|off a line per statement (default: off with blocks)\n"
    "        --implicit-decimal on|off   3600: \".25\" for \"0.25\" (default on)\n"
    "      EMK options: --unit U (default 0.1), --min-flash U (2.54), --max-flash U\n"
    "        (1524), all in um, or in mils with --mils.\n"
    "      Gerber options (defaults: 3.4 digits, inches, \"*\", \"%\", fill\n"
    "        necessary, D10-D13 square and D14-D17 round of 4, 8, 16, 39 mils):\n"
    "        --integers N, --decimals N   coordinate format (1..6 and 0..6)\n"
    "        --mm | --inch        units\n"
    "        --fill always|never|necessary   regions (G36/G37) for every\n"
    "                             shape, never, or where no aperture draws it\n"
    "        --end-of-block C, --delimiter C   the block characters\n"
    "        --aperture DNN=SIZE,SHAPE   sets D10..D59: SIZE in mm or with\n"
    "                             \"mil\" (10mil), SHAPE round|square|none;\n"
    "                             may be repeated\n"
    "      Flash reading options: Mann --english (single-quadrant files; the\n"
    "        four-quadrant ones name their unit), --mirror, --scale F,\n"
    "        --max-coord C, --angle-resolution D (default 0.1), --implicit-decimal\n"
    "        on|off; EMK --unit U, --mils.\n"
    "      Drill options, for writing and reading: --integers N (default 2) and\n"
    "        --decimals N (4, at most 6) digits of the coordinates, --mm or\n"
    "        --inch (the default).  What an Excellon file's header says wins.\n"
    "      --format tap reads IN as a drill file whatever its extension (.drl,\n"
    "        .xln, .txt, .nc, ...).\n"
    "  boolean IN OUT --op or|and|xor|a-b|b-a --a LAYER [--b LAYER] --to LAYER\n"
    "          [--grid NM] [--max-nodes N]\n"
    "      Combines the rectangles, boxes and polygons of the main symbol on layer A\n"
    "      (and B), through all symbol calls and arrays, and adds the result as\n"
    "      polygons on layer --to; the coordinates snap to a grid of NM nm (default\n"
    "      1) and polygons of N nodes or more (default 200) are cut in pieces.\n"
    "  grow IN OUT --layer L|all --by UM [--round]\n"
    "      Moves the outline of every object on layer L of the main symbol out by\n"
    "      UM micrometres (in for a negative UM): rectangles, boxes and polygons\n"
    "      get offset outlines (rounded corners with --round when growing),\n"
    "      wires, rings and arc wires get wider, circles a larger radius.  Texts\n"
    "      and everything placed through calls and arrays stay as they are.\n"
    "  flatten IN OUT [--keep-symbols]\n"
    "      Breaks every call, array and group of the main symbol apart until only\n"
    "      plain objects remain.  Symbols only the main symbol used are left out\n"
    "      of OUT unless --keep-symbols is given.\n"
    "  transform IN OUT --layer L|all (--move DX,DY | --rotate DEG --about X,Y |\n"
    "            --scale FX[,FY] --about X,Y)\n"
    "      Moves, rotates (counter-clockwise, in degrees) or scales the objects of\n"
    "      layer L of the main symbol; a negative factor mirrors (--scale -1,1\n"
    "      mirrors left to right about X).  Lengths in um, with a decimal point.\n"
    "      With a layer, only objects drawn on it are taken (texts included);\n"
    "      calls, arrays, groups and scripts lie on no layer and stay.  \"all\"\n"
    "      takes every object of the main symbol, calls and arrays included, so\n"
    "      the whole layout moves as one.\n"
    "  render IN OUT.png [--size WxH] [--black] [--levels N] [--layer N] [--mono]\n"
    "         [--window X,Y,W,H --dpi D]\n"
    "      Draws the main symbol, zoomed to fit, into a PNG picture of WxH pixels\n"
    "      (default 1600x1000) on white (or black), calls expanded N levels deep\n"
    "      (default 30).  --layer draws that layer alone, --mono every layer solid\n"
    "      black (white with --black) without the mask outline.  --window draws\n"
    "      the rectangle with its lower left corner at X,Y and the size WxH, all\n"
    "      in inches, at D dots per inch instead of zooming to fit.\n"
    "  --help\n"
    "      This text.\n"
    "\n"
    "Messages go to standard error as \"Error: ...\" or \"Warning: ...\".\n"
    "Exit status: 0 success, 1 failure, 2 bad usage.\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "zandor-cli: %s\n\n%s", problem.c_str(), kUsageText);
    return kUsage;
}

// Object kinds by the labels of the status bar, without their trailing words.
const char* KindName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::Group: return "Group";
        case ObjectKind::Script: return "Script";
        default: break;
    }
    return KindLabel(kind).data();  // the labels are string literals
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c >= 0x80) {
                    // Names are 8-bit text; keep them readable as Latin-1.
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string Um(std::int32_t units) { return FormatMicrons(units); }

std::string Color(std::uint32_t color) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return text;
}

// What one file operation reports: the "Error:"/"Warning:" lines on standard
// error (the message service, at most nine errors about single places of a
// file) and a log for the JSON of info and convert --report.
struct Diagnostics {
    platform::ShownDiagnostics lines;
    platform::DiagnosticLog log;
    platform::DiagnosticTee both{lines, log};
};

// A diagnostic of the tool itself: shown, and kept with the file's.
void ReportError(platform::DiagnosticSink& sink, const std::string& text, const std::string& file) {
    platform::Diagnostic d;
    d.text = text;
    d.file = file;
    sink.Report(d);
}

bool Load(Layout& layout, const std::string& name, platform::DiagnosticSink& diagnostics, FileType type = FileUnknown) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(name, error)) {
        ReportError(diagnostics, "Cannot open " + name, name);
        return false;
    }
    cli::ConsoleProgress progress("Reading");
    platform::ProgressService* previous = platform::SetProgressService(&progress);
    const bool loaded = type == FileUnknown ? layout.Load(name, &diagnostics) : layout.Load(name, type, &diagnostics);
    platform::SetProgressService(previous);
    if (!loaded) ReportError(diagnostics, "Could not read " + name, name);
    return loaded;
}

bool Load(Layout& layout, const std::string& name) {
    Diagnostics diagnostics;
    return Load(layout, name, diagnostics.both);
}

// A JSON number, or null for a position that is not known.
std::string NumberOrNull(std::int64_t value, std::int64_t unknown) {
    return value == unknown ? "null" : std::to_string(value);
}

// The entries of a log as JSON objects, one per line, each after indent.
std::string DiagnosticsJson(const platform::DiagnosticLog& log, const std::string& indent, const char* phase) {
    std::string out;
    for (const platform::StoredDiagnostic& d : log.Entries()) {
        out += out.empty() ? "\n" : ",\n";
        out += indent + "{";
        if (phase) out += "\"phase\": " + JsonString(phase) + ", ";
        out += "\"severity\": " + JsonString(platform::SeverityName(d.severity)) + ", \"text\": " + JsonString(d.text) +
               ", \"file\": " + JsonString(d.file) + ", \"line\": " + NumberOrNull(d.line, 0) +
               ", \"statement\": " + NumberOrNull(d.statement, 0) + ", \"offset\": " + NumberOrNull(d.offset, -1) +
               ", \"cell\": " + (d.cell.empty() ? std::string("null") : JsonString(d.cell)) +
               ", \"count\": " + std::to_string(d.count) + "}";
    }
    return out;
}

Rect FreshBounds(SymbolDescription& symbol) {
    symbol.boundsValid = false;
    symbol.EnsureBounds();
    return symbol.Bounds();
}

int Info(const std::string& file, bool json, FileType type) {
    Layout layout;
    Diagnostics diagnostics;
    if (!Load(layout, file, diagnostics.both, type)) return kFailure;
    SymbolDescription* main = layout.MainSymbol();
    const Rect box = FreshBounds(*main);

    // Counts by kind in an array (the kind field has five bits), listed in
    // the order of the kinds: a layout may hold very many symbols.
    struct SymbolInfo {
        SymbolDescription* symbol;
        std::array<int, 32> kinds;
        std::vector<std::string> calls;
        Rect box;
        bool HasObjects() const {
            return std::any_of(kinds.begin(), kinds.end(), [](int n) { return n != 0; });
        }
    };
    std::vector<SymbolInfo> infos;
    infos.reserve(layout.Symbols().size());
    for (const auto& s : layout.Symbols()) {
        SymbolInfo info{s.get(), {}, {}, FreshBounds(*s)};
        for (const Word* r = s->FirstRecord(); r; r = s->NextRecord(r)) {
            ++info.kinds[static_cast<std::size_t>(RecordKind(r)) % info.kinds.size()];
        }
        for (std::int32_t id : s->Children()) {
            const SymbolDescription* called = layout.FindSymbol(id);
            info.calls.push_back(called ? called->Name() : "<missing symbol " + std::to_string(id) + ">");
        }
        infos.push_back(std::move(info));
    }
    auto bbox = [](const Rect& r) {
        return "[" + Um(r.minx) + ", " + Um(r.miny) + ", " + Um(r.maxx) + ", " + Um(r.maxy) + "]";
    };

    std::string out;
    if (json) {
        out += "{\n  \"file\": " + JsonString(file) + ",\n  \"main\": " + JsonString(main->Name()) + ",\n";
        out += "  \"bbox_um\": " + bbox(box) + ",\n  \"symbols\": [";
        for (std::size_t k = 0; k < infos.size(); ++k) {
            const SymbolInfo& info = infos[k];
            out += k ? ",\n    {" : "\n    {";
            out += "\"name\": " + JsonString(info.symbol->Name()) + ", \"id\": " + std::to_string(info.symbol->Id());
            out += ", \"objects\": {";
            bool first = true;
            for (std::size_t kind = 0; kind < info.kinds.size(); ++kind) {
                const int count = info.kinds[kind];
                if (count == 0) continue;
                out += (first ? "" : ", ") + JsonString(KindName(static_cast<ObjectKind>(kind))) + ": " +
                       std::to_string(count);
                first = false;
            }
            out += "}, \"calls\": [";
            for (std::size_t c = 0; c < info.calls.size(); ++c) out += (c ? ", " : "") + JsonString(info.calls[c]);
            out += "], \"bbox_um\": " + bbox(info.box) + "}";
        }
        out += "\n  ],\n  \"layers\": [";
        bool first = true;
        for (int i = 0; i < kLayerCount; ++i) {
            const LayerDescription* l = layout.Layer(i);
            if (!l) continue;
            out += first ? "\n    {" : ",\n    {";
            first = false;
            out += "\"index\": " + std::to_string(i) + ", \"name\": " + JsonString(l->name) +
                   ", \"short_name\": " + JsonString(l->shortName) +
                   ", \"gds_layer\": " + std::to_string(l->GdsLayer()) +
                   ", \"datatype\": " + std::to_string(l->dataType) +
                   ", \"fill_color\": " + JsonString(Color(l->fillColor)) +
                   ", \"outline_color\": " + JsonString(Color(l->outlineColor)) +
                   ", \"polarity\": " + std::to_string(l->polarity) + "}";
        }
        out += "\n  ],\n  \"diagnostics\": [";
        const std::string entries = DiagnosticsJson(diagnostics.log, "    ", nullptr);
        out += entries.empty() ? "]" : entries + "\n  ]";
        if (diagnostics.log.Omitted() > 0) {
            out += ",\n  \"diagnostics_omitted\": " + std::to_string(diagnostics.log.Omitted());
        }
        out += "\n}\n";
        std::fputs(out.c_str(), stdout);
        return kSuccess;
    }

    out += "File: " + file + "\nMain symbol: " + main->Name() + "\n";
    out += "Bounding box: (" + Um(box.minx) + ", " + Um(box.miny) + ") - (" + Um(box.maxx) + ", " + Um(box.maxy) +
           ") um\n\nLayers:\n";
    out += "  index  short name  name                  fill     outline  datatype\n";
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* l = layout.Layer(i);
        if (!l) continue;
        char line[512];
        std::snprintf(line, sizeof line, "  %5d  %-10s  %-20s  %s  %s  %8u\n", i, l->shortName.c_str(), l->name.c_str(),
                      Color(l->fillColor).c_str(), Color(l->outlineColor).c_str(), l->dataType);
        out += line;
    }
    out += "\nSymbols:\n";
    for (const SymbolInfo& info : infos) {
        out += "  " + info.symbol->Name() + " (id " + std::to_string(info.symbol->Id()) + "):";
        bool first = true;
        for (std::size_t kind = 0; kind < info.kinds.size(); ++kind) {
            const int count = info.kinds[kind];
            if (count == 0) continue;
            out += (first ? " " : ", ") + std::to_string(count) + " " + KindName(static_cast<ObjectKind>(kind));
            first = false;
        }
        if (!info.HasObjects()) out += " no objects";
        if (!info.calls.empty()) {
            out += "; calls";
            for (std::size_t c = 0; c < info.calls.size(); ++c) out += (c ? ", " : " ") + info.calls[c];
        }
        out += "\n";
    }
    out += "\nHierarchy:\n";
    // Each symbol's subtree is listed once; later appearances refer back.  The
    // walk keeps its own stack, so that a very deep hierarchy cannot exhaust
    // the thread's.
    std::unordered_set<const SymbolDescription*> listed;
    struct Level {
        const SymbolDescription* symbol;
        std::size_t nextChild;
    };
    std::vector<Level> path;
    auto enter = [&](const SymbolDescription& s) {
        const int depth = static_cast<int>(path.size());
        out += std::string(2 + 2 * depth, ' ') + s.Name();
        if (!listed.insert(&s).second) {
            out += s.Children().empty() ? "\n" : " (see above)\n";
            return;
        }
        out += "\n";
        path.push_back({&s, 0});
    };
    enter(*main);
    while (!path.empty()) {
        Level& level = path.back();
        if (level.nextChild == level.symbol->Children().size()) {
            path.pop_back();
            continue;
        }
        const std::int32_t id = level.symbol->Children()[level.nextChild++];
        if (const SymbolDescription* child = layout.FindSymbol(id)) {
            enter(*child);
        } else {
            out += std::string(2 + 2 * path.size(), ' ') + "<missing symbol " + std::to_string(id) + ">\n";
        }
    }
    std::fputs(out.c_str(), stdout);
    return kSuccess;
}

// The type of an output file by its name; FileUnknown (message shown) when it
// cannot be written.
FileType OutputType(const std::string& out) {
    const FileType type = FileTypeOf(out);
    if (type != FileCif && type != FileGds && type != FileDxf) {
        platform::ShowError("Cannot tell the output format from the name " + out + " (use .cif or .gds)");
        return FileUnknown;
    }
    if (!FindWriter(type)) {
        platform::ShowError("Writing this file type is not supported yet: " + out);
        return FileUnknown;
    }
    return type;
}

int SaveAs(Layout& layout, const std::string& out, FileType type, const SaveOptions& options,
           platform::DiagnosticSink& diagnostics) {
    layout.Save(out, type, options, &diagnostics);
    if (!layout.lastSaveWroteFile) {
        ReportError(diagnostics, "Could not write " + out, out);
        return kFailure;
    }
    return kSuccess;
}

int SaveAs(Layout& layout, const std::string& out, FileType type) {
    Diagnostics diagnostics;
    return SaveAs(layout, out, type, SaveOptions{}, diagnostics.both);
}

// The load-and-save report of convert: what reading and writing reported,
// identical diagnostics once with their count.
bool WriteReport(const std::string& name, const std::string& in, const std::string& out, bool loaded, bool saved,
                 const platform::DiagnosticLog& load, const platform::DiagnosticLog& save) {
    std::string text = "{\n  \"input\": " + JsonString(in) + ",\n  \"output\": " + JsonString(out) +
                       ",\n  \"loaded\": " + (loaded ? "true" : "false") +
                       ",\n  \"saved\": " + (saved ? "true" : "false") + ",\n  \"diagnostics\": [";
    std::string entries = DiagnosticsJson(load, "    ", "load");
    const std::string saving = DiagnosticsJson(save, "    ", "save");
    if (!entries.empty() && !saving.empty()) entries += ",";
    entries += saving;
    text += entries.empty() ? "]" : entries + "\n  ]";
    text += ",\n  \"diagnostics_omitted\": " + std::to_string(load.Omitted() + save.Omitted()) + "\n}\n";
    return platform::ReplaceFileWith(name, text);
}

int Convert(const std::string& in, const std::string& out, const SaveOptions& options, const std::string& report,
            FileType inType) {
    const FileType type = OutputType(out);
    if (type == FileUnknown) return kFailure;
    if (type != FileCif && (options.noExtensions || options.flatten || options.removeEmpty || options.removeUnused)) {
        return Usage("the options of convert apply to CIF output only");
    }
    Layout layout;
    Diagnostics load, save;
    const bool loaded = Load(layout, in, load.both, inType);
    const int status = loaded ? SaveAs(layout, out, type, options, save.both) : kFailure;
    if (!report.empty() && !WriteReport(report, in, out, loaded, status == kSuccess, load.log, save.log)) {
        platform::ShowError("Could not write the report " + report);
        return kFailure;
    }
    return status;
}

int Boolean(const cli::BooleanRequest& request) {
    const FileType type = OutputType(request.out);
    if (type == FileUnknown) return kFailure;
    Layout layout;
    if (!Load(layout, request.in)) return kFailure;
    cli::ConsoleProgress progress("Boolean operation");
    platform::ProgressService* previous = platform::SetProgressService(&progress);
    const bool done = cli::RunBoolean(layout, request);
    platform::SetProgressService(previous);
    if (!done) return kFailure;
    return SaveAs(layout, request.out, type);
}

int Export(const std::string& in, int layer, const std::string& format, const std::string& out,
           const cli::FlashArguments& flash, const cli::GerberArguments& gerber, const cli::DrillArguments& drill) {
    static const std::map<std::string, ExportType> formats = {{"cif", ExportCif},       {"man3000", ExportMann},
                                                              {"man3600", ExportMann},  {"emk", ExportEmk},
                                                              {"gerber", ExportGerber}, {"tap", ExportDrill}};
    auto it = formats.find(format);
    if (it == formats.end()) {
        return Usage("unknown export format: " + format + " (known: cif, man3000, man3600, emk, gerber, tap)");
    }
    // --integers, --decimals, --mm and --inch belong to both the Gerber and
    // the drill options; each format takes its own.
    std::string problem;
    if (it->second == ExportGerber) {
        problem = flash.Empty() ? cli::GerberWriterOptions(gerber, GerberSettings())
                                : "the flash file options do not apply to Gerber output";
    } else if (it->second == ExportDrill) {
        if (!flash.Empty()) {
            problem = "the flash file options do not apply to drill output";
        } else if (gerber.values.size() != drill.values.size() || gerber.switches.size() != drill.switches.size()) {
            problem = "the Gerber options apply to --format gerber only";
        } else {
            problem = cli::DrillOptionsFrom(drill, DrillSettings());
        }
    } else if (!gerber.Empty()) {
        problem = "the Gerber and drill file options apply to --format gerber and tap only";
    } else if (it->second == ExportMann) {
        problem = cli::MannWriterOptions(flash, format == "man3000", FlashSettings().mann);
    } else if (it->second == ExportEmk) {
        problem = cli::EmkWriterOptions(flash, FlashSettings().emk);
    } else if (!flash.Empty()) {
        problem = "the flash file options do not apply to CIF output";
    }
    if (!problem.empty()) return Usage(problem);
    Layout layout;
    if (!Load(layout, in)) return kFailure;
    if (!layout.Layer(layer)) {
        platform::ShowError("Layer " + std::to_string(layer) + " does not exist in " + in);
        return kFailure;
    }
    cli::ConsoleProgress progress("Writing");
    platform::ProgressService* previous = platform::SetProgressService(&progress);
    const bool exported = layout.ExportLayer(layer, out, it->second, SaveOptions{});
    platform::SetProgressService(previous);
    if (!exported) {
        platform::ShowError("Could not write " + out);
        return kFailure;
    }
    return kSuccess;
}

// The usage problem of the flash and drill reading options for an input file
// read as type (FileUnknown: by its extension): they apply to Mann, EMK and
// drill files only, each to its own.  The drill options become the values the
// drill reader starts from.
std::string ReaderArguments(const std::string& in, FileType type, const cli::FlashArguments& flash,
                            const cli::DrillArguments& drill) {
    if (type == FileUnknown) type = FileTypeOf(in);
    if (!drill.Empty() && type != FileDrill) return "the drill file options apply to reading drill files only";
    if (type == FileDrill) {
        if (!flash.Empty()) return "the flash file options do not apply to drill files";
        return cli::DrillOptionsFrom(drill, DrillSettings());
    }
    if (flash.Empty()) return {};
    switch (type) {
        case FileMann: return cli::CheckMannReaderArguments(flash);
        case FileEmk: return cli::CheckEmkReaderArguments(flash);
        default: return "the flash file options apply to reading Mann and EMK files only";
    }
}

// grow, flatten and transform: load, edit the main symbol, save.  OUT is
// written only when the edit went through.
int Edit(const std::string& command, const std::vector<std::string>& args) {
    cli::GrowRequest grow;
    cli::FlattenRequest flatten;
    cli::TransformRequest transform;
    std::string problem;
    const std::string* in = nullptr;
    const std::string* out = nullptr;
    if (command == "grow") {
        problem = cli::ParseGrowArguments(args, grow);
        in = &grow.in;
        out = &grow.out;
    } else if (command == "flatten") {
        problem = cli::ParseFlattenArguments(args, flatten);
        in = &flatten.in;
        out = &flatten.out;
    } else {
        problem = cli::ParseTransformArguments(args, transform);
        in = &transform.in;
        out = &transform.out;
    }
    if (!problem.empty()) return Usage(problem);
    const FileType type = OutputType(*out);
    if (type == FileUnknown) return kFailure;
    Layout layout;
    if (!Load(layout, *in)) return kFailure;
    cli::ConsoleProgress progress("Editing");
    platform::ProgressService* previous = platform::SetProgressService(&progress);
    const bool done = command == "grow"      ? cli::RunGrow(layout, grow)
                      : command == "flatten" ? cli::RunFlatten(layout, flatten)
                                             : cli::RunTransform(layout, transform);
    platform::SetProgressService(previous);
    if (!done) return kFailure;
    return SaveAs(layout, *out, type);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsageText, stdout);
        return kSuccess;
    }
    cli::ConsoleMessages messages;
    platform::SetMessageService(&messages);
    RegisterFileFormats();

    const std::string command = args[0];
    if (command == "boolean") {
        cli::BooleanRequest request;
        const std::string problem =
            cli::ParseBooleanArguments(std::vector<std::string>(args.begin() + 1, args.end()), request);
        if (!problem.empty()) return Usage(problem);
        return Boolean(request);
    }
    if (command == "grow" || command == "flatten" || command == "transform") {
        return Edit(command, std::vector<std::string>(args.begin() + 1, args.end()));
    }
    if (command == "render") {
        cli::RenderRequest request;
        const std::string problem =
            cli::ParseRenderArguments(std::vector<std::string>(args.begin() + 1, args.end()), request);
        if (!problem.empty()) return Usage(problem);
        Layout layout;
        if (!Load(layout, request.in)) return kFailure;
        return cli::RunRender(layout, request) ? kSuccess : kFailure;
    }
    std::vector<std::string> positional;
    std::set<std::string> flags;
    int layer = -1;
    std::string format;
    std::string report;
    cli::FlashArguments flash;
    cli::GerberArguments gerber;
    cli::DrillArguments drill;
    for (std::size_t k = 1; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (cli::IsGerberValueOption(a) || cli::IsDrillValueOption(a)) {
            if (k + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& value = args[++k];
            if (cli::IsGerberValueOption(a)) gerber.values.emplace_back(a, value);
            if (cli::IsDrillValueOption(a)) drill.values[a] = value;
        } else if (cli::IsGerberSwitch(a) || cli::IsDrillSwitch(a)) {
            if (cli::IsGerberSwitch(a)) gerber.switches.insert(a);
            if (cli::IsDrillSwitch(a)) drill.switches.insert(a);
        } else if (cli::IsFlashValueOption(a)) {
            if (k + 1 >= args.size()) return Usage(a + " needs a value");
            flash.values[a] = args[++k];
        } else if (cli::IsFlashSwitch(a)) {
            flash.switches.insert(a);
        } else if (a == "--layer" || a == "--format" || a == "--report") {
            if (k + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& value = args[++k];
            if (a == "--format") {
                format = value;
            } else if (a == "--report") {
                if (value.empty()) return Usage("--report needs a file name");
                report = value;
            } else {
                char* end = nullptr;
                const long number = std::strtol(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || number < 0 || number > 255) {
                    return Usage("--layer needs a layer index 0..255, not " + value);
                }
                layer = static_cast<int>(number);
            }
        } else if (a.rfind("--", 0) == 0) {
            flags.insert(a);
        } else {
            positional.push_back(a);
        }
    }
    auto only = [&](std::set<std::string> allowed) -> std::string {
        for (const std::string& f : flags) {
            if (!allowed.count(f)) return f;
        }
        return {};
    };

    // --format of info and convert: the reader to use, whatever the extension.
    FileType readAs = FileUnknown;
    if ((command == "info" || command == "convert") && !format.empty()) {
        readAs = cli::ReadingFormat(format);
        if (readAs == FileUnknown) {
            return Usage("unknown reading format: " + format + " (known: " + cli::ReadingFormatNames() + ")");
        }
    }
    if (command != "export" &&
        (gerber.values.size() != drill.values.size() || gerber.switches.size() != drill.switches.size())) {
        return Usage("the Gerber options apply to export --format gerber only");
    }
    if (command == "info") {
        if (positional.size() != 1) return Usage("info needs one file");
        if (auto bad = only({"--json"}); !bad.empty()) return Usage("unknown option " + bad);
        if (layer >= 0 || !report.empty()) return Usage("info takes no --layer or --report");
        if (auto problem = ReaderArguments(positional[0], readAs, flash, drill); !problem.empty()) {
            return Usage(problem);
        }
        cli::ReaderFlashDialogs dialogs(flash);
        return Info(positional[0], flags.count("--json") > 0, readAs);
    }
    if (command == "convert") {
        if (positional.size() != 2) return Usage("convert needs an input and an output file");
        if (auto bad = only({"--no-extensions", "--flatten", "--remove-empty", "--remove-unused"}); !bad.empty()) {
            return Usage("unknown option " + bad);
        }
        SaveOptions options;
        options.noExtensions = flags.count("--no-extensions") > 0;
        options.flatten = flags.count("--flatten") > 0;
        options.removeEmpty = flags.count("--remove-empty") > 0;
        options.removeUnused = flags.count("--remove-unused") > 0;
        if (auto problem = ReaderArguments(positional[0], readAs, flash, drill); !problem.empty()) {
            return Usage(problem);
        }
        cli::ReaderFlashDialogs dialogs(flash);
        return Convert(positional[0], positional[1], options, report, readAs);
    }
    if (command == "export") {
        if (positional.size() != 2) return Usage("export needs an input and an output file");
        if (auto bad = only({}); !bad.empty()) return Usage("unknown option " + bad);
        if (!report.empty()) return Usage("export takes no --report");
        if (layer < 0) return Usage("export needs --layer N");
        if (format.empty()) return Usage("export needs --format");
        return Export(positional[0], layer, format, positional[1], flash, gerber, drill);
    }
    return Usage("unknown command " + command);
}
