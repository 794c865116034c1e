// libFuzzer target of the drill reader: any input is read from memory into a
// fresh layout with the format 2.4 in inches.  Reading always succeeds and
// leaves only circles and round-ended wires on layer 0.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/drill/LoadTapFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/Diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandor::platform::DiagnosticLog log;
    zandor::Layout layout;
    layout.Clear();
    if (!zandor::LoadTapFile(layout, "input.drl", zandor::DrillOptions{}, &log).Read(std::span(data, size))) {
        __builtin_trap();
    }
    if (!layout.Layer(0)) __builtin_trap();
    // At most one error, and each warning once.
    if (log.Reported(zandor::platform::Severity::Error) > 1) __builtin_trap();
    for (const auto& d : log.Entries()) {
        if (d.severity == zandor::platform::Severity::Warning && d.count != 1) __builtin_trap();
    }
    zandor::SymbolDescription* main = layout.MainSymbol();
    for (const zandor::Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
        const zandor::ObjectKind kind = zandor::RecordKind(r);
        if (zandor::RecordLayer(r) != 0) __builtin_trap();
        if (kind == zandor::ObjectKind::Wire) {
            const zandor::WireView wire(r);
            if (wire.NodeCount() < 2 || wire.EndStyle() != 0) __builtin_trap();
        } else if (kind != zandor::ObjectKind::Circle) {
            __builtin_trap();
        }
    }
    main->boundsValid = false;
    main->EnsureBounds();
    return 0;
}
