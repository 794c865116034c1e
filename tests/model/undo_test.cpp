#include <gtest/gtest.h>
#include <vector>

#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

std::vector<Word> BufferOf(const SymbolDescription& s) {
    if (!s.Words()) return {};
    return {s.Words(), s.Words() + s.usedWords + 1};
}

const Point kTriangle[3] = {{0, 0}, {10, 0}, {0, 10}};

// A text head with four glyph polygons.
Word* AddTextWithGlyphs(SymbolDescription& s) {
    const std::int32_t offset = s.usedWords;
    s.AddText(0, 0, 4, "ABCD", 1000, {}, 2);
    for (int k = 0; k < 4; ++k) SetMemberBit(s.AddPolygon(kTriangle, 3, 2), true);
    return s.RecordAt(offset);
}

}  // namespace

TEST(Undo, EntryLayoutAndStorageGrowth) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    UndoList& undo = *s.undo;
    undo.BeginStep();
    s.AddRectangle(0, 0, 10, 10, 1);
    // Boundary (3 words) + insertion (3 words).
    EXPECT_EQ(undo.UsedWords(), 6);
    EXPECT_EQ(undo.EntryCount(), 2);
    s.DeleteRecord(s.FirstRecord());
    EXPECT_EQ(undo.UsedWords(), 6 + 5 + 3);
    EXPECT_TRUE(undo.CanUndo());
    undo.Clear();
    EXPECT_FALSE(undo.CanUndo());
    EXPECT_TRUE(undo.IsRecording()) << "clearing keeps recording as it was";

    // Recording off: nothing is kept, the change still happens.
    undo.SetRecording(false);
    EXPECT_NE(s.AddCircle(0, 0, 5, 1), nullptr);
    EXPECT_EQ(undo.EntryCount(), 0);
}

TEST(Undo, ChangeOfARecordInsertedInTheSameStepIsNotRecorded) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddCircle(1, 1, 1, 1);
    const std::vector<Word> start = BufferOf(s);
    s.undo->BeginStep();
    Word* r = s.AddRectangle(0, 0, 10, 10, 1);
    std::vector<Word> moved(r, r + 5);
    RectangleView(moved.data()).SetCorners({5, 0}, {10, 10});
    s.ReplaceRecord(r, moved.data());
    EXPECT_EQ(s.undo->EntryCount(), 1 + 1 + 1) << "circle, boundary, insertion; no modification entry";
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);
}

TEST(Undo, DeletingATextRestoresHeadAndGlyphsInOrder) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1, 1, 1);
    AddTextWithGlyphs(s);
    s.AddCircle(3, 3, 3, 1);
    const std::vector<Word> start = BufferOf(s);
    const int entries = s.undo->EntryCount();

    s.undo->BeginStep();
    s.DeleteRecord(s.NextRecord(s.FirstRecord()));
    EXPECT_EQ(s.undo->EntryCount(), entries + 1 + 5) << "one entry for the head and one per glyph";
    EXPECT_EQ(s.objectCount, 2);
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);
    EXPECT_EQ(s.objectCount, 7);
}

TEST(Undo, StepsStopAtTheirBoundary) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.undo->Undo();  // an empty list does nothing
    EXPECT_EQ(s.objectCount, 0);

    s.undo->BeginStep();
    s.AddRectangle(0, 0, 1, 1, 1);
    const std::vector<Word> afterFirst = BufferOf(s);
    s.undo->BeginStep();
    s.AddRectangle(5, 5, 6, 6, 1);
    Word* first = s.FirstRecord();
    std::vector<Word> changed(first, first + 5);
    RectangleView(changed.data()).SetCorners(RectangleView(first).Corner1(), {100, RectangleView(first).Corner2().Y});
    s.ReplaceRecord(first, changed.data());
    s.DeleteRecord(s.NextRecord(s.FirstRecord()));
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), afterFirst);
    EXPECT_TRUE(s.undo->CanUndo());
    s.undo->Undo();
    EXPECT_EQ(s.usedWords, 0);
    EXPECT_EQ(s.objectCount, 0);
    EXPECT_FALSE(s.undo->CanUndo());
}

TEST(Undo, DeletedCallOfADeletedSymbolRecreatesAnEmptySymbol) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    layout.AddSymbol(7, "seven")->AddRectangle(0, 0, 1, 1, 1);
    layout.AddSymbol(8, "Empty symbol 7");
    s.InsertSymbolCall(7, 0, 0);
    s.undo->BeginStep();
    s.DeleteRecord(s.FirstRecord());
    ASSERT_TRUE(layout.DeleteSymbol(7));
    layout.Undo();
    SymbolDescription* recreated = layout.FindSymbol(7);
    ASSERT_NE(recreated, nullptr);
    EXPECT_EQ(recreated->Name(), "Empty symbol 7a");
    EXPECT_TRUE(recreated->undo->IsRecording());
    EXPECT_EQ(s.Children(), (std::vector<std::int32_t>{7}));
    EXPECT_EQ(s.callCount, 1);
}

TEST(Undo, RestoredGroupHeadsMarkTheirMembersAgain) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    // A group of a text (with 4 glyphs) and a rectangle: 6 member records, 2 direct.
    Word* group = s.AddGroup(0, 0, 6, 2);
    const std::int32_t groupOffset = s.OffsetOf(group);
    AddTextWithGlyphs(s);
    s.AddRectangle(0, 0, 1, 1, 1);
    Word* text = s.NextRecord(s.FirstRecord());
    SetMemberBit(text, true);
    SetMemberBit(s.RecordAt(s.usedWords - 5), true);
    const std::vector<Word> start = BufferOf(s);

    // Ungrouping: the direct members lose their bit in place, then the head
    // goes alone.
    s.undo->BeginStep();
    SetMemberBit(s.NextRecord(s.RecordAt(groupOffset)), false);
    SetMemberBit(s.RecordAt(s.usedWords - 5), false);
    s.DeleteRecord(s.RecordAt(groupOffset));
    EXPECT_EQ(s.objectCount, 6);
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);

    // Deleting the group takes all its members; undo brings them back.
    s.undo->BeginStep();
    s.DeleteRecord(s.RecordAt(groupOffset));
    EXPECT_EQ(s.objectCount, 0);
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);
}

TEST(Undo, UnknownCodesAreReportedAndSkipped) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.undo->BeginStep();
    s.AddRectangle(0, 0, 1, 1, 1);
    s.undo->AddEntry(555, 0, nullptr);
    ScopedMessageCapture messages;
    s.undo->Undo();
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unknown undo action...", "UndoList"}}));
    EXPECT_EQ(s.objectCount, 0) << "undo goes on past the unknown entry";
}

TEST(Undo, RemapLayerChangesStoredCopiesOfLayeredKinds) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    layout.AddSymbol(1, "leaf");
    s.AddRectangle(0, 0, 1, 1, 3);
    s.AddCircle(0, 0, 1, 4);
    s.InsertSymbolCall(1, 0, 0);
    s.undo->BeginStep();
    while (s.FirstRecord()) s.DeleteRecord(s.FirstRecord());
    s.undo->RemapLayer(3, 9);
    s.undo->Undo();
    const Word* r = s.FirstRecord();
    EXPECT_EQ(RecordLayer(r), 9);
    EXPECT_EQ(RecordLayer(s.NextRecord(r)), 4);
    EXPECT_EQ(RecordKind(s.NextRecord(s.NextRecord(r))), ObjectKind::SymbolCall);
}

TEST(Undo, ModifiedStateFollowsTheUndoLists) {
    Layout layout;
    EXPECT_FALSE(layout.IsModified());
    EXPECT_FALSE(layout.CanUndo());
    SymbolDescription& s = *layout.MainSymbol();
    s.undo->BeginStep();
    s.AddRectangle(0, 0, 1, 1, 1);
    EXPECT_TRUE(layout.IsModified());
    EXPECT_TRUE(layout.CanUndo());
    layout.Undo();
    EXPECT_FALSE(layout.IsModified()) << "undoing everything makes the layout unmodified";
    EXPECT_FALSE(layout.CanUndo());
    layout.modified = true;
    EXPECT_TRUE(layout.IsModified());
}

TEST(Undo, CurrentObjectFollowsItsRecordThroughUndo) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1, 1, 1);
    s.AddCircle(5, 5, 5, 1);
    s.undo->BeginStep();
    s.DeleteRecord(s.FirstRecord());
    Word* circle = s.FirstRecord();
    s.SetSelected(circle);
    s.SelectSingle(circle);
    s.undo->Undo();
    // Undo clears the selection, so no current object remains, and the
    // rectangle is back in front of the circle.
    EXPECT_EQ(s.CurrentObject(), nullptr);
    EXPECT_EQ(RecordKind(s.FirstRecord()), ObjectKind::Rectangle);
    EXPECT_EQ(s.statusText, "No selected objects");
}

TEST(Undo, ChangesAfterARecordMovedPastTheLastInsertedOneAreRecorded) {
    // P and Q lie in front of R, inserted in this step.  Growing P moves Q to
    // R's old offset; a change of Q must still be recorded.
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    s.AddRectangle(0, 0, 1, 1, 1);
    s.AddRectangle(10, 10, 11, 11, 1);
    const std::vector<Word> start = BufferOf(s);
    s.undo->BeginStep();
    s.AddCircle(5, 5, 5, 1);
    // P becomes a two-node wire of 10 words: Q moves from 5 to 10.
    const std::vector<Word> wire = {MakeHeader(10, 1, ObjectKind::Wire), 0, 0, 1, 1, 100, 0, 0, 1, 1};
    s.ReplaceRecord(s.FirstRecord(), wire.data());
    Word* q = s.NextRecord(s.FirstRecord());
    ASSERT_EQ(s.OffsetOf(q), 10);
    std::vector<Word> moved(q, q + 5);
    RectangleView(moved.data()).SetCorners({99, RectangleView(q).Corner1().Y}, RectangleView(q).Corner2());
    s.ReplaceRecord(q, moved.data());
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);
}

TEST(Undo, SnapshotStepsUndoAndRedoTheWholeBuffer) {
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    for (int k = 0; k < 50; ++k) s.AddRectangle(k, 0, k + 10, 10, 1 + k % 3);
    const std::vector<Word> start = BufferOf(s);
    s.undo->BeginStep();
    const int entries = s.undo->EntryCount();
    std::vector<Word> after;
    {
        UndoSnapshot snapshot(s);
        // Resizing and removing records one by one would record an entry each.
        s.DeleteRecord(s.FirstRecord());
        const std::vector<Word> wire = {MakeHeader(10, 2, ObjectKind::Wire), 0, 0, 1, 1, 100, 0, 0, 1, 1};
        s.ReplaceRecord(s.FirstRecord(), wire.data());
        s.AddCircle(5, 5, 5, 2);
        after = BufferOf(s);
    }
    EXPECT_EQ(s.undo->EntryCount(), entries + 1) << "one snapshot entry for the whole step";
    const int objects = s.objectCount;
    s.undo->Undo();
    EXPECT_EQ(BufferOf(s), start);
    EXPECT_EQ(s.objectCount, 50);
    ASSERT_TRUE(s.undo->CanRedo());
    s.undo->Redo();
    EXPECT_EQ(BufferOf(s), after);
    EXPECT_EQ(s.objectCount, objects);
    // Layer renumbering reaches the records stored in snapshots.
    s.undo->RemapLayer(1, 7);
    s.undo->Undo();
    int onSeven = 0;
    for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) onSeven += RecordLayer(r) == 7;
    EXPECT_EQ(onSeven, 17);

    // With recording off a snapshot records nothing and changes go ahead.
    s.undo->Clear();
    s.undo->SetRecording(false);
    {
        UndoSnapshot snapshot(s);
        s.DeleteRecord(s.FirstRecord());
    }
    EXPECT_EQ(s.undo->EntryCount(), 0);
    EXPECT_EQ(s.objectCount, 49);
}

TEST(Undo, RedoOfARestoredGroupClearsTheMemberBitsAgain) {
    // Undoing the deletion of a group head marks the records after it as
    // members again; redoing the deletion must take that back too.
    Layout layout;
    SymbolDescription& s = *layout.MainSymbol();
    Word* head = s.AddGroup(0, 0, 2, 2);
    SetMemberBit(s.AddRectangle(0, 0, 1, 1, 1), true);
    SetMemberBit(s.AddRectangle(2, 2, 3, 3, 1), true);
    (void)head;
    s.undo->BeginStep();
    // Break the group apart the plain way: the head goes, the members are
    // released without entries of their own.
    for (Word* r = s.NextRecord(s.FirstRecord()); r; r = s.NextRecord(r)) SetMemberBit(r, false);
    s.DeleteRecord(s.FirstRecord());
    ASSERT_EQ(s.objectCount, 2);
    const std::vector<Word> broken = BufferOf(s);
    s.undo->Undo();
    EXPECT_EQ(RecordKind(s.FirstRecord()), ObjectKind::Group);
    EXPECT_TRUE(IsMember(s.NextRecord(s.FirstRecord())));
    s.undo->Redo();
    EXPECT_EQ(BufferOf(s), broken);
}
