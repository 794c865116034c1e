// libFuzzer target of the boolean engine: the input chooses the polygon grid,
// the operation code (invalid ones included), and up to 24 contours of up to
// 24 vertices in group A or B, with coordinates from a small lattice (so that
// shared vertices, collinear and coincident links, touching corners and
// vertices closer than the marge are common), from the full 16-bit range, or
// as raw doubles (huge values, NaN, infinities). Whatever the input, the
// engine must not crash, hang or trip a sanitizer: it either refuses the
// input (a coordinate out of range, an invalid code) with Bool_Engine_Error
// or returns contours whose vertices are finite and lie
// within the snapped box of the input (every result vertex is an input
// vertex, a crossing, or a point on a link).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/Bool_Engine.h"

using namespace zandor;

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::int16_t Short() {
        const std::uint16_t lo = Byte();
        const std::uint16_t hi = Byte();
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    double Raw() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<std::uint64_t>(Byte()) << (8 * i);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr int kMaxContours = 24;
constexpr int kMaxVertices = 24;
const int kGrids[8] = {1, 0, 5, 3, 1, 2, 10, 1000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    const std::uint8_t head = in.Byte();
    const int grid = kGrids[head & 7];
    // Codes 1-5 mostly; now and then 0 or 6-9, which must be refused.
    const std::uint8_t opByte = in.Byte();
    const int operation = opByte < 240 ? 1 + opByte % 5 : opByte % 10;
    const int contours = 1 + in.Byte() % kMaxContours;

    Bool_Engine engine;
    ConfigureBooleanEngine(engine, grid);
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    try {
        for (int c = 0; c < contours && !in.Empty(); ++c) {
            const std::uint8_t shape = in.Byte();
            if (!engine.BeginContour(shape & 1 ? GroupB : GroupA)) __builtin_trap();
            const int vertices = 1 + (shape >> 1) % kMaxVertices;
            for (int v = 0; v < vertices; ++v) {
                const std::uint8_t kind = in.Byte();
                double x, y;
                if (kind < 200) {
                    // A lattice of 0.5 um with offsets of a few nm around its points.
                    x = (in.Byte() % 16) * 500.0 + (kind % 16) - 8;
                    y = (in.Byte() % 16) * 500.0 + (kind / 16 % 16) - 8;
                } else if (kind < 250) {
                    x = in.Short() * 3.0;
                    y = in.Short() * 3.0;
                } else {
                    x = in.Raw();
                    y = kind & 1 ? in.Raw() : in.Short() * 1.0;
                }
                engine.AddVertex(x, y);
                minX = std::min(minX, x);
                minY = std::min(minY, y);
                maxX = std::max(maxX, x);
                maxY = std::max(maxY, y);
            }
            if (!engine.EndContour()) __builtin_trap();
        }
        engine.Execute(static_cast<BooleanOperation>(operation));
    } catch (const Bool_Engine_Error& error) {
        // Only input the engine refuses may end in an error: a coordinate out
        // of range or an invalid code. Any other reason is an internal
        // inconsistency ("crossing search does not settle", "beam out of
        // order", ...) that would fail an editor command.
        const std::string& reason = error.GetReason();
        const bool refused = reason == "X coordinate of vertex to big" || reason == "Y coordinate of vertex to big" ||
                             reason == "Wrong operation";
        if (!refused) __builtin_trap();
        return 0;  // the engine is only destroyed after an error
    }
    if (operation < 1 || operation > 5) __builtin_trap();  // an invalid code was accepted
    // Every vertex was checked on entry, so the box is finite here. Snapping
    // moves a value by less than one grid step (0.01 nm for grid 0).
    const double step = grid > 0 ? grid : 0.01;
    std::size_t total = 0;
    while (engine.NextResultContour()) {
        std::size_t count = 0;
        while (engine.NextResultVertex()) {
            const double x = engine.VertexX(), y = engine.VertexY();
            if (!std::isfinite(x) || !std::isfinite(y)) __builtin_trap();
            if (x < minX - step || x > maxX + step || y < minY - step || y > maxY + step) __builtin_trap();
            ++count;
        }
        if (count == 0) __builtin_trap();
        total += count;
        engine.DropResultContour();
    }
    (void)total;
    return 0;
}
