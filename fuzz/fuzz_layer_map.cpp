// Reads arbitrary bytes as a layer map, writes the table it gave and reads
// that back: the reader must survive any input, and a written map must
// reproduce every layer whose name a layer map can carry (a long name
// shortened).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"

namespace {

// One pair of files per process, reused by every input and removed at exit.
const std::string& ShmPath(bool output) {
    static const std::string base = "/dev/shm/zandor-fuzz-layer-map-" + std::to_string(::getpid());
    static const std::string input = base + ".in";
    static const std::string written = base + ".out";
    static const bool cleanup = [] {
        std::atexit([] {
            ::unlink(input.c_str());
            ::unlink(written.c_str());
        });
        return true;
    }();
    (void)cleanup;
    return output ? written : input;
}

bool WriteBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Names that a layer map line cannot hold unchanged.
bool NameSurvives(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && !IsBlank(name.front()) && !IsBlank(name.back());
}

// Lines longer than the reader's 63 characters are read as two lines; the
// writer keeps every line within them.
bool LinesFit(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    std::fclose(file);
    std::size_t limit = 64;  // the header line
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::size_t length = end - start;
        // Only a CR before the line feed belongs to the line end.
        if (length > 0 && end < text.size() && text[end - 1] == '\r') --length;
        if (length > limit) return false;
        limit = 63;
        start = end + 1;
    }
    return true;
}

// A name too long for a line comes back shortened, never otherwise changed.
bool SameName(const std::string& was, const std::string& now) {
    return was == now || (!now.empty() && was.compare(0, now.size(), now) == 0);
}

bool SameLayer(const zandor::LayerDescription& a, const zandor::LayerDescription& b) {
    return a.index == b.index && SameName(a.name, b.name) && a.fillColor == b.fillColor &&
           a.outlineColor == b.outlineColor && a.fillStyle == b.fillStyle && a.outlineStyle == b.outlineStyle &&
           a.dataType == b.dataType && a.polarity == b.polarity;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& input = ShmPath(false);
    const std::string& output = ShmPath(true);
    if (!WriteBytes(input, data, size)) return 0;

    zandor::platform::headless::ScopedMessageCapture messages;
    zandor::Layout first;
    if (!first.ReadLayerMap(input)) return 0;
    if (!first.WriteLayerMap(output)) __builtin_trap();

    zandor::Layout second;
    if (!second.ReadLayerMap(output)) __builtin_trap();
    if (!messages.messages.empty()) __builtin_trap();
    if (!LinesFit(output)) __builtin_trap();

    for (int i = 0; i < zandor::kLayerCount; ++i) {
        const zandor::LayerDescription* was = first.Layer(i);
        const zandor::LayerDescription* now = second.Layer(i);
        if ((was == nullptr) != (now == nullptr)) __builtin_trap();
        if (was && NameSurvives(was->name) && !SameLayer(*was, *now)) __builtin_trap();
    }
    return 0;
}
