// Layer properties files (".lyp"): the XML in which process design kits ship
// their layer names, colours and fill patterns, read into layer properties
// keyed by GDSII layer and datatype.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/LayerProperties.h"
#include "platform/Diagnostics.h"

namespace zandor {

struct LayerPair {
    int gdsLayer = 0;
    std::uint32_t dataType = 0;
    friend bool operator==(const LayerPair&, const LayerPair&) = default;
};

// The layer and datatype a source text names ("68/20@1", "met1 68/20",
// "68/20@1 (r90 *1 0,0)", "68/20 #0..3"); nothing when it names no single
// pair: wildcards, ranges, names alone, numbers above 65535.
std::optional<LayerPair> ParseLayerSource(const QString& text);

// "#rrggbb" or "#aarrggbb" (alpha ignored) as 0x00BBGGRR; nothing for an
// empty or unreadable text.
std::optional<std::uint32_t> ParseLayerColor(const QString& text);

// The nearest of our fill styles to a dither pattern ("I0".."I46"; empty is
// solid, custom and unknown patterns diagonal cross), and of our outline
// styles to a line style ("I0".."I7"; anything else solid).
int FillStyleOfDitherPattern(const QString& text);
int OutlineStyleOfLineStyle(const QString& text);

// A file to read as layer properties rather than as a layer map: by the
// extension ".lyp" in any case, or by its first bytes ("<?xml" or
// "<layer-properties").
bool IsLayerPropertiesFile(const QString& path);

// Reads the layers of a file, of every tab and every group at any depth, in
// the order they appear; entries whose source names no single pair are left
// out.  A file that cannot be read, is not well-formed XML, has another root
// element or lists no layer is reported to the sink (or as a message box
// without one) and gives false.
bool ReadLayerPropertiesFile(const QString& path, std::vector<LayerProperties>& entries,
                             platform::DiagnosticSink* diagnostics = nullptr);
// The same from memory; fileName names the input in messages.
bool ReadLayerProperties(const QByteArray& bytes, const QString& fileName, std::vector<LayerProperties>& entries,
                         platform::DiagnosticSink* diagnostics = nullptr);

}  // namespace zandor
