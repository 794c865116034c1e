// The readers and writers a layout document dispatches to by file type.  The
// format libraries build on the model, so they register themselves here
// (RegisterFileFormats in src/formats/) instead of the model calling them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "model/SaveOptions.h"
#include "platform/Diagnostics.h"

namespace zandor {

class Layout;
enum FileType : std::int32_t;

enum ExportType : std::int32_t {
    ExportCif = 1,
    ExportEmk = 2,
    ExportMann = 3,
    ExportPostScript = 4,
    ExportEps = 5,
    ExportGerber = 6,
    ExportDrill = 7,
};

// Reads a file into a cleared layout, reporting to the sink; success.
using LayoutReader = std::function<bool(Layout&, const std::string& fileName, platform::DiagnosticSink&)>;
// Writes a whole layout with the options given, reporting to the sink; success.
using LayoutWriter =
    std::function<bool(Layout&, const std::string& fileName, const SaveOptions&, platform::DiagnosticSink&)>;
// Writes one layer; success.
using LayerWriter =
    std::function<bool(Layout&, const std::string& fileName, int layer, const SaveOptions&, platform::DiagnosticSink&)>;

void RegisterReader(FileType type, LayoutReader reader);
void RegisterWriter(FileType type, LayoutWriter writer);
void RegisterLayerWriter(ExportType type, LayerWriter writer);
const LayoutReader* FindReader(FileType type);
const LayoutWriter* FindWriter(FileType type);
const LayerWriter* FindLayerWriter(ExportType type);

}  // namespace zandor
