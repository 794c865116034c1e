// Editing the shape of the current object through its nodes (the node
// editing mode): the vertices of polygons and wires and the handles of
// rectangles, boxes, circles, rings, arc wires and arrays.  The node list and
// its selection live with the symbol (SymbolView::nodeList); the view feeds
// presses, moves and releases in and draws the rubber shape and the status
// text these functions give.  Texts, measurements, groups, calls and scripts
// have no nodes: they can be made current but not reshaped.
//
// Every node edit keeps each coordinate of the result within +-2,000,000,000
// units and leaves a record every writer can save; an edit that cannot is
// refused whole, with a message.  The functions that change records add undo
// entries and never open a step: the caller calls symbol.Undo().BeginStep()
// first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "editing/HitTesting.h"
#include "editing/PointerSnapping.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/Types.h"

namespace zandor {

// The largest coordinate, in either direction, a node edit may produce.
constexpr std::int64_t kNodeCoordinateLimit = 2000000000;

// The status hint while the pointer spans a rectangle of node selection.
constexpr const char* kSelectingNodesText = "Selecting node(s)...";

// The nodes of a record, by kind: rectangle and box 9 (centre, four corners,
// four edge midpoints), polygon and wire every vertex, circle 2 (centre, top),
// ring 4 (centre, top of the centre line, of the outer and of the inner edge),
// arc wire 7 (centre, start, end, the inner and outer corner of the start and
// of the end), array 3 (origin, column end, row end); none for other kinds.
std::vector<Point> BuildNodeList(const Word* record);
// Polygons and wires: any set of nodes moves together, each by itself.  The
// other kinds reshape through one handle at a time.
bool NodesMoveSeparately(ObjectKind kind);

// The node list of the symbol built anew for its current object, with no
// node selected; dropped when there is no current object.  Called when the
// mode is entered, when the current object changes and after an undo.
void ResetNodeList(SymbolDescription& symbol);

enum class NodeDragOutcome {
    Applied,
    // The rule leaves the record as it is: a kind without nodes, a node index
    // it does not have, an arc end or array end dragged onto the centre or
    // origin, or a zero displacement.
    Unchanged,
    // A coordinate, radius or width would leave the range the record can hold.
    OutsideRange,
    // A circle or ring would be left with a radius below 1, or an arc wire
    // with a centre line of radius below 1.
    Collapsed,
};

// Applies the displacement (dx, dy) of node `node`, which lay at `from`, to
// the record's words.  Only an Applied outcome changes the record; the
// others leave it word for word as it was.  Node 0 of the handle kinds moves
// the whole object.  Circles and rings take `from` as the dragged point, so
// that a handle left where the pointer released it drags on from there.
NodeDragOutcome NodeDragRule(Word* record, int node, Point from, std::int32_t dx, std::int32_t dy);
// The same with the node where BuildNodeList puts it.
NodeDragOutcome NodeDragRule(Word* record, int node, std::int32_t dx, std::int32_t dy);

// A press of the left button at the raw world point p, the view's scale sx
// (pixels per unit).  Updates the node selection and returns the node a drag
// starts with, -1 when none starts: with Shift and nodes selected nothing
// happens (the release toggles); a press beside every node empties the
// selection; a press on a node not selected selects it alone (for the handle
// kinds the list is first rebuilt from the record, the pressed node keeping
// its place).
int PressOnNodes(SymbolDescription& symbol, Point p, double sx, bool shift);

// A drag of the selected nodes, from the press on `node` to the release.
struct NodeDrag {
    int node = -1;
    Point anchor;                 // where the dragged node lay at the press
    std::int32_t dx = 0, dy = 0;  // snapped displacement
    std::vector<Word> scratch;    // copy of the object for the handle kinds
    bool shift = false, ctrl = false;
    bool leaveOriginal = false;  // the right button toggles it during the drag
};
NodeDrag StartNodeDrag(SymbolDescription& symbol, int node);
// A pointer move with the button held, the pointer raw: with Shift the
// displacement is rounded by the grid, otherwise the snapped pointer less the
// anchor.
void DragNodeTo(NodeDrag& drag, Point pointer, bool shift, bool ctrl, const PointerSnapper& snapper);
// "Moving node, dx: 1.5, dy: -2" in micrometres, with ", Leave original"
// while that is on.
std::string NodeDragStatusText(const NodeDrag& drag);

// What the view draws, dotted and inverting, for the drag: polylines in
// world coordinates, and, where the object is shown whole, a record to draw
// by its kind (ObjectDrawing::DrawRecord, kinds 1 to 7).
//  - polygon: for each selected node the edge from the previous node and,
//    unless the next node is selected too, the edge to the next, the polygon
//    closed;
//  - wire of more than 20 nodes: the same, not closed;
//  - wire of at most 20 nodes: the wire with its width, the selected nodes
//    displaced (the record);
//  - array: the displaced lattice as a parallelogram through the origin and
//    both ends;
//  - other kinds: the object after NodeDragRule (the record).
struct NodeRubber {
    std::vector<std::vector<Point>> lines;
    std::vector<Word> record;  // empty when there is none
};
NodeRubber NodeRubberShape(const SymbolDescription& symbol, const NodeDrag& drag);

// What a node edit changed: the object's extent before and after, for the
// view to redraw.
struct NodeEdit {
    bool changed = false;
    Rect before, after;
};

// Moves the selected nodes of the current object by (dx, dy): polygon and
// wire vertices each with a "modified" undo entry and the cached node box
// recomputed; the other kinds by NodeDragRule with the first selected node
// and ReplaceRecord.  The node list follows (circle and ring: the dragged
// handle at its old place plus (dx, dy); other handle kinds: rebuilt from the
// record) and the selection is brought up to date with the current object
// kept.  Nothing happens for a zero displacement, without a selected node,
// or when the node list no longer matches the object; a refused rule shows a
// message (caption "Error").
NodeEdit MoveSelectedNodes(SymbolDescription& symbol, std::int32_t dx, std::int32_t dy);
// The release of a drag: with leaveOriginal the current object is first
// copied in place (the copy becomes the current object and is the one
// reshaped; the node list and its selection carry over), then
// MoveSelectedNodes.  A refused move copies nothing; a zero displacement
// does nothing at all.
NodeEdit FinishNodeDrag(SymbolDescription& symbol, std::int32_t dx, std::int32_t dy, bool leaveOriginal);

// A click without Shift: everything is deselected and the object under the
// point (PickCurrent with `filter`) becomes the single selection with its
// node list; without one the node list is dropped.  Returns the object.
Word* PickNodeObject(SymbolDescription& symbol, Point p, SelectFilter filter);
// A click with Shift: the node at p is added to or removed from the node
// selection; polygons and wires only.  True when the selection changed.
bool ToggleNodeAt(SymbolDescription& symbol, Point p, double sx);
// A dragged rectangle (inclusive bounds, in any corner order): every node in
// it joins the selection; for the handle kinds only one node stays selected,
// the one selected first.  True when the selection changed.
bool SelectNodesInRect(SymbolDescription& symbol, const Rect& r);

// Inserts a vertex into the current polygon or wire after node `index`, at
// the midpoint of the edge to the next node (a polygon's last node takes the
// closing edge; a wire's last node the edge before it, so the new vertex goes
// between the two).  The new vertex becomes the only selected node.  False
// (with a message) when the record is full; false without one for other
// kinds and indices it does not have.
bool InsertNodeAfter(SymbolDescription& symbol, int index);
// Removes the selected vertices of the current polygon or wire.  Refused with
// a message when fewer than 3 polygon or 2 wire vertices would remain; false
// without one when no vertex is selected or the object is of another kind.
bool DeleteSelectedNodes(SymbolDescription& symbol);

}  // namespace zandor
