// libFuzzer target of the CIF reader: any input is read into a fresh layout
// without showing a message, and the result must hold up to the model's
// hierarchy queries (bounding boxes, counts, call checks).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/cif/LoadCifFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"

namespace {

// One file name per process, in memory, written for every input and removed
// after it was read (libFuzzer ends with _Exit, so no exit handler would).
const std::string& InputPath() {
    static const std::string path = "/dev/shm/zandor_fuzz_cif_" + std::to_string(getpid()) + ".cif";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (!file) return 0;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    std::fclose(file);
    if (!written) return 0;

    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout layout;
    layout.Clear();
    const bool read = zandor::LoadCifFile(layout, InputPath()).Read();
    std::remove(InputPath().c_str());
    if (!read) __builtin_trap();  // the file was just written
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
