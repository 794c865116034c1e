// libFuzzer target of the GDSII reader: any input is read from memory into a
// fresh layout with at most nine error messages; what was read must hold up
// to the model's hierarchy queries, and the writer's stream of it must read
// back without an error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <unistd.h>

#include "formats/gds/GdsRecords.h"
#include "formats/gds/LoadGdsFile.h"
#include "formats/gds/SaveGdsFile.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"

namespace {

// The file the writer's stream goes to, per process and in memory; removed
// after every input (libFuzzer ends with _Exit, so no exit handler would).
std::string ScratchPath(const char* kind) {
    return "/dev/shm/zandor_fuzz_gds_" + std::to_string(getpid()) + "_" + kind + ".gds";
}

void Remove(const std::string& path) {
    std::remove(path.c_str());
    std::remove(zandor::gds::LayerMapPath(path).c_str());
}

long Errors(const zandor::platform::headless::RecordingMessages& messages) {
    long n = 0;
    for (const auto& m : messages.messages) n += m.caption == "Error";
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string output = ScratchPath("out");
    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout layout;
    layout.Clear();
    const bool read = zandor::LoadGdsFile(layout, "input.gds").Read(std::span(data, size));
    if (Errors(messages) > 9) __builtin_trap();
    if (!read) return 0;

    for (const auto& symbol : layout.Symbols()) {
        symbol->boundsValid = false;
        symbol->EnsureBounds();
        // After reading no symbol may contain itself.
        if (symbol->CallsSymbol(symbol->Id())) __builtin_trap();
        symbol->CountKind(zandor::ObjectKind::Polygon, true);
        symbol->IsEmpty();
    }

    if (!zandor::SaveGdsFile(layout, output).Write()) __builtin_trap();
    messages.messages.clear();
    zandor::Layout again;
    again.Clear();
    const bool reread = zandor::LoadGdsFile(again, output).Read();
    Remove(output);
    if (!reread || Errors(messages) != 0) __builtin_trap();
    if (again.Symbols().size() != layout.Symbols().size()) __builtin_trap();
    return 0;
}
