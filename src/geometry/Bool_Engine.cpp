#include "geometry/Bool_Engine.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace zandor {

namespace {

std::string Clip199(const std::string& text) { return text.size() > 199 ? text.substr(0, 199) : text; }

// Internal coordinates stay within this bound so that every product of two
// coordinate differences fits the 128-bit arithmetic of the sweep exactly.
constexpr long double kMaxInternalCoordinate = 1152921504606846976.0L;  // 2^60

std::string Format(const char* format, double value) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

Bool_Engine_Error::Bool_Engine_Error(const std::string& message, const std::string& header, int code, int fatal,
                                     const std::string& reason)
    : message(Clip199(message)),
      header(header.empty() ? "non specified" : Clip199(header)),
      reason(reason.empty() ? message : reason),
      code(code),
      fatal(fatal) {}

Bool_Engine::Bool_Engine() = default;
Bool_Engine::~Bool_Engine() = default;

void Bool_Engine::SetMarge(double value) {
    marge = value;
    if (log) *log << Format("Bool_Engine::m_MARGE = %f\n", value);
}

void Bool_Engine::SetGrid(std::int64_t value) {
    grid = value;
    if (log) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "Bool_Engine::m_GRID = %lld\n", static_cast<long long>(value));
        *log << buffer;
    }
}

void Bool_Engine::SetDGrid(double value) {
    dgrid = value;
    if (log) *log << Format("Bool_Engine::m_DGRID = %f\n", value);
}

void Bool_Engine::SetCorrectionAber(double value) {
    correctionAber = value;
    if (log) *log << Format("Bool_Engine::m_CORRECTIONABER = %f\n", value);
}

void Bool_Engine::SetCorrectionFactor(double value) {
    correctionFactor = value;
    if (log) *log << Format("Bool_Engine::m_CORRECTIONFACTOR = %f\n", value);
}

void Bool_Engine::SetSmoothAber(double value) {
    smoothAber = value;
    if (log) *log << Format("Bool_Engine::m_SMOOTHABER = %f\n", value);
}

void Bool_Engine::SetMaxlinemerge(double value) {
    maxLineMerge = value;
    if (log) *log << Format("Bool_Engine::m_MAXLINEMERGE = %f\n", value);
}

void Bool_Engine::SetRoundfactor(double value) {
    roundFactor = value;
    if (log) *log << Format("Bool_Engine::m_ROUNDFACTOR = %f\n", value);
}

std::int64_t Bool_Engine::GetInternalMarge() const {
    // Formed in extended precision as written: with a grid of 3 nm the product
    // falls just short of 10000 and truncates to 9999.
    const long double product = static_cast<long double>(grid) * marge * dgrid;
    return static_cast<std::int64_t>(std::trunc(product));
}

namespace {

// x = mantissa * 2^exponent with an integer mantissa of at most 53 bits.
void Decompose(double x, std::int64_t& mantissa, int& exponent) {
    int e = 0;
    const double fraction = std::frexp(x, &e);
    mantissa = static_cast<std::int64_t>(std::ldexp(fraction, 53));
    exponent = e - 53;
}

// trunc(numerator / 2^shift) for shift >= 0, toward zero.
__int128 ShiftTowardZero(__int128 numerator, int shift) {
    if (shift >= 120) return 0;
    const __int128 divisor = static_cast<__int128>(1) << shift;
    return numerator / divisor;
}

}  // namespace

std::int64_t Bool_Engine::SnapCoordinate(double value) const {
    // Exact in integers: a relative tolerance on a floating product would
    // round to nearest instead of toward zero once the step count is large.
    if (value == 0 || !std::isfinite(value)) return 0;
    // A grid of n nm arrives as dgrid = 1/n rounded to a double (not exact
    // for n = 3): divide by n itself, so that multiples of n stay on the grid.
    const double reciprocal = 1.0 / dgrid;
    const double n = std::round(reciprocal);
    const bool byDivisor = n >= 1 && n < 0x1p40 && 1.0 / n == dgrid;
    // One step per unit (a grid of 1 nm): the exact division below would give
    // trunc(value); the range check of AddVertex keeps it within 64 bits.
    if (byDivisor && n == 1 && std::fabs(value) < 0x1p62) return static_cast<std::int64_t>(std::trunc(value)) * grid;
    std::int64_t mantissa = 0;
    int exponent = 0;
    Decompose(value, mantissa, exponent);
    __int128 steps = 0;
    if (byDivisor) {
        const auto divisor = static_cast<std::int64_t>(n);
        if (std::fabs(value) < n) return 0;
        // |value| >= n >= 1, so the exponent is at least -52.
        if (exponent >= 0)
            steps = (static_cast<__int128>(mantissa) << exponent) / divisor;
        else
            steps = static_cast<__int128>(mantissa) / (static_cast<__int128>(divisor) << -exponent);
    } else {
        // Any other dgrid (an integer such as 100 for 0.01 nm among them):
        // the exact product of two doubles, truncated.
        std::int64_t dm = 0;
        int de = 0;
        Decompose(dgrid, dm, de);
        const __int128 product = static_cast<__int128>(mantissa) * dm;
        const int e = exponent + de;
        steps = e >= 0 ? product << e : ShiftTowardZero(product, -e);
        // A value that reads back as itself from the next step away from
        // zero lies on the grid: 0.29 at 100 steps per nm is a hair below
        // 29 steps as a double, and stays 0.29.
        const __int128 next = steps + (value < 0 ? -1 : 1);
        if (static_cast<double>(next) / dgrid == value) steps = next;
    }
    return static_cast<std::int64_t>(steps) * grid;
}

bool Bool_Engine::BeginContour(GroupType group) {
    if (contourOpen) return false;
    graphs.push_front(Contour{group, vertices.size(), 0});
    contourOpen = true;
    return true;
}

bool Bool_Engine::AddVertex(double x, double y) {
    if (!contourOpen) return false;
    const auto inRange = [this](double v) {
        const long double internal = static_cast<long double>(v) * dgrid * grid;
        return std::isfinite(internal) && std::fabs(internal) <= kMaxInternalCoordinate;
    };
    if (!inRange(x)) ReportError("X coordinate of vertex to big", "");
    if (!inRange(y)) ReportError("Y coordinate of vertex to big", "");
    vertices.push_back(Vertex{SnapCoordinate(x), SnapCoordinate(y)});
    ++graphs.front().count;
    return true;
}

bool Bool_Engine::EndContour() {
    if (!contourOpen) return false;
    contourOpen = false;
    return true;
}

bool Bool_Engine::Execute(BooleanOperation operation) {
    try {
        if (operation < OpOr || operation > OpBMinusA) ReportError("Wrong operation", "Command Error");
        RunOperation(operation);
    } catch (const Bool_Engine_Error& error) {
        ReportInfo(error.GetErrorMessage(), "error");
        throw Bool_Engine_Error(error);
    } catch (...) {
        ReportInfo("Unknown exception", "error");
        throw;
    }
    readingContour = false;
    return true;
}

bool Bool_Engine::NextResultContour() {
    if (graphs.empty()) return false;
    readingContour = true;
    vertexCounter = 0;
    currentVertex = 0;
    return true;
}

bool Bool_Engine::NextResultVertex() {
    if (!readingContour || graphs.empty()) return false;
    const std::size_t count = graphs.front().count;
    if (vertexCounter >= count) return false;
    currentVertex = vertexCounter++;
    return true;
}

double Bool_Engine::VertexX() const {
    if (!readingContour || graphs.empty() || graphs.front().count == 0) return 0.0;
    return static_cast<double>(vertices[graphs.front().first + currentVertex].x / grid) / dgrid;
}

double Bool_Engine::VertexY() const {
    if (!readingContour || graphs.empty() || graphs.front().count == 0) return 0.0;
    return static_cast<double>(vertices[graphs.front().first + currentVertex].y / grid) / dgrid;
}

void Bool_Engine::DropResultContour() {
    if (!graphs.empty()) graphs.pop_front();
    if (graphs.empty()) vertices.clear();
    readingContour = false;
}

void Bool_Engine::ReportStage(const std::string& text) {
    if (log) *log << text << " \n";
}

void Bool_Engine::ReportError(const std::string& text, const std::string& title) {
    if (log) *log << "FATAL ERROR: " << title << "\nFATAL ERROR: " << text << "\n";
    throw Bool_Engine_Error(" Fatal Error", "Fatal Error", 9, 1, text);
}

void Bool_Engine::ReportInfo(const std::string& text, const std::string& title) {
    if (log) *log << "FATAL ERROR: " << title << "\nFATAL ERROR: " << text << "\n";
}

void ConfigureBooleanEngine(Bool_Engine& engine, int polygonGrid) {
    const double grid = polygonGrid > 0 ? polygonGrid : 0.01;
    engine.SetMarge(grid < 0.1 ? 0.1 : grid * 10);
    engine.SetGrid(1000);
    engine.SetDGrid(1 / grid);
    engine.SetCorrectionFactor(500.0);
    engine.SetCorrectionAber(1.0);
    engine.SetSmoothAber(10.0);
    engine.SetMaxlinemerge(1000.0);
    engine.SetRoundfactor(1.5);
}

}  // namespace zandor
