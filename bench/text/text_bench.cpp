// Text building speed: characters per second with the text caches on and
// off, and the read time of GDSII files full of texts, each read with the
// caches on and off and checked to give the same records.
//
//   text_bench [file.gds ...]
//
// Without arguments the two cell libraries of the corpus are read when they
// are present.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
#include "geometry/TextOutlineCache.h"
#include "geometry/TextOutlines.h"
#include "model/Layout.h"

using namespace zandor;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

LOGFONTA Arial() {
    LOGFONTA font;
    font.lfHeight = -2048;
    std::strncpy(font.lfFaceName, "Arial", sizeof font.lfFaceName - 1);
    return font;
}

// Pin-label-like texts: short names from a small alphabet at scattered
// positions and a few heights, as cell libraries have them.
struct Label {
    std::string text;
    std::int32_t height, x, y;
};

std::vector<Label> Labels(int count) {
    std::mt19937 random(12345);
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_abcdefghijklmnopqrstuvwxyz";
    const std::int32_t heights[] = {100, 150, 250, 1000};
    std::vector<Label> labels;
    for (int i = 0; i < count; ++i) {
        Label label;
        const int length = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < length; ++k) label.text += alphabet[random() % alphabet.size()];
        label.height = heights[random() % 4];
        label.x = static_cast<std::int32_t>(random() % 2000000) - 1000000;
        label.y = static_cast<std::int32_t>(random() % 2000000) - 1000000;
        labels.push_back(label);
    }
    return labels;
}

double CharactersPerSecond(const std::vector<Label>& labels, bool cache) {
    SetTextOutlineCacheEnabled(cache);
    Layout layout;
    SymbolDescription& symbol = *layout.MainSymbol();
    std::size_t characters = 0;
    const Clock::time_point start = Clock::now();
    for (const Label& label : labels) {
        AddTextOutlines(symbol, label.text, label.height, label.x, label.y, 0, 1, Arial());
        characters += label.text.size();
    }
    return static_cast<double>(characters) / Seconds(start);
}

struct Read {
    double seconds = 0;
    std::vector<std::vector<Word>> symbols;
};

Read ReadFile(const std::string& file, bool cache) {
    SetTextOutlineCacheEnabled(cache);
    Read read;
    Layout layout;
    const Clock::time_point start = Clock::now();
    if (!layout.Load(file)) std::printf("  could not read %s\n", file.c_str());
    read.seconds = Seconds(start);
    for (const auto& symbol : layout.Symbols()) {
        const Word* first = symbol->FirstRecord();
        read.symbols.emplace_back(first, first + (first ? symbol->usedWords : 0));
    }
    return read;
}

}  // namespace

int main(int argc, char** argv) {
    RegisterFileFormats();
    const std::vector<Label> labels = Labels(20000);
    // The first run loads the fonts; not counted.
    CharactersPerSecond(Labels(50), false);
    for (const bool cache : {false, true}) {
        std::printf("labels, cache %-3s: %10.0f characters/s\n", cache ? "on" : "off",
                    CharactersPerSecond(labels, cache));
    }
    std::vector<std::string> files(argv + 1, argv + argc);
    if (files.empty()) {
        // The shared corpus sits beside the repository.
        const std::filesystem::path corpus =
            std::filesystem::path(ZANDOR_SOURCE_DIR).parent_path() / "shared" / "corpus" / "gds" / "orfs";
        for (const char* name : {"sky130_fd_sc_hd.gds", "sky130_sram_1rw1r_44x64_8.gds"}) {
            if (std::filesystem::exists(corpus / name)) files.push_back((corpus / name).string());
        }
    }
    int status = 0;
    for (const std::string& file : files) {
        const Read off = ReadFile(file, false);
        const Read on = ReadFile(file, true);
        const TextOutlineCacheStats stats = GetTextOutlineCacheStats();
        const bool same = off.symbols == on.symbols;
        std::printf("%s\n  read, cache off: %.3f s   cache on: %.3f s   records %s\n", file.c_str(), off.seconds,
                    on.seconds, same ? "identical" : "DIFFERENT");
        std::printf("  cache: %llu hits, %llu misses, %llu not cacheable, %zu entries, %zu ints\n",
                    static_cast<unsigned long long>(stats.hits), static_cast<unsigned long long>(stats.misses),
                    static_cast<unsigned long long>(stats.uncacheable), stats.entries, stats.storedInts);
        if (!same) status = 1;
    }
    SetTextOutlineCacheEnabled(true);
    return status;
}
