// libFuzzer target of the CIF reader: any input is read from memory into a
// fresh layout with at most nine messages shown, and the result must hold up
// to the model's hierarchy queries (bounding boxes, counts, call checks).
#include <cstddef>
#include <cstdint>
#include <span>

#include "formats/cif/LoadCifFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout layout;
    layout.Clear();
    const bool read = zandor::LoadCifFile(layout, "input.cif").Read(std::span(data, size));
    if (!read) __builtin_trap();  // bytes in memory can always be read
    // Readers show at most nine messages per file.
    if (messages.messages.size() > 9) __builtin_trap();

    zandor::SymbolDescription* main = layout.MainSymbol();
    if (!main) __builtin_trap();
    main->boundsValid = false;
    main->EnsureBounds();
    for (const auto& symbol : layout.Symbols()) {
        symbol->boundsValid = false;
        symbol->EnsureBounds();
        // After reading no symbol may contain itself.
        if (symbol->CallsSymbol(symbol->Id())) __builtin_trap();
        symbol->CountKind(zandor::ObjectKind::Rectangle, true);
        symbol->CountKind(zandor::ObjectKind::SymbolCall, true);
        symbol->IsEmpty();
        main->CallsSymbol(symbol->Id());
        // Exactly the records a head counts (nested members included) carry
        // the member bit, and a nested head claims no more than its parent.
        std::int64_t membersDue = 0;
        for (const zandor::Word* r = symbol->FirstRecord(); r; r = symbol->NextRecord(r)) {
            if (zandor::IsMember(r) != (membersDue > 0)) __builtin_trap();
            if (membersDue > 0) {
                --membersDue;
                if (zandor::IsHead(r) && zandor::MemberCount(r) > membersDue) __builtin_trap();
            } else if (zandor::IsHead(r)) {
                membersDue = zandor::MemberCount(r);
            }
        }
        if (membersDue != 0) __builtin_trap();
    }
    main->CountKind(zandor::ObjectKind::Polygon, true);
    return 0;
}
