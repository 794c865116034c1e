#include "editing/Insertion.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "display/Grid.h"
#include "editing/Measurement.h"
#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

constexpr std::int32_t kUm = 1000;
constexpr int kLayer = 1;
constexpr std::int32_t kThickness = 2 * kUm;
constexpr int kStyle = int(EndStyle::Extended);

// What the view sends, in the order Qt delivers it: a double click is press,
// release, double click, release.
enum class Ev { Press, Move, Release, Double, Right };
struct Event {
    Ev kind;
    Point p{};
};
using Script = std::vector<Event>;

Script Click(Point p) { return {{Ev::Press, p}, {Ev::Release, p}}; }
Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Script Moved(Point p) { return {{Ev::Move, p}}; }
Script DoubleClicked(Point p) { return Click(p) + Script{{Ev::Double, p}, {Ev::Release, p}}; }
const Script kRight{{Ev::Right, {}}};

Word Header(int length, ObjectKind kind) { return MakeHeader(length, kLayer, kind) | static_cast<Word>(kSelectedBit); }

std::vector<Word> BufferOf(const SymbolDescription& s) {
    if (!s.Words()) return {};
    return {s.Words(), s.Words() + s.usedWords + 1};
}

struct Fixture {
    Grid grid;
    Layout layout;
    SymbolDescription& s;
    Insertion insertion;
    bool ortho = false;
    Fixture() : s(*layout.MainSymbol()) { s.Undo().SetRecording(true); }
    PointerSnapper Snapper() const { return PointerSnapper{grid, {}, {}, 0.01, false, ortho}; }

    InsertionStep Send(InsertionMode mode, const Event& e) {
        switch (e.kind) {
            case Ev::Press: return insertion.Press(mode, e.p, {kThickness, kStyle});
            case Ev::Move: return insertion.Move(mode, e.p, Snapper()).step;
            case Ev::Release: return insertion.Release(e.p, Snapper());
            case Ev::Double: return insertion.DoubleClick();
            case Ev::Right: return insertion.RightRelease();
        }
        return InsertionStep::Nothing;
    }
    // Plays the events as the view would: a finished insertion is committed
    // at once in its own undo step.  Returns the steps.
    std::vector<InsertionStep> Play(InsertionMode mode, const Script& script) {
        std::vector<InsertionStep> steps;
        for (const Event& e : script) {
            steps.push_back(Send(mode, e));
            if (steps.back() == InsertionStep::Finished) Commit();
        }
        return steps;
    }
    Word* Commit() {
        if (insertion.Creates()) s.Undo().BeginStep();
        return CommitInsertion(s, insertion, kLayer);
    }
    std::vector<Word> Records() const {
        std::vector<Word> out = BufferOf(s);
        if (!out.empty()) out.pop_back();
        return out;
    }
};

struct InsertCase {
    const char* name;
    InsertionMode mode;
    bool ortho;
    Script script;
    std::vector<Word> record;  // empty: nothing is created
};

TEST(InsertionTest, EventSequencesMakeTheirObject) {
    const Point c{0, 0};
    const Word wireWidth = MakeWireWidthWord(kThickness, kStyle);
    const Word arcWidth = MakeArcWidthWord(kThickness, kStyle, false);
    const Word arcWidthClockwise = MakeArcWidthWord(kThickness, kStyle, true);
    const std::vector<InsertCase> cases = {
        {"rectangle dragged from (10,10) to (0,0)",
         InsertionMode::Rectangle,
         false,
         Script{{Ev::Press, {10 * kUm, 10 * kUm}}} + Moved({5 * kUm, 3 * kUm}) + Moved({0, 0}) +
             Script{{Ev::Release, {0, 0}}},
         {Header(5, ObjectKind::Rectangle), 0, 0, 10 * kUm, 10 * kUm}},
        {"rectangle dragged with no move event in between",
         InsertionMode::Rectangle,
         false,
         Script{{Ev::Press, {10 * kUm, 0}}, {Ev::Release, {0, 4 * kUm}}},
         {Header(5, ObjectKind::Rectangle), 0, 0, 10 * kUm, 4 * kUm}},
        {"rectangle click, move, click",
         InsertionMode::Rectangle,
         false,
         Click({-kUm, -kUm}) + Moved({2 * kUm, 3 * kUm}) + Click({4 * kUm, 5 * kUm}),
         {Header(5, ObjectKind::Rectangle), -kUm, -kUm, 4 * kUm, 5 * kUm}},
        {"rectangle of zero height", InsertionMode::Rectangle, false, Click({0, 0}) + Click({5 * kUm, 0}), {}},
        {"rectangle cancelled by the right button",
         InsertionMode::Rectangle,
         false,
         Click({0, 0}) + Moved({5 * kUm, 5 * kUm}) + kRight + Moved({6 * kUm, 6 * kUm}),
         {}},
        {"polygon of three clicks and a double click has four nodes",
         InsertionMode::Polygon,
         false,
         Click({0, 0}) + Click({10 * kUm, 0}) + Click({10 * kUm, 10 * kUm}) + DoubleClicked({0, 10 * kUm}),
         {Header(13, ObjectKind::Polygon), 0, 0, 10 * kUm, 10 * kUm, 0, 0, 10 * kUm, 0, 10 * kUm, 10 * kUm, 0,
          10 * kUm}},
        {"polygon finished by the right button",
         InsertionMode::Polygon,
         false,
         Click({0, 0}) + Click({4 * kUm, 0}) + Click({0, 3 * kUm}) + Moved({9 * kUm, 9 * kUm}) + kRight,
         {Header(11, ObjectKind::Polygon), 0, 0, 4 * kUm, 3 * kUm, 0, 0, 4 * kUm, 0, 0, 3 * kUm}},
        {"polygon of two nodes", InsertionMode::Polygon, false, Click({0, 0}) + DoubleClicked({4 * kUm, 0}), {}},
        {"polygon nodes snap orthogonally about the last node",
         InsertionMode::Polygon,
         true,
         Click({0, 0}) + Click({10 * kUm, 4 * kUm}) + DoubleClicked({14 * kUm, 3 * kUm}),
         {Header(11, ObjectKind::Polygon), 0, 0, 14 * kUm, 4 * kUm, 0, 0, 10 * kUm, 0, 14 * kUm, 4 * kUm}},
        {"wire of two clicks and a right click",
         InsertionMode::Wire,
         false,
         Click({0, 0}) + Click({7 * kUm, 0}) + Moved({7 * kUm, 9 * kUm}) + kRight,
         {Header(10, ObjectKind::Wire), 0, 0, 7 * kUm, 0, wireWidth, 0, 0, 7 * kUm, 0}},
        {"wire of one click", InsertionMode::Wire, false, Click({0, 0}) + Moved({5 * kUm, 0}) + kRight, {}},
        {"circle 30 right and 20 up snaps to 45 degrees",
         InsertionMode::Circle,
         true,
         Click(c) + Moved({30 * kUm, 20 * kUm}) + Click({30 * kUm, 20 * kUm}),
         {Header(4, ObjectKind::Circle), 0, 0, 42426}},
        {"circle 30 right and 10 up snaps to 0 degrees",
         InsertionMode::Circle,
         true,
         Script{{Ev::Press, c}} + Moved({30 * kUm, 10 * kUm}) + Script{{Ev::Release, {30 * kUm, 10 * kUm}}},
         {Header(4, ObjectKind::Circle), 0, 0, 30 * kUm}},
        {"circle without snapping",
         InsertionMode::Circle,
         false,
         Click(c) + Click({30 * kUm, 10 * kUm}),
         {Header(4, ObjectKind::Circle), 0, 0, 31623}},
        {"circle of two clicks on its centre", InsertionMode::Circle, false, Click(c) + Click(c), {}},
        {"circle cancelled by the right button",
         InsertionMode::Circle,
         false,
         Click(c) + Moved({5 * kUm, 0}) + kRight + Moved({6 * kUm, 0}),
         {}},
        {"arc counter-clockwise",
         InsertionMode::ArcWire,
         false,
         Click(c) + Click({10 * kUm, 0}) + Moved({0, 3 * kUm}) + Click({0, 3 * kUm}),
         {Header(8, ObjectKind::ArcWire), 10 * kUm, 0, 0, 0, 0, 10 * kUm, arcWidth}},
        {"arc turned clockwise at the third stage",
         InsertionMode::ArcWire,
         false,
         Click(c) + Click({10 * kUm, 0}) + Moved({0, -3 * kUm}) + kRight + Click({0, -3 * kUm}),
         {Header(8, ObjectKind::ArcWire), 10 * kUm, 0, 0, 0, 0, -10 * kUm, arcWidthClockwise}},
        {"arc whose start waits until it leaves the centre",
         InsertionMode::ArcWire,
         false,
         Click(c) + Click(c) + Click({0, 6 * kUm}) + Click({6 * kUm, 6 * kUm}),
         {Header(8, ObjectKind::ArcWire), 0, 6 * kUm, 0, 0, 4243, 4243, arcWidth}},
        {"arc whose end comes back onto its start is a ring",
         InsertionMode::ArcWire,
         false,
         Click(c) + Click({10 * kUm, 0}) + Moved({0, 5 * kUm}) + Moved({5 * kUm, 0}) + Click({5 * kUm, 0}),
         {Header(5, ObjectKind::Ring), 0, 0, 10 * kUm, kThickness}},
        {"arc cancelled by the right button before its end",
         InsertionMode::ArcWire,
         false,
         Click(c) + Moved({10 * kUm, 0}) + kRight + Moved({0, 5 * kUm}),
         {}},
    };
    for (const InsertCase& k : cases) {
        Fixture f;
        f.ortho = k.ortho;
        f.Play(k.mode, k.script);
        EXPECT_EQ(f.Records(), k.record) << k.name;
        EXPECT_EQ(f.insertion.Scratch(), nullptr) << k.name;
        if (k.record.empty()) {
            EXPECT_FALSE(f.s.Undo().CanUndo()) << k.name << ": no undo step for nothing";
            continue;
        }
        EXPECT_EQ(f.s.selectedCount, 1) << k.name;
        EXPECT_EQ(f.s.CurrentObject(), f.s.FirstRecord()) << k.name;
        EXPECT_TRUE(f.s.view.frameShown) << k.name;
        EXPECT_EQ(f.s.currentKind, int(RecordKind(k.record.data()))) << k.name;
    }
}

// The steps tell the view when to draw the scratch, when to redraw it and
// when to commit; the trailing release of a double click finds nothing.
TEST(InsertionTest, StepsTellTheViewWhatToDraw) {
    using S = InsertionStep;
    struct Case {
        const char* name;
        InsertionMode mode;
        Script script;
        std::vector<S> steps;
    } cases[] = {
        {"rectangle click, move, click",
         InsertionMode::Rectangle,
         Click({0, 0}) + Moved({0, 0}) + Moved({kUm, kUm}) + Click({kUm, kUm}),
         {S::Started, S::Nothing, S::Nothing, S::Changed, S::Nothing, S::Finished}},
        {"polygon double click",
         InsertionMode::Polygon,
         Click({0, 0}) + Click({kUm, 0}) + DoubleClicked({kUm, kUm}) + Moved({kUm, kUm}),
         {S::Started, S::Changed, S::Nothing, S::Changed, S::Nothing, S::Changed, S::Finished, S::Nothing, S::Nothing}},
        {"arc stages and direction",
         InsertionMode::ArcWire,
         Click({0, 0}) + Click({kUm, 0}) + kRight + kRight + kRight,
         {S::Started, S::Changed, S::Nothing, S::Changed, S::Changed, S::Changed, S::Changed}},
        {"circle right release and menu",
         InsertionMode::Circle,
         Click({0, 0}) + kRight + kRight,
         {S::Started, S::Nothing, S::Cancelled, S::Menu}},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.Play(c.mode, c.script), c.steps) << c.name;
    }
}

// The scratch is the record it becomes, plus the floating node of a path and
// the click stage of an arc, so the view draws it with the object drawing.
TEST(InsertionTest, TheScratchIsLaidOutLikeItsRecord) {
    Fixture f;
    f.Play(InsertionMode::Wire, Click({0, 0}) + Click({4 * kUm, 0}) + Moved({4 * kUm, -2 * kUm}));
    ASSERT_NE(f.insertion.Scratch(), nullptr);
    EXPECT_EQ(f.insertion.FixedNodes(), 2);
    const Word* w = f.insertion.Scratch();
    EXPECT_EQ(std::vector<Word>(w, w + RecordLength(w)),
              (std::vector<Word>{MakeHeader(12, 0, ObjectKind::Wire), 0, -2 * kUm, 4 * kUm, 0,
                                 MakeWireWidthWord(kThickness, kStyle), 0, 0, 4 * kUm, 0, 4 * kUm, -2 * kUm}));

    Fixture arc;
    arc.Play(InsertionMode::ArcWire, Click({0, 0}) + Click({3 * kUm, 0}) + Moved({0, kUm}) + kRight);
    EXPECT_EQ(arc.insertion.ArcStage(), 2);
    const ArcWireView view(arc.insertion.Scratch());
    EXPECT_EQ(view.Length(), kArcWireLength);
    EXPECT_EQ(view.End(), (Point{0, 3 * kUm}));
    EXPECT_TRUE(view.Clockwise());
    EXPECT_EQ(view.Width(), kThickness);
}

TEST(InsertionTest, HintsDescribeTheRubber) {
    struct Case {
        InsertionMode mode;
        bool ortho;
        Script before;
        Point pointer;
        std::string hint;
    } cases[] = {
        {InsertionMode::Rectangle, false, {}, {0, 0}, "Insert rectangle..."},
        {InsertionMode::Polygon, false, {}, {0, 0}, "Insert polygon..."},
        {InsertionMode::Wire, false, {}, {0, 0}, "Insert wire..."},
        {InsertionMode::Circle, false, {}, {0, 0}, "Insert circle..."},
        {InsertionMode::ArcWire, false, {}, {0, 0}, "Insert arc-wire..."},
        {InsertionMode::Rectangle,
         false,
         Click({10 * kUm, 10 * kUm}),
         {0, -2500},
         "(10,10)->(0,-2.5), width: 10, height: 12.5"},
        {InsertionMode::Polygon,
         false,
         Click({-kUm, 0}) + Click({0, 0}),
         {10 * kUm, -5 * kUm},
         "(-1,-5),(10,0) dx: 10 dy: -5 angle: -26.6"},
        {InsertionMode::Wire, false, Click({0, 0}) + Click({kUm, kUm}), {kUm, kUm}, "(0,0),(1,1)"},
        {InsertionMode::Wire, true, Click({0, 0}), {-4 * kUm, 3 * kUm}, "(-4,0),(0,4) dx: -4 dy: 4 angle: 135"},
        {InsertionMode::Circle,
         true,
         Click({kUm, 0}),
         {kUm, -30 * kUm},
         "Center: 1,0, radius: 30, diameter: 60 (snap orthogonal)"},
        {InsertionMode::ArcWire, false, Click({0, 0}), {2 * kUm, 0}, "Center: (0,0), start: (2,0)"},
        {InsertionMode::ArcWire,
         true,
         Click({0, 0}) + Click({2 * kUm, 0}),
         {-kUm, -kUm},
         "Center: (0,0), start: (2,0), end: (-1.414,-1.414) (snap orthogonal)"},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.ortho = c.ortho;
        f.Play(c.mode, c.before);
        EXPECT_EQ(f.insertion.Move(c.mode, c.pointer, f.Snapper()).hint, c.hint);
    }
}

TEST(InsertionTest, OneUndoRemovesTheInsertedObject) {
    Fixture f;
    f.s.AddRectangle(0, 0, kUm, kUm, 2);
    f.s.Undo().Clear();
    f.s.RecomputeBounds();
    const std::vector<Word> before = BufferOf(f.s);
    f.Play(InsertionMode::Wire, Click({0, 0}) + Click({5 * kUm, 5 * kUm}) + kRight);
    ASSERT_EQ(f.s.objectCount, 2);
    EXPECT_EQ(f.s.selectedCount, 1);
    ASSERT_TRUE(f.s.Undo().CanUndo());
    f.s.Undo().Undo();
    EXPECT_EQ(BufferOf(f.s), before);
    EXPECT_EQ(f.s.selectedCount, 0);
    EXPECT_FALSE(f.s.Undo().CanUndo());
}

TEST(InsertionTest, CancelDropsTheScratchAndMakesNothing) {
    const InsertionMode modes[] = {InsertionMode::Rectangle, InsertionMode::Polygon, InsertionMode::Wire,
                                   InsertionMode::Circle, InsertionMode::ArcWire};
    for (const InsertionMode mode : modes) {
        Fixture f;
        f.Play(mode, Script{{Ev::Press, {0, 0}}} + Moved({5 * kUm, 7 * kUm}));
        EXPECT_EQ(f.insertion.Cancel(), InsertionStep::Cancelled) << int(mode);
        EXPECT_EQ(f.insertion.Scratch(), nullptr) << int(mode);
        EXPECT_EQ(f.Commit(), nullptr) << int(mode);
        EXPECT_EQ(f.insertion.Cancel(), InsertionStep::Nothing) << int(mode);
        // The release that follows the cancelling starts nothing.
        EXPECT_EQ(f.insertion.Release({5 * kUm, 7 * kUm}, f.Snapper()), InsertionStep::Nothing) << int(mode);
        EXPECT_EQ(f.s.objectCount, 0) << int(mode);
        EXPECT_FALSE(f.s.Undo().CanUndo()) << int(mode);
    }
}

// Clicking on past what a record can hold finishes the object with every
// node clicked instead of dropping nodes or overrunning the record.
TEST(InsertionTest, PathsFinishAtTheRecordLimit) {
    struct Case {
        InsertionMode mode;
        int limit;
    } cases[] = {{InsertionMode::Polygon, kMaxInsertedPolygonNodes}, {InsertionMode::Wire, kMaxInsertedWireNodes}};
    for (const Case& c : cases) {
        Fixture f;
        const PointerSnapper snapper = f.Snapper();
        ASSERT_EQ(f.insertion.Press(c.mode, {0, 0}, {kThickness, kStyle}), InsertionStep::Started);
        InsertionStep step = InsertionStep::Changed;
        int releases = 0;
        while (step == InsertionStep::Changed && releases <= c.limit) {
            ++releases;
            step = f.insertion.Release({releases, releases % 7}, snapper);
        }
        EXPECT_EQ(step, InsertionStep::Finished);
        EXPECT_EQ(releases, c.limit);
        Word* r = f.Commit();
        ASSERT_NE(r, nullptr);
        const int nodes = c.mode == InsertionMode::Polygon ? PolygonView(r).NodeCount() : WireView(r).NodeCount();
        EXPECT_EQ(nodes, c.limit);
        const Point last =
            c.mode == InsertionMode::Polygon ? PolygonView(r).Node(nodes - 1) : WireView(r).Node(nodes - 1);
        EXPECT_EQ(last, (Point{c.limit, c.limit % 7}));
        EXPECT_LE(RecordLength(r), kMaxRecordLength);
    }
}

// Points beyond the world are clamped to it, and a circle stays small enough
// that its centre plus its radius is still a 32-bit coordinate.
TEST(InsertionTest, ObjectsStayInsideTheWorld) {
    constexpr std::int32_t w = 2000000000;
    const std::int32_t rim = INT32_MAX - w;
    const std::vector<InsertCase> cases = {
        {"rectangle corner beyond the world",
         InsertionMode::Rectangle,
         false,
         Script{{Ev::Press, {INT32_MIN, 0}}, {Ev::Release, {INT32_MAX, INT32_MAX}}},
         {Header(5, ObjectKind::Rectangle), -w, 0, w, w}},
        {"circle at the world's edge",
         InsertionMode::Circle,
         false,
         Script{{Ev::Press, {w, 0}}, {Ev::Release, {-w, 0}}},
         {Header(4, ObjectKind::Circle), w, 0, rim}},
        {"polygon node snapped at 45 degrees past the edge",
         InsertionMode::Polygon,
         true,
         Click({w - kUm, 0}) + Click({w, -2 * kUm}) + DoubleClicked({w - kUm, -2 * kUm}),
         {Header(11, ObjectKind::Polygon), w - kUm, -2 * kUm, w, 0, w - kUm, 0, w, -2 * kUm, w - kUm, -2 * kUm}},
        {"arc start far from a corner centre",
         InsertionMode::ArcWire,
         false,
         Click({-w, -w}) + Click({-w, w}) + Click({-w, w}),
         {Header(5, ObjectKind::Ring), -w, -w, rim, kThickness}},
    };
    for (const InsertCase& k : cases) {
        Fixture f;
        f.ortho = k.ortho;
        f.Play(k.mode, k.script);
        EXPECT_EQ(f.Records(), k.record) << k.name;
    }
}

TEST(InsertionTest, BadSettingsAndLayersMakeNoBrokenRecord) {
    Fixture f;
    f.insertion.Press(InsertionMode::Wire, {0, 0}, {-5, 9});
    f.Play(InsertionMode::Wire, Click({0, 0}) + Click({kUm, 0}));
    EXPECT_EQ(WireView(f.insertion.Scratch()).WidthWord(), MakeWireWidthWord(0, int(EndStyle::Round)));
    ASSERT_EQ(f.insertion.RightRelease(), InsertionStep::Finished);
    EXPECT_EQ(CommitInsertion(f.s, f.insertion, 256), nullptr);
    EXPECT_EQ(f.insertion.Scratch(), nullptr);
    EXPECT_EQ(f.s.objectCount, 0);
}

TEST(InsertionTest, APressNeedsACurrentLayer) {
    Layout layout;
    layout.SetLayer(std::make_unique<LayerDescription>(3, "Metal"));
    ScopedMessageCapture messages;
    layout.activeLayer = 3;
    EXPECT_TRUE(RequireCurrentLayer(layout));
    EXPECT_TRUE(messages.messages.empty());
    layout.activeLayer = 7;  // no such layer
    EXPECT_FALSE(RequireCurrentLayer(layout));
    layout.activeLayer = -1;
    EXPECT_FALSE(RequireCurrentLayer(layout));
    const RecordedMessage refused{"You first have to select a layer!", "Error"};
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{refused, refused}));
}

// ---------------------------------------------------------------------------
// Measuring

struct MeasureFixture {
    Grid grid;
    SymbolView line;
    Measurement measure;
    bool ortho = false;
    static constexpr std::int32_t kTwoPixels = 3;
    PointerSnapper Snapper() const { return PointerSnapper{grid, {}, {}, 0.01, false, ortho}; }
    void Show(Point a, Point b) {
        line.measureX1 = a.X;
        line.measureY1 = a.Y;
        line.measureX2 = b.X;
        line.measureY2 = b.Y;
        line.measureShown = true;
    }
    Rect Line() const { return {line.measureX1, line.measureY1, line.measureX2, line.measureY2}; }
    MeasureStep Press(Point p) { return measure.Press(line, p, kTwoPixels, Snapper()); }
    MeasureStep Release(Point p) { return measure.Release(line, p, Snapper()); }
    std::string Move(Point p) { return measure.Move(line, p, Snapper()).hint; }
};

TEST(MeasurementTest, APressTakesUpAnEndOrStartsANewLine) {
    struct Case {
        const char* name;
        bool shown;
        Point press;
        Rect line;
    } cases[] = {
        {"near the end", true, {10 * kUm + 2, -2}, {0, 0, 10 * kUm + 2, -2}},
        {"near the start: the old end becomes the start", true, {-2, 2}, {10 * kUm, 0, -2, 2}},
        {"just out of reach of the end", true, {10 * kUm + 3, 0}, {10 * kUm + 3, 0, 10 * kUm + 3, 0}},
        {"near the end of a hidden line", false, {10 * kUm, 0}, {10 * kUm, 0, 10 * kUm, 0}},
    };
    for (const Case& c : cases) {
        MeasureFixture f;
        f.Show({0, 0}, {10 * kUm, 0});
        f.line.measureShown = c.shown;
        EXPECT_EQ(f.Press(c.press), MeasureStep::Changed) << c.name;
        EXPECT_EQ(f.Line(), c.line) << c.name;
        EXPECT_TRUE(f.line.measureShown) << c.name;
        EXPECT_TRUE(f.measure.Measuring()) << c.name;
    }
}

TEST(MeasurementTest, DragOrClickMoveClickEndsTheLine) {
    MeasureFixture drag;
    drag.Press({0, 0});
    EXPECT_EQ(drag.Move({3 * kUm, 4 * kUm}), "(0,0)->(3,4) dx: 3 dy: 4");
    EXPECT_EQ(drag.Release({3 * kUm, 4 * kUm}), MeasureStep::Nothing);
    EXPECT_FALSE(drag.measure.Measuring());
    EXPECT_EQ(drag.Move({9 * kUm, 9 * kUm}), "New measurement...");
    EXPECT_EQ(drag.Line(), (Rect{0, 0, 3 * kUm, 4 * kUm}));

    MeasureFixture clicks;
    clicks.Press({10 * kUm, 10 * kUm});
    EXPECT_EQ(clicks.Release({10 * kUm, 10 * kUm}), MeasureStep::Nothing);
    EXPECT_TRUE(clicks.measure.Measuring()) << "a click without a move goes on";
    EXPECT_EQ(clicks.Move({0, 5 * kUm}), "(10,10)->(0,5) dx: 10 dy: 5");
    EXPECT_EQ(clicks.Press({0, 6 * kUm}), MeasureStep::Changed);
    EXPECT_FALSE(clicks.measure.Measuring());
    EXPECT_EQ(clicks.Release({0, 6 * kUm}), MeasureStep::Nothing);
    EXPECT_EQ(clicks.Line(), (Rect{10 * kUm, 10 * kUm, 0, 6 * kUm}));
    EXPECT_TRUE(clicks.line.measureShown);

    // Taking up the end and letting go where it was keeps measuring too.
    MeasureFixture again;
    again.Show({0, 0}, {kUm, 0});
    again.Press({kUm, 0});
    again.Release({kUm, 0});
    EXPECT_TRUE(again.measure.Measuring());
}

TEST(MeasurementTest, TheEndSnapsOrthogonallyAboutTheStart) {
    MeasureFixture f;
    f.ortho = true;
    f.Press({kUm, kUm});
    EXPECT_EQ(f.Move({5 * kUm, 4 * kUm}), "(1,1)->(5,5) dx: 4 dy: 4");
    f.Release({9 * kUm, 2 * kUm});
    EXPECT_EQ(f.Line(), (Rect{kUm, kUm, 9 * kUm, kUm}));
}

TEST(MeasurementTest, TheRightButtonHidesTheLineOrAsksForTheMenu) {
    MeasureFixture f;
    EXPECT_EQ(f.measure.RightRelease(f.line, false), MeasureStep::Nothing);
    f.Press({0, 0});
    f.Move({kUm, 0});
    EXPECT_EQ(f.measure.RightRelease(f.line, true), MeasureStep::Nothing) << "the left button is held";
    EXPECT_TRUE(f.measure.Measuring());
    EXPECT_EQ(f.measure.RightRelease(f.line, false), MeasureStep::Hidden);
    EXPECT_FALSE(f.measure.Measuring());
    EXPECT_FALSE(f.line.measureShown);

    f.Press({0, 0});
    f.Release({kUm, kUm});
    EXPECT_EQ(f.measure.RightRelease(f.line, false), MeasureStep::Menu);
    EXPECT_TRUE(f.line.measureShown);
    EXPECT_EQ(f.measure.Hide(f.line), MeasureStep::Hidden);
    EXPECT_FALSE(f.line.measureShown);
    EXPECT_EQ(f.measure.Hide(f.line), MeasureStep::Nothing);
}

}  // namespace
