// Inserting rectangles, polygons, wires, circles and arc-wires (or rings) with
// the mouse.  The object being made lives in a scratch record laid out word
// for word like the record it becomes, so the view draws it with the ordinary
// object drawing in inverting mode and removes it by drawing the same words
// again.  The view passes snapped points in (SnapPoint); the handlers apply
// OrthoSnap themselves and say what the view has to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editing/PointerSnapping.h"
#include "model/ObjectRecord.h"
#include "model/Types.h"

namespace zandor {

class Layout;
class SymbolDescription;

// The interaction modes that insert with the scratch record (the numbers of
// the main window's modes).
enum class InsertionMode { Rectangle = 3, Polygon = 4, Wire = 5, Circle = 6, ArcWire = 7 };

// What a handler did, so that the view knows what to draw.
enum class InsertionStep {
    Nothing,    // the scratch is as it was
    Started,    // an insertion began: remove the frame and highlight, deselect, draw Scratch()
    Changed,    // remove the drawing of the old scratch words, draw Scratch()
    Finished,   // remove the drawing of the scratch, then CommitInsertion
    Cancelled,  // remove the drawing of the scratch; nothing is made
    Menu,       // a right release with nothing being inserted: the insertion menu
};

struct InsertionMove {
    InsertionStep step = InsertionStep::Nothing;
    std::string hint;  // the status bar text
};

// The wire settings a new wire or arc-wire takes.  A thickness outside
// 0..2^28-1 is clamped into the width bits; an end style other than Round,
// Flat or Extended is taken as Round.
struct InsertionSettings {
    std::int32_t wireThickness = 0;
    int wireStyle = 0;
};

// Polygons and wires collect at most as many nodes as their record can hold
// (32765 and 32764): the release that fixes the last node possible finishes
// the object.
constexpr int kMaxInsertedPolygonNodes = kMaxPolygonNodes;
constexpr int kMaxInsertedWireNodes = (kMaxRecordLength - kWireBaseLength) / 2;

// One view's insertion: idle, inserting, or finished and waiting for
// CommitInsertion.  Every point handed in is first clamped to the world
// (+-2,000,000,000 nm); every point it makes stays inside it.
class Insertion {
public:
    // The first press starts an insertion of `mode` at p; later presses act
    // on the insertion in progress whatever `mode` says: a rectangle takes p
    // as its second corner, a circle counts a second click, polygons, wires
    // and arcs ignore them.  A press on a finished insertion that was not
    // committed drops it and starts anew.
    InsertionStep Press(InsertionMode mode, Point p, const InsertionSettings& settings);
    // The pointer moved to p: the rubber follows and the hint describes it;
    // with nothing being inserted the hint is "Insert rectangle..." etc.
    InsertionMove Move(InsertionMode mode, Point p, const PointerSnapper& snapper);
    // The left button came up at p, taken as a last move first.  A rectangle
    // ends when its corners differ, a circle when it has a radius or had a
    // second click; a polygon or wire fixes its floating node; an arc fixes
    // its centre, then (once it differs from the centre) its start, then ends.
    InsertionStep Release(Point p, const PointerSnapper& snapper);
    // Polygons and wires: finishes without adding a node (the first click of
    // the double click added it already).  Nothing for other kinds.
    InsertionStep DoubleClick();
    // Polygons and wires finish; an arc at its third stage turns its
    // direction; otherwise the insertion is cancelled.  Menu when idle.
    InsertionStep RightRelease();
    // EndPendingOperation: drops whatever is in progress.
    InsertionStep Cancel();
    // Back to idle without a step to report.
    void Reset();

    bool Inserting() const { return state == State::Inserting; }
    bool Finished() const { return state == State::Finished; }
    InsertionMode Mode() const { return mode; }
    // The scratch record (header first), or nullptr when idle.  The words
    // move when a polygon or wire grows: ask again after every handler.
    const Word* Scratch() const { return state == State::Idle ? nullptr : words.data(); }
    // Polygons and wires: the fixed nodes (the scratch holds one more, the
    // floating node, while inserting).
    int FixedNodes() const { return fixedNodes; }
    // Arcs: 0 placing the centre, 1 the start, 2 the end.
    int ArcStage() const;
    // A finished insertion that makes an object: false for a rectangle of no
    // width or height, a polygon of fewer than 3 nodes, a wire of fewer than
    // 2, a circle of radius 0 and an arc whose start or end is its centre.
    bool Creates() const;

private:
    enum class State { Idle, Inserting, Finished };
    bool IsPath() const { return mode == InsertionMode::Polygon || mode == InsertionMode::Wire; }
    int FirstNodeWord() const { return mode == InsertionMode::Polygon ? kPolygonBaseLength : kWireBaseLength; }
    int MaxNodes() const;
    Point Node(int i) const;
    void SetNode(int i, Point p);
    void SetNodeBox(const Rect& box);
    // The pointer at p moves the rubber; true when a word changed.
    bool Follow(Point p, const PointerSnapper& snapper);
    // Polygons and wires: the last node is fixed, or dropped.
    InsertionStep FinishPath(bool dropFloating);
    std::string Hint(const PointerSnapper& snapper) const;

    State state = State::Idle;
    InsertionMode mode = InsertionMode::Rectangle;
    std::vector<Word> words;
    int fixedNodes = 0;
    Rect fixedBox;  // of the fixed nodes, while there are any
    Point press;    // where the insertion started
    bool secondClick = false;
};

// Makes the object a finished insertion describes on `layer` with the
// record creators, selects it alone (selected bit and SelectSingle) and
// returns it; nullptr, with the symbol untouched, when the insertion is not
// finished, makes nothing (Creates), the layer is not 0..255 or the record
// cannot be had.  The insertion is idle afterwards either way.  The caller
// opens the undo step first, only when Creates() is true; one undo removes
// the object again.  An arc whose end is its start becomes a ring.
Word* CommitInsertion(SymbolDescription& symbol, Insertion& insertion, int layer);

// A press of an insertion mode needs a current layer that exists; without
// one this shows "You first have to select a layer!" (caption "Error") and
// returns false.
bool RequireCurrentLayer(const Layout& layout);

}  // namespace zandor
