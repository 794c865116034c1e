// libFuzzer target of the Mann reader: any input is read from memory into a
// fresh layout, with options (coordinate and unit system, mirroring, scale,
// the implicit decimal point) that its length chooses.  Reading always succeeds, reports at most a few messages and
// leaves only rectangles and boxes on layer 0 inside the coordinate range.
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/mann/LoadManFile.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "platform/headless/RecordingMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t choice = size % 64;
    zandor::MannOptions options;
    zandor::ApplyMannSystem(options, choice & 1, choice & 2);
    options.mirrorX = choice & 4;
    options.implicitDecimalPoint = choice & 8;
    options.scale = choice & 16 ? 0.37 : 1;
    options.angleResolution = choice & 32 ? 1 : 0.1;
    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout layout;
    layout.Clear();
    if (!zandor::LoadManFile(layout, "input.man", options).Read(std::span(data, size))) __builtin_trap();
    // A warning or two, or one error that stops the read.
    if (messages.messages.size() > 3) __builtin_trap();
    if (!layout.Layer(0)) __builtin_trap();
    zandor::SymbolDescription* main = layout.MainSymbol();
    for (const zandor::Word* r = main->FirstRecord(); r; r = main->NextRecord(r)) {
        const zandor::ObjectKind kind = zandor::RecordKind(r);
        if (kind != zandor::ObjectKind::Rectangle && kind != zandor::ObjectKind::Box) __builtin_trap();
        if (zandor::RecordLayer(r) != 0) __builtin_trap();
        if (kind == zandor::ObjectKind::Box) {
            const zandor::BoxView box(r);
            if (box.BoxLength() < 0 || box.BoxWidth() < 0) __builtin_trap();
        }
    }
    main->boundsValid = false;
    main->EnsureBounds();
    return 0;
}
