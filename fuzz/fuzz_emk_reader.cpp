// libFuzzer target of the EMK reader: any input is read from memory into a
// fresh layout with 0.1 um units.  Reading always succeeds, reports at most
// a few messages and leaves only rectangles and boxes on layer 0.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/emk/LoadEmkFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout layout;
    layout.Clear();
    if (!zandor::LoadEmkFile(layout, "input.emk", zandor::EmkOptions{}).Read(std::span(data, size))) __builtin_trap();
    if (messages.messages.size() > 3) __builtin_trap();
    if (!layout.Layer(0)) __builtin_trap();
    zandor::SymbolDescription* main = layout.MainSymbol();
    for (const zandor::Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
        const zandor::ObjectKind kind = zandor::RecordKind(r);
        if (kind != zandor::ObjectKind::Rectangle && kind != zandor::ObjectKind::Box) __builtin_trap();
        if (zandor::RecordLayer(r) != 0) __builtin_trap();
    }
    main->boundsValid = false;
    main->EnsureBounds();
    return 0;
}
