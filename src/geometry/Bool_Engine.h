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

#include "model/Types.h"

namespace zandor {

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

// The only exception the engine throws. Message and header are the texts
// the engine has always given (clipped to 199 characters; an error raised
// through Bool_Engine::ReportError says only " Fatal Error" / "Fatal
// Error"); the reason is the specific cause, whole, whichever way the error
// was raised ("crossing search does not settle", "Wrong operation", ...).
class Bool_Engine_Error {
public:
    // An empty reason means the message is the reason.
    Bool_Engine_Error(const std::string& message, const std::string& header, int code, int fatal,
                      const std::string& reason = {});

    const std::string& GetErrorMessage() const { return message; }
    const std::string& GetHeaderMessage() const { return header; }
    const std::string& GetReason() const { return reason; }
    int GetErrorCode() const { return code; }
    int GetFatal() const { return fatal; }

private:
    std::string message;
    std::string header;
    std::string reason;
    int code;
    int fatal;
};

class Bool_Engine {
public:
    Bool_Engine();
    virtual ~Bool_Engine();
    Bool_Engine(const Bool_Engine&) = delete;
    Bool_Engine& operator=(const Bool_Engine&) = delete;

    // Log sink for stage reports; null (the default) keeps the engine silent.
    void SetLog(std::ostream* sink) { log = sink; }

    void SetMarge(double value);
    void SetGrid(std::int64_t value);
    void SetDGrid(double value);

    double GetMarge() const { return marge; }
    std::int64_t GetGrid() const { return grid; }
    double GetDGrid() const { return dgrid; }
    // The marge in internal units: grid * marge * dgrid, truncated. Nodes
    // closer than this (in X and in Y) are merged into one, and a node this
    // close to a link splits the link there.
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
    // Logs the title and text, then throws a Bool_Engine_Error with message
    // " Fatal Error", header "Fatal Error", code 9 and the text as reason.
    virtual void ReportError(const std::string& text, const std::string& title);
    virtual void ReportInfo(const std::string& text, const std::string& title);

    // Holes in the result are joined to their outer contour, so that every
    // result contour is a simple polygon without holes.
    bool joinHoles = true;

    // --- Accepted and ignored ---------------------------------------------
    // Settings that callers configure but no stage of this engine reads.
    // They stay settable and readable (and the setters log as before) so
    // that callers keep working; changing them changes no result.
    // - Correction aber and factor, smooth aber, max line merge, round
    //   factor: parameters of the codes OpCorrection, OpSmooth and OpRing,
    //   which Execute rejects.
    // - useWindingCounts: group counts always follow each link's winding
    //   sense (as with true); they never toggle.
    // - nearZero: every geometric test is exact in integers; there is no
    //   tolerance to set.
    // - orientationGivesHoles: input orientation never carries meaning (as
    //   with false); every contour counts as clockwise.
    // - crossingPasses: the operation runs once (as with 1); noding repeats
    //   its rounds until nothing changes instead.
    void SetCorrectionAber(double value);
    void SetCorrectionFactor(double value);
    void SetSmoothAber(double value);
    void SetMaxlinemerge(double value);
    void SetRoundfactor(double value);
    double GetCorrectionAber() const { return correctionAber; }
    double GetCorrectionFactor() const { return correctionFactor; }
    double GetSmoothAber() const { return smoothAber; }
    double GetMaxlinemerge() const { return maxLineMerge; }
    double GetRoundfactor() const { return roundFactor; }
    bool useWindingCounts = true;
    double nearZero = 1e-4;
    bool orientationGivesHoles = false;
    int crossingPasses = 1;

private:
    double correctionAber = 1.0;
    double correctionFactor = 500.0;
    double smoothAber = 10.0;
    double maxLineMerge = 1000.0;
    double roundFactor = 1.5;
    // --- End of the settings accepted and ignored -------------------------

    using Vertex = Point64;
    // A contour of the graph list: its vertices are vertices[first, first + count).
    struct Contour {
        GroupType group;
        std::size_t first;
        std::size_t count;
    };

    std::int64_t SnapCoordinate(double value) const;
    void RunOperation(BooleanOperation operation);

    std::ostream* log = nullptr;

    // The marge (merge margin), in input units (nm): the distance up to which
    // two vertices, or a vertex and an edge, are taken as one (measured in X
    // and in Y separately, not diagonally). ConfigureBooleanEngine sets ten
    // grid steps, so that vertices and edges that nearly coincide, from
    // snapping or drawn a few nm apart, leave no slivers or hairline gaps in
    // the result. The stages use it in internal units (GetInternalMarge).
    double marge = 0.1;
    // Internal units per grid step.
    std::int64_t grid = 1000;
    // Grid steps per input unit: a vertex x enters as trunc(x * dgrid) * grid.
    double dgrid = 100.0;

    // Input contours before Execute, result contours after it; new input
    // contours go in at the head, results are appended in contour order.
    // Vertices of all contours in one array (a contour is entered at once).
    std::deque<Contour> graphs;
    std::vector<Vertex> vertices;
    bool contourOpen = false;

    // Reading state.
    bool readingContour = false;
    std::size_t vertexCounter = 0;
    std::size_t currentVertex = 0;
};

// Applies the "Snap coordinates to grid of (nm):" preference (PolygonGrid).
void ConfigureBooleanEngine(Bool_Engine& engine, int polygonGrid);

}  // namespace zandor
