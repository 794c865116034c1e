// The readers and writers a layout document dispatches to by file type.  The
// format libraries build on the model, so they register themselves here
// (RegisterFileFormats in src/formats/) instead of the model calling them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

// Reads a file into a cleared layout; success.
using LayoutReader = std::function<bool(Layout&, const std::string& fileName)>;
// Writes a whole layout; success.
using LayoutWriter = std::function<bool(Layout&, const std::string& fileName)>;
// Writes one layer; success.
using LayerWriter = std::function<bool(Layout&, const std::string& fileName, int layer)>;

void RegisterReader(FileType type, LayoutReader reader);
void RegisterWriter(FileType type, LayoutWriter writer);
void RegisterLayerWriter(ExportType type, LayerWriter writer);
const LayoutReader* FindReader(FileType type);
const LayoutWriter* FindWriter(FileType type);
const LayerWriter* FindLayerWriter(ExportType type);

}  // namespace zandor
