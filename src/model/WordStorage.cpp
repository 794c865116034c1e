#include "model/WordStorage.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace zandor {

namespace {

constexpr std::size_t kMappedFromBytes = 256 * 1024;
std::size_t allocationLimit = 0;

bool IsMapped(std::size_t count) { return count * sizeof(Word) >= kMappedFromBytes; }

std::size_t PageRounded(std::size_t bytes) {
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

bool OverLimit(std::size_t count) {
    return (allocationLimit != 0 && count > allocationLimit) || count > static_cast<std::size_t>(-1) / sizeof(Word) / 2;
}

// A few mappings given back are kept for reuse.  The readers give every
// structure a large growth step and trim it at its end: with many small
// structures, mapping and unmapping pages for each costs the kernel more than
// the reading itself.  A kept mapping is handed out again only for the same
// size, because the caller passes that size back when it unmaps or remaps.
struct SpareMapping {
    void* address = nullptr;
    std::size_t bytes = 0;
};
constexpr std::size_t kSpareMappings = 4;
constexpr std::size_t kLargestSpareBytes = 4 * 1024 * 1024;
std::mutex spareLock;
std::array<SpareMapping, kSpareMappings> spares;

// Large buffers are filled and rewritten end to end; with 4 KiB pages the
// first touch of each page costs a fault that weighs more than the copying.
// Where the kernel gives huge pages on request, ask for them.
constexpr std::size_t kLargePageBytes = 2 * 1024 * 1024;

void PreferLargePages(void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes >= kLargePageBytes) madvise(p, bytes, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

// Pages from a large-page boundary on, so that huge pages cover the whole
// buffer and survive when the kernel moves it to grow it (moving pages to an
// address of another alignment breaks them up, and every later walk over the
// buffer pays in address translation).
void* MapAligned(std::size_t bytes) {
    if (bytes < kLargePageBytes) {
        void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    const std::size_t span = bytes + kLargePageBytes;
    void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t aligned = (start + kLargePageBytes - 1) & ~std::uintptr_t{kLargePageBytes - 1};
    const std::size_t head = aligned - start;
    if (head > 0) munmap(p, head);
    const std::size_t tail = span - head - bytes;
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + bytes), tail);
    PreferLargePages(reinterpret_cast<void*>(aligned), bytes);
    return reinterpret_cast<void*>(aligned);
}

// Grows or shrinks a mapping: in place where the addresses after it are free,
// otherwise its pages move to a new aligned range.
void* RemapAligned(void* old, std::size_t oldBytes, std::size_t newBytes) {
    void* p = mremap(old, oldBytes, newBytes, 0);
    if (p == MAP_FAILED) {
        void* target = MapAligned(newBytes);
        if (target == nullptr) return nullptr;
        p = mremap(old, oldBytes, newBytes, MREMAP_MAYMOVE | MREMAP_FIXED, target);
        if (p == MAP_FAILED) {
            munmap(target, newBytes);
            return nullptr;
        }
    }
    PreferLargePages(p, newBytes);
    return p;
}

Word* MapWords(std::size_t count) {
    const std::size_t bytes = PageRounded(count * sizeof(Word));
    {
        std::lock_guard<std::mutex> hold(spareLock);
        for (SpareMapping& spare : spares) {
            if (spare.address != nullptr && spare.bytes == bytes) {
                void* p = spare.address;
                spare = {};
                return static_cast<Word*>(p);
            }
        }
    }
    void* p = MapAligned(bytes);
    return p == nullptr ? nullptr : static_cast<Word*>(p);
}

void UnmapWords(Word* words, std::size_t count) {
    const std::size_t bytes = PageRounded(count * sizeof(Word));
    if (bytes <= kLargestSpareBytes) {
        std::lock_guard<std::mutex> hold(spareLock);
        for (SpareMapping& spare : spares) {
            if (spare.address == nullptr) {
                spare = {words, bytes};
                return;
            }
        }
    }
    munmap(words, bytes);
}

}  // namespace

void SetWordAllocationLimit(std::size_t limit) { allocationLimit = limit; }

Word* AllocateWords(std::size_t count) {
    if (count == 0) count = 1;
    if (OverLimit(count)) return nullptr;
    if (IsMapped(count)) return MapWords(count);
    return static_cast<Word*>(std::malloc(count * sizeof(Word)));
}

Word* ReallocateWords(Word* words, std::size_t oldCount, std::size_t newCount) {
    if (words == nullptr) return AllocateWords(newCount);
    if (oldCount == 0) oldCount = 1;
    if (newCount == 0) newCount = 1;
    if (OverLimit(newCount)) return nullptr;
    const bool wasMapped = IsMapped(oldCount);
    const bool willBeMapped = IsMapped(newCount);
    if (wasMapped && willBeMapped) {
        void* p = RemapAligned(words, PageRounded(oldCount * sizeof(Word)), PageRounded(newCount * sizeof(Word)));
        return static_cast<Word*>(p);
    }
    if (!wasMapped && !willBeMapped) {
        return static_cast<Word*>(std::realloc(words, newCount * sizeof(Word)));
    }
    Word* fresh = AllocateWords(newCount);
    if (fresh == nullptr) return nullptr;
    std::memcpy(fresh, words, (oldCount < newCount ? oldCount : newCount) * sizeof(Word));
    FreeWords(words, oldCount);
    return fresh;
}

void FreeWords(Word* words, std::size_t count) {
    if (words == nullptr) return;
    if (count == 0) count = 1;
    if (IsMapped(count)) {
        UnmapWords(words, count);
    } else {
        std::free(words);
    }
}

}  // namespace zandor
