// libFuzzer target of the Gerber reader: any input is read from memory into a
// fresh layout.  Reading always succeeds, leaves objects on layer 0 only and
// symbols whose bounds can be computed.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/gerber/LoadGbrFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandor::platform::DiagnosticLog log;
    zandor::Layout layout;
    layout.Clear();
    if (!zandor::LoadGbrFile(layout, "input.gbr", zandor::GerberOptions{}, &log).Read(std::span(data, size))) {
        __builtin_trap();
    }
    if (!layout.Layer(0)) __builtin_trap();
    for (const auto& symbol : layout.Symbols()) {
        for (const zandor::Word* r = symbol->FirstRecord(); r; r = symbol->NextRecord(r)) {
            const zandor::ObjectKind kind = zandor::RecordKind(r);
            if (kind != zandor::ObjectKind::SymbolCall && zandor::RecordLayer(r) != 0) __builtin_trap();
        }
        symbol->boundsValid = false;
        symbol->EnsureBounds();
    }
    return 0;
}
