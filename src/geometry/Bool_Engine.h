// The polygon boolean engine: contours in two groups go in as doubles in
// database units, one operation runs on a snapped 64-bit integer grid, and the
// result comes back as closed contours without holes (holes are joined to
// their outer contour by a zero-width vertical cut).
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

enum GroupType { GroupA = 0, GroupB = 1 };

enum BooleanOperation {
  OpOr = 1,
  OpAnd = 2,
  OpExor = 3,
  OpAMinusB = 4,
  OpBMinusA = 5,
  OpCorrection = 6,
  OpSmooth = 7,
  OpRing = 8,
};

// The only exception the engine throws.
class Bool_Engine_Error {
 public:
  Bool_Engine_Error(const std::string& message, const std::string& header, int code, int fatal);

  const std::string& GetErrorMessage() const { return message_; }
  const std::string& GetHeaderMessage() const { return header_; }
  int GetErrorCode() const { return code_; }
  int GetFatal() const { return fatal_; }

 private:
  std::string message_;
  std::string header_;
  int code_;
  int fatal_;
};

namespace boolean_detail {
struct WorkGraph;
}

class Bool_Engine {
 public:
  Bool_Engine();
  virtual ~Bool_Engine();
  Bool_Engine(const Bool_Engine&) = delete;
  Bool_Engine& operator=(const Bool_Engine&) = delete;

  // Log sink for stage reports; null (the default) keeps the engine silent.
  void SetLog(std::ostream* log) { log_ = log; }

  void SetMarge(double marge);
  void SetGrid(std::int64_t grid);
  void SetDGrid(double dgrid);
  void SetCorrectionAber(double value);
  void SetCorrectionFactor(double value);
  void SetSmoothAber(double value);
  void SetMaxlinemerge(double value);
  void SetRoundfactor(double value);

  double GetMarge() const { return m_MARGE; }
  std::int64_t GetGrid() const { return m_GRID; }
  double GetDGrid() const { return m_DGRID; }
  // m_GRID * m_MARGE * m_DGRID truncated: the merge distance in internal units.
  std::int64_t GetInternalMarge() const;

  bool BeginContour(GroupType group);
  bool AddVertex(double x, double y);
  bool EndContour();
  bool Execute(BooleanOperation operation);

  bool NextResultContour();
  bool NextResultVertex();
  double VertexX() const;
  double VertexY() const;
  void DropResultContour();

  virtual void ReportStage(const std::string& text);
  virtual void ReportError(const std::string& text, const std::string& title);
  virtual void ReportInfo(const std::string& text, const std::string& title);

  // Parameters with the values every client uses.
  bool useWindingCounts = true;
  double nearZero = 1e-4;
  bool orientationGivesHoles = false;
  bool joinHoles = true;
  int crossingPasses = 1;

 private:
  friend struct boolean_detail::WorkGraph;

  struct Vertex {
    std::int64_t x;
    std::int64_t y;
  };
  // A contour of the graph list: its vertices are vertices_[first, first + count).
  struct Contour {
    GroupType group;
    std::size_t first;
    std::size_t count;
  };

  std::int64_t SnapCoordinate(double value) const;
  void RunOperation(BooleanOperation operation);

  std::ostream* log_ = nullptr;

  double m_MARGE = 0.1;
  std::int64_t m_GRID = 1000;
  double m_DGRID = 100.0;
  double m_CORRECTIONABER = 1.0;
  double m_CORRECTIONFACTOR = 500.0;
  double m_SMOOTHABER = 10.0;
  double m_MAXLINEMERGE = 1000.0;
  double m_ROUNDFACTOR = 1.5;

  // Input contours before Execute, result contours after it; new input
  // contours go in at the head, results are appended in contour order.
  // Vertices of all contours in one array (a contour is entered at once).
  std::deque<Contour> graphs_;
  std::vector<Vertex> vertices_;
  bool contourOpen_ = false;

  // Reading state.
  bool readingContour_ = false;
  std::size_t vertexCounter_ = 0;
  std::size_t currentVertex_ = 0;
};

// Applies the "Snap coordinates to grid of (nm):" preference (PolygonGrid).
void ConfigureBooleanEngine(Bool_Engine& engine, int polygonGrid);
