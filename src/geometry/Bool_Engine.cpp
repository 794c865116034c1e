#include "geometry/Bool_Engine.h"

#include <cmath>
#include <cstdio>
#include <ostream>

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

Bool_Engine_Error::Bool_Engine_Error(const std::string& message, const std::string& header, int code,
                                     int fatal)
    : message_(Clip199(message)), header_(header.empty() ? "non specified" : Clip199(header)),
      code_(code), fatal_(fatal) {}

Bool_Engine::Bool_Engine() = default;
Bool_Engine::~Bool_Engine() = default;

void Bool_Engine::SetMarge(double marge) {
  m_MARGE = marge;
  if (log_) *log_ << Format("Bool_Engine::m_MARGE = %f\n", marge);
}

void Bool_Engine::SetGrid(std::int64_t grid) {
  m_GRID = grid;
  if (log_) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "Bool_Engine::m_GRID = %lld\n", static_cast<long long>(grid));
    *log_ << buffer;
  }
}

void Bool_Engine::SetDGrid(double dgrid) {
  m_DGRID = dgrid;
  if (log_) *log_ << Format("Bool_Engine::m_DGRID = %f\n", dgrid);
}

void Bool_Engine::SetCorrectionAber(double value) {
  m_CORRECTIONABER = value;
  if (log_) *log_ << Format("Bool_Engine::m_CORRECTIONABER = %f\n", value);
}

void Bool_Engine::SetCorrectionFactor(double value) {
  m_CORRECTIONFACTOR = value;
  if (log_) *log_ << Format("Bool_Engine::m_CORRECTIONFACTOR = %f\n", value);
}

void Bool_Engine::SetSmoothAber(double value) {
  m_SMOOTHABER = value;
  if (log_) *log_ << Format("Bool_Engine::m_SMOOTHABER = %f\n", value);
}

void Bool_Engine::SetMaxlinemerge(double value) {
  m_MAXLINEMERGE = value;
  if (log_) *log_ << Format("Bool_Engine::m_MAXLINEMERGE = %f\n", value);
}

void Bool_Engine::SetRoundfactor(double value) {
  m_ROUNDFACTOR = value;
  if (log_) *log_ << Format("Bool_Engine::m_ROUNDFACTOR = %f\n", value);
}

std::int64_t Bool_Engine::GetInternalMarge() const {
  // Formed in extended precision as written: with a grid of 3 nm the product
  // falls just short of 10000 and truncates to 9999.
  const long double marge = static_cast<long double>(m_GRID) * m_MARGE * m_DGRID;
  return static_cast<std::int64_t>(std::trunc(marge));
}

std::int64_t Bool_Engine::SnapCoordinate(double value) const {
  const long double steps = static_cast<long double>(value) * m_DGRID;
  // A value that lies on the grid must stay there even though 1/grid is not
  // exact as a double (3 nm * (1/3) is a hair below 1 in extended precision).
  const long double nearest = std::round(steps);
  long double snapped = std::trunc(steps);
  if (std::fabs(steps - nearest) <= 1e-9L * std::fmax(1.0L, std::fabs(nearest))) snapped = nearest;
  return static_cast<std::int64_t>(snapped) * m_GRID;
}

bool Bool_Engine::BeginContour(GroupType group) {
  if (contourOpen_) return false;
  graphs_.push_front(Contour{group, vertices_.size(), 0});
  contourOpen_ = true;
  return true;
}

bool Bool_Engine::AddVertex(double x, double y) {
  if (!contourOpen_) return false;
  const auto inRange = [this](double v) {
    const long double internal = static_cast<long double>(v) * m_DGRID * m_GRID;
    return std::isfinite(internal) && std::fabs(internal) <= kMaxInternalCoordinate;
  };
  if (!inRange(x)) ReportError("X coordinate of vertex to big", "");
  if (!inRange(y)) ReportError("Y coordinate of vertex to big", "");
  vertices_.push_back(Vertex{SnapCoordinate(x), SnapCoordinate(y)});
  ++graphs_.front().count;
  return true;
}

bool Bool_Engine::EndContour() {
  if (!contourOpen_) return false;
  contourOpen_ = false;
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
  readingContour_ = false;
  return true;
}

bool Bool_Engine::NextResultContour() {
  if (graphs_.empty()) return false;
  readingContour_ = true;
  vertexCounter_ = 0;
  currentVertex_ = 0;
  return true;
}

bool Bool_Engine::NextResultVertex() {
  if (!readingContour_ || graphs_.empty()) return false;
  const std::size_t count = graphs_.front().count;
  if (vertexCounter_ >= count) return false;
  currentVertex_ = vertexCounter_++;
  return true;
}

double Bool_Engine::VertexX() const {
  if (!readingContour_ || graphs_.empty() || graphs_.front().count == 0) return 0.0;
  return static_cast<double>(vertices_[graphs_.front().first + currentVertex_].x / m_GRID) / m_DGRID;
}

double Bool_Engine::VertexY() const {
  if (!readingContour_ || graphs_.empty() || graphs_.front().count == 0) return 0.0;
  return static_cast<double>(vertices_[graphs_.front().first + currentVertex_].y / m_GRID) / m_DGRID;
}

void Bool_Engine::DropResultContour() {
  if (!graphs_.empty()) graphs_.pop_front();
  if (graphs_.empty()) vertices_.clear();
  readingContour_ = false;
}

void Bool_Engine::ReportStage(const std::string& text) {
  if (log_) *log_ << text << " \n";
}

void Bool_Engine::ReportError(const std::string& text, const std::string& title) {
  if (log_) *log_ << "FATAL ERROR: " << title << "\nFATAL ERROR: " << text << "\n";
  throw Bool_Engine_Error(" Fatal Error", "Fatal Error", 9, 1);
}

void Bool_Engine::ReportInfo(const std::string& text, const std::string& title) {
  if (log_) *log_ << "FATAL ERROR: " << title << "\nFATAL ERROR: " << text << "\n";
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
