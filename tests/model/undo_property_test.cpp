// Randomised check of the undo list: seeded sequences of editing steps on the
// main symbol, each undone again, must give back the record buffer word for
// word as it was at every step boundary.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/Layout.h"
#include "model/ObjectRecord.h"
#include "model/SymbolDescription.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

namespace zandor {
namespace {

using platform::headless::ScopedMessageCapture;

// The main symbol's buffer as the undo list must restore it.
struct Snapshot {
    std::vector<Word> words;  // [objects, objects + usedWords], terminator included
    std::int32_t usedWords = 0;
    std::int32_t objectCount = 0;
};

Snapshot Take(const SymbolDescription& s) {
    Snapshot shot;
    shot.usedWords = s.usedWords;
    shot.objectCount = s.objectCount;
    // An empty symbol may have no buffer yet; it reads as the terminator alone.
    if (s.Words() == nullptr) {
        shot.words = {0};
    } else {
        shot.words.assign(s.Words(), s.Words() + s.usedWords + 1);
    }
    return shot;
}

std::string Hex(Word w) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(w));
    return text;
}

::testing::AssertionResult SameBuffer(const Snapshot& expected, const Snapshot& actual) {
    if (expected.usedWords != actual.usedWords || expected.objectCount != actual.objectCount) {
        return ::testing::AssertionFailure()
               << "usedWords " << actual.usedWords << " (expected " << expected.usedWords << "), objectCount "
               << actual.objectCount << " (expected " << expected.objectCount << ")";
    }
    for (std::size_t i = 0; i < expected.words.size(); ++i) {
        if (expected.words[i] != actual.words[i]) {
            return ::testing::AssertionFailure() << "first difference at word " << i << ": " << Hex(actual.words[i])
                                                 << " (expected " << Hex(expected.words[i]) << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

// Records that tile the buffer up to its terminator, with known kinds, the
// counted number of records, and heads followed by as many members as they
// count.
::testing::AssertionResult WellFormed(const SymbolDescription& s) {
    std::int32_t offset = 0, records = 0, membersDue = 0;
    const Word* words = s.Words();
    while (words && offset < s.usedWords) {
        const Word* r = words + offset;
        const int kind = static_cast<int>(RecordKind(r));
        if (RecordLength(r) < 3 || kind < 1 || kind > 13) {
            return ::testing::AssertionFailure() << "bad header " << Hex(r[0]) << " at word " << offset;
        }
        if (IsMember(r) != (membersDue > 0)) {
            return ::testing::AssertionFailure() << "member bit out of place at word " << offset;
        }
        if (membersDue > 0) --membersDue;
        // Nested heads are counted by the outer head already.
        if (IsHead(r) && !IsMember(r)) membersDue = MemberCount(r);
        offset += RecordLength(r);
        ++records;
    }
    if (membersDue != 0) return ::testing::AssertionFailure() << membersDue << " members missing at the end";
    if (offset != s.usedWords || (words && words[offset] != 0)) {
        return ::testing::AssertionFailure() << "records end at word " << offset << ", usedWords " << s.usedWords;
    }
    if (records != s.objectCount) {
        return ::testing::AssertionFailure() << records << " records, objectCount " << s.objectCount;
    }
    return ::testing::AssertionSuccess();
}

LOGFONTA TestFont() {
    LOGFONTA font;
    font.lfHeight = -12;
    font.lfWeight = 400;
    std::strcpy(font.lfFaceName, "Sans");
    return font;
}

TransformMatrix Placement(double degrees, double sx, double sy, bool mirror, double tx, double ty) {
    const double t = degrees * kPi / 180.0;
    const double my = mirror ? -sy : sy;
    return {sx * std::cos(t), sx * std::sin(t), -my * std::sin(t), my * std::cos(t), tx, ty};
}

// Drives random editing steps on the main symbol of a layout that also holds
// three filled symbols for the calls to refer to.
class UndoScenario {
public:
    explicit UndoScenario(std::uint32_t seed) : rng(seed), main(layout.MainSymbol()) {
        SymbolDescription* a = layout.AddSymbol(1, "cellA");
        a->AddRectangle(0, 0, 4000, 2000, 1);
        a->AddCircle(1000, 1000, 500, 2);
        const Point wire[] = {{0, 0}, {3000, 0}, {3000, 3000}};
        a->AddWire(wire, 3, 200, 0, 3);
        SymbolDescription* b = layout.AddSymbol(2, "cellB");
        const Point poly[] = {{-500, -500}, {500, -500}, {0, 800}};
        b->AddPolygon(poly, 3, 4);
        b->InsertSymbolCall(1, 10000, 0);
        SymbolDescription* c = layout.AddSymbol(3, "cellC");
        c->AddRectangle(-100, -100, 100, 100, 5);
        c->InsertArray(1, {0, 0}, {20000, 0}, {0, 12000}, 4, 3, 1.0, 0.0);
        for (SymbolDescription* s : {a, b, c}) s->undo->SetRecording(true);

        // Some records to delete and change from the first step on; their
        // creation is not part of what is undone.
        main->AddRectangle(-5000, -5000, 5000, 5000, 1);
        AddTextWithGlyphs(false, 3);
        AddGroupWithMembers();
        main->InsertSymbolCall(2, 30000, 30000);
        main->undo->Clear();
    }

    SymbolDescription& Main() { return *main; }

    int Uniform(int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<std::uint32_t>(hi - lo + 1)); }
    bool Chance(int percent) { return Uniform(0, 99) < percent; }
    std::int32_t Coord() { return Uniform(-200000, 200000); }
    int LayerIndex() { return Uniform(0, 20); }
    Point RandomPoint() { return {Coord(), Coord()}; }
    std::vector<Point> RandomPoints(int n) {
        std::vector<Point> points(static_cast<std::size_t>(n));
        for (Point& p : points) p = RandomPoint();
        return points;
    }
    std::string RandomText() {
        std::string text(static_cast<std::size_t>(Uniform(0, 11)), ' ');
        for (char& ch : text) ch = static_cast<char>('A' + Uniform(0, 25));
        return text;
    }
    std::int32_t CalledId() { return Uniform(1, 3); }

    // One editing step with 1-4 operations; returns what it did, for the
    // failure messages.
    std::string Step() {
        main->undo->BeginStep();
        std::string log;
        const int operations = Uniform(1, 4);
        for (int k = 0; k < operations; ++k) {
            log += Operation() + "; ";
            EXPECT_TRUE(WellFormed(*main)) << log;
        }
        return log;
    }

    // A record of a kind without members.
    Word* AddSimple(std::string& log, bool member) {
        Word* r = nullptr;
        switch (Uniform(0, 11)) {
            case 0:
                r = main->AddRectangle(Coord(), Coord(), Coord(), Coord(), LayerIndex());
                log += "rectangle";
                break;
            case 1:
                r = main->AddBox(Coord(), Coord(), Uniform(1, 50000), Uniform(1, 50000), Uniform(-3600, 3600) / 10.0,
                                 LayerIndex());
                log += "box";
                break;
            case 2: {
                const auto points = RandomPoints(Uniform(0, 9));
                r = main->AddPolygon(points.data(), int(points.size()), LayerIndex());
                log += "polygon" + std::to_string(points.size());
                break;
            }
            case 3: {
                const auto points = RandomPoints(Uniform(1, 7));
                const int style = Uniform(0, 2);
                r = main->AddWire(points.data(), int(points.size()), Uniform(0, 5000), style, LayerIndex());
                log += "wire(style " + std::to_string(style) + ")";
                break;
            }
            case 4:
                r = main->AddCircle(Coord(), Coord(), Uniform(-10, 40000), LayerIndex());
                log += "circle";
                break;
            case 5:
                r = main->AddRing(Coord(), Coord(), Uniform(0, 40000), Uniform(0, 9000), LayerIndex());
                log += "ring";
                break;
            case 6:
            case 7: {
                const Point centre = RandomPoint();
                const Point start{centre.X + Uniform(-30000, 30000), centre.Y + Uniform(-30000, 30000)};
                // Start and end coincide now and then: that makes a ring.
                const Point end =
                    Chance(25) ? start : Point{centre.X + Uniform(-30000, 30000), centre.Y + Uniform(-30000, 30000)};
                const bool clockwise = Chance(50);
                r = main->AddArcWire(centre.X, centre.Y, start.X, start.Y, end.X, end.Y,
                                     MakeArcWidthWord(Uniform(0, 3000), Uniform(0, 2), clockwise), LayerIndex());
                log += std::string(start == end ? "arc wire as ring" : "arc wire") + (clockwise ? " cw" : " ccw");
                break;
            }
            case 8:
                r = main->InsertSymbolCall(CalledId(), Coord(), Coord());
                log += "call";
                break;
            case 9: {
                static constexpr double kAngles[] = {0, 90, 180, 270, 30, 45, -60};
                const TransformMatrix m = Placement(kAngles[Uniform(0, 6)], Uniform(1, 8) * 0.5, Uniform(1, 8) * 0.5,
                                                    Chance(50), Coord(), Coord());
                r = main->InsertSymbolCallMatrix(CalledId(), m);
                log += "call with matrix";
                break;
            }
            case 10: {
                static constexpr double kMagnifications[] = {1, -1, 2, 0.5, -1.5};
                const Point origin = RandomPoint();
                r = main->InsertArray(CalledId(), origin,
                                      {origin.X + Uniform(-90000, 90000), origin.Y + Uniform(-500, 500)},
                                      {origin.X + Uniform(-500, 500), origin.Y + Uniform(-90000, 90000)}, Uniform(1, 6),
                                      Uniform(1, 6), kMagnifications[Uniform(0, 4)], Uniform(-4, 4) * 45.0);
                log += "array";
                break;
            }
            default: {
                // A copy of a plain record of one of the other symbols.
                SymbolDescription* source = layout.FindSymbol(CalledId());
                const Word* from = source->FirstRecord();
                for (int skip = Uniform(0, 2); skip > 0 && source->NextRecord(from); --skip) {
                    from = source->NextRecord(from);
                }
                r = main->InsertCopy(from, *source);
                log += "copy of " + std::string(KindLabel(RecordKind(from)));
                break;
            }
        }
        EXPECT_NE(r, nullptr) << log;
        if (r && member) SetMemberBit(r, true);
        return r;
    }

    // A text and its glyph polygons.
    void AddTextWithGlyphs(bool member, int glyphs) {
        const Point at = RandomPoint();
        Word* head = main->AddText(at.X, at.Y, glyphs, RandomText(), Uniform(100, 5000), TestFont(), LayerIndex());
        EXPECT_NE(head, nullptr);
        if (head && member) SetMemberBit(head, true);
        for (int g = 0; g < glyphs; ++g) {
            const auto outline = RandomPoints(Uniform(3, 8));
            Word* glyph = main->AddPolygon(outline.data(), int(outline.size()), LayerIndex());
            EXPECT_NE(glyph, nullptr);
            if (glyph) SetMemberBit(glyph, true);
        }
    }

    // A group of plain records, possibly with a text and a group nested in it.
    // w3 counts every member record, w4 only the direct members.
    std::string AddGroupWithMembers() {
        enum class Member { Plain, Text, Group };
        std::vector<Member> plan;
        for (int k = Uniform(0, 4); k > 0; --k) plan.push_back(Member::Plain);
        if (Chance(60)) plan.insert(plan.begin() + Uniform(0, int(plan.size())), Member::Text);
        if (Chance(40)) plan.insert(plan.begin() + Uniform(0, int(plan.size())), Member::Group);
        // Glyphs of the text, members of the inner group.
        std::vector<int> inner(plan.size(), 0);
        int total = 0;
        for (std::size_t k = 0; k < plan.size(); ++k) {
            if (plan[k] != Member::Plain) inner[k] = Uniform(0, 3);
            total += 1 + inner[k];
        }
        std::string log;
        const Point at = RandomPoint();
        EXPECT_NE(main->AddGroup(at.X, at.Y, total, int(plan.size())), nullptr);
        for (std::size_t k = 0; k < plan.size(); ++k) {
            switch (plan[k]) {
                case Member::Plain: AddSimple(log, true); break;
                case Member::Text:
                    AddTextWithGlyphs(true, inner[k]);
                    log += "text of " + std::to_string(inner[k]);
                    break;
                case Member::Group: {
                    Word* nested = main->AddGroup(Coord(), Coord(), inner[k], inner[k]);
                    EXPECT_NE(nested, nullptr);
                    if (nested) SetMemberBit(nested, true);
                    for (int m = 0; m < inner[k]; ++m) AddSimple(log, true);
                    log += "group of " + std::to_string(inner[k]);
                    break;
                }
            }
            log += ",";
        }
        return "group of " + std::to_string(plan.size()) + "/" + std::to_string(total) + " [" + log + "]";
    }

    std::string AddScriptWithMembers() {
        const int generated = Uniform(0, 4);
        const Point at = RandomPoint();
        Word* head = main->AddScript(at.X, at.Y, generated, generated, 100, "for i=1,3 do\r\nrect(i)\r\nend",
                                     Uniform(100, 2000), TestFont(), LayerIndex());
        EXPECT_NE(head, nullptr);
        std::string log;
        for (int k = 0; k < generated; ++k) {
            AddSimple(log, true);
            log += ",";
        }
        return "script generating " + std::to_string(generated) + " [" + log + "]";
    }

    // Offsets of the records that are no member of a head.
    std::vector<std::int32_t> TopLevelOffsets() {
        std::vector<std::int32_t> offsets;
        for (Word* r = main->FirstRecord(); r; r = main->NextObject(r)) offsets.push_back(main->OffsetOf(r));
        return offsets;
    }

    // New contents for a record: moved, reshaped or with another length.
    std::vector<Word> Modified(const Word* r) {
        std::vector<Word> words(r, r + RecordLength(r));
        const std::int32_t dx = Uniform(-1000, 1000), dy = Uniform(-1000, 1000);
        switch (RecordKind(r)) {
            case ObjectKind::Rectangle:
            case ObjectKind::Measurement: words[1] += dx, words[2] += dy, words[3] += dx, words[4] += dy; break;
            case ObjectKind::Box: words[5] = Uniform(-360000, 360000); break;
            case ObjectKind::Polygon: {
                const auto nodes = RandomPoints(Uniform(0, 12));
                words.resize(kPolygonBaseLength + 2 * nodes.size());
                SetRecordLength(words.data(), int(words.size()));
                words[1] = words[2] = words[3] = words[4] = 0;
                if (!nodes.empty()) std::memcpy(words.data() + 5, nodes.data(), nodes.size() * sizeof(Point));
                break;
            }
            case ObjectKind::Wire:
                words[5] = MakeWireWidthWord(Uniform(0, 9000), Uniform(0, 2));
                if (Chance(50)) {
                    const auto nodes = RandomPoints(Uniform(1, 10));
                    words.resize(kWireBaseLength + 2 * nodes.size());
                    SetRecordLength(words.data(), int(words.size()));
                    std::memcpy(words.data() + 6, nodes.data(), nodes.size() * sizeof(Point));
                }
                break;
            case ObjectKind::Circle: words[3] = Uniform(0, 50000); break;
            case ObjectKind::Ring: words[4] = Uniform(0, 9000); break;
            case ObjectKind::ArcWire:
                words[7] ^= static_cast<Word>(kSelectedBit);  // the other direction
                break;
            case ObjectKind::Text: {
                const std::string text = RandomText();
                words.resize(static_cast<std::size_t>(TextRecordLength(int(text.size()))));
                SetRecordLength(words.data(), int(words.size()));
                words.back() = 0;
                words[kTextLengthWord] = int(text.size());
                std::memcpy(words.data() + kTextCharsWord, text.data(), text.size());
                break;
            }
            case ObjectKind::Script: {
                const std::string text = RandomText() + "\r\n" + RandomText();
                words.resize(static_cast<std::size_t>(ScriptRecordLength(int(text.size()))));
                SetRecordLength(words.data(), int(words.size()));
                words.back() = 0;
                words[kScriptLengthWord] = int(text.size());
                std::memcpy(words.data() + kScriptCharsWord, text.data(), text.size());
                break;
            }
            case ObjectKind::Group: words[1] += dx, words[2] += dy; break;
            case ObjectKind::SymbolCall:
                WriteMatrix(words.data() + kCallMatrixWord, Placement(90, 1, 1, Chance(50), Coord(), Coord()));
                break;
            case ObjectKind::SymbolArray:
                words[6] = Uniform(1, 9);
                words[7] = Uniform(1, 9);
                WriteDouble(words.data() + 16, Uniform(0, 7) * 45.0);
                break;
        }
        return words;
    }

    // A record that is no member of a head; half of the time one of the last
    // few, where this step's insertions and their neighbours are.
    Word* PickTopLevel() {
        const auto offsets = TopLevelOffsets();
        if (offsets.empty()) return nullptr;
        const int last = int(offsets.size()) - 1;
        const int k = Chance(50) ? Uniform(std::max(0, last - 3), last) : Uniform(0, last);
        return main->RecordAt(offsets[std::size_t(k)]);
    }

    std::string Operation() {
        const int choice = Uniform(0, 19);
        std::string log;
        if (choice <= 7) {
            AddSimple(log, false);
            return log;
        }
        switch (choice) {
            case 8:
            case 9: {
                const int glyphs = Uniform(0, 4);
                AddTextWithGlyphs(false, glyphs);
                return "text of " + std::to_string(glyphs);
            }
            case 10: return AddScriptWithMembers();
            case 11:
            case 12: return AddGroupWithMembers();
            case 13: {
                // A refused call must leave neither a record nor an entry.
                ScopedMessageCapture messages;
                EXPECT_EQ(main->InsertSymbolCall(-1, 0, 0), nullptr);
                EXPECT_EQ(messages.messages.size(), 1u);
                return "refused call";
            }
            case 14: {
                // A duplicate of a record of this very symbol, members included.
                const Word* from = PickTopLevel();
                if (!from) return "nothing to duplicate";
                const std::string what(KindLabel(RecordKind(from)));
                EXPECT_NE(main->InsertCopy(from, *main), nullptr) << what;
                return "duplicate of " + what;
            }
            case 15:
            case 16: {
                Word* r = PickTopLevel();
                if (!r) return "nothing to delete";
                const std::string what(KindLabel(RecordKind(r)));
                main->DeleteRecord(r);
                return "delete " + what;
            }
            case 17:
            case 18: {
                Word* r = PickTopLevel();
                if (!r) return "nothing to change";
                const std::vector<Word> words = Modified(r);
                EXPECT_NE(main->ReplaceRecord(r, words.data()), nullptr);
                return "change " + std::string(KindLabel(RecordKind(words.data())));
            }
            default: {
                // Changes of records made earlier in this step: the one made
                // last, and one made before another insertion.
                Word* first = AddSimple(log, false);
                if (!first || IsHead(first)) return log;
                const std::int32_t firstOffset = main->OffsetOf(first);
                log += " changed";
                std::vector<Word> words = Modified(first);
                EXPECT_NE(main->ReplaceRecord(first, words.data()), nullptr);
                log += ", then ";
                Word* second = AddSimple(log, false);
                if (!second) return log;
                words = Modified(main->RecordAt(firstOffset));
                EXPECT_NE(main->ReplaceRecord(main->RecordAt(firstOffset), words.data()), nullptr);
                log += ", first changed again";
                return log;
            }
        }
    }

private:
    std::mt19937 rng;
    Layout layout;
    SymbolDescription* main;
};

// Steps done and not yet undone, each with the buffer from before it.
struct History {
    std::vector<Snapshot> before;
    std::vector<std::string> what;
};

void DoSteps(UndoScenario& scenario, History& history, int count) {
    for (int k = 0; k < count; ++k) {
        history.before.push_back(Take(scenario.Main()));
        history.what.push_back(scenario.Step());
    }
}

void UndoSteps(UndoScenario& scenario, History& history, int count) {
    for (int k = 0; k < count && !history.before.empty(); ++k) {
        ASSERT_TRUE(scenario.Main().undo->CanUndo());
        scenario.Main().undo->Undo();
        ASSERT_TRUE(SameBuffer(history.before.back(), Take(scenario.Main())))
            << "after undoing step " << history.before.size() - 1 << ": " << history.what.back();
        history.before.pop_back();
        history.what.pop_back();
    }
}

class UndoProperty : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(UndoProperty, EveryUndoRestoresTheBufferOfItsStepBoundary) {
    const std::uint32_t seed = GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed));
    UndoScenario scenario(seed);
    const Snapshot initial = Take(scenario.Main());
    History history;
    DoSteps(scenario, history, 300);
    UndoSteps(scenario, history, 300);
    EXPECT_FALSE(scenario.Main().undo->CanUndo());
    EXPECT_TRUE(SameBuffer(initial, Take(scenario.Main())));
}

TEST_P(UndoProperty, UndoInterleavedWithNewSteps) {
    const std::uint32_t seed = GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed));
    UndoScenario scenario(seed);
    const Snapshot initial = Take(scenario.Main());
    History history;
    DoSteps(scenario, history, 5);
    UndoSteps(scenario, history, 2);
    DoSteps(scenario, history, 3);
    // Then a longer random mix of both.
    for (int round = 0; round < 40; ++round) {
        DoSteps(scenario, history, scenario.Uniform(1, 6));
        UndoSteps(scenario, history, scenario.Uniform(0, 4));
        if (::testing::Test::HasFatalFailure()) return;
    }
    UndoSteps(scenario, history, int(history.before.size()));
    EXPECT_FALSE(scenario.Main().undo->CanUndo());
    EXPECT_TRUE(SameBuffer(initial, Take(scenario.Main())));
}

// Undo all steps, then redo them all: each redo must give back the buffer as
// it was after its step, and undo must work again after the redos.
TEST_P(UndoProperty, RedoReplaysEveryUndoneStep) {
    const std::uint32_t seed = GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed));
    UndoScenario scenario(seed);
    SymbolDescription& main = scenario.Main();
    const Snapshot initial = Take(main);
    std::vector<Snapshot> after;
    std::vector<std::string> what;
    for (int k = 0; k < 200; ++k) {
        what.push_back(scenario.Step());
        after.push_back(Take(main));
    }
    for (int k = 0; k < 200; ++k) main.undo->Undo();
    ASSERT_TRUE(SameBuffer(initial, Take(main)));
    for (std::size_t k = 0; k < after.size(); ++k) {
        ASSERT_TRUE(main.undo->CanRedo());
        main.undo->Redo();
        ASSERT_TRUE(SameBuffer(after[k], Take(main))) << "after redoing step " << k << ": " << what[k];
    }
    EXPECT_FALSE(main.undo->CanRedo());
    // Undo once more, redo half-way, then a new step: the rest cannot be redone.
    for (int k = 0; k < 50; ++k) main.undo->Undo();
    ASSERT_TRUE(SameBuffer(after[149], Take(main)));
    for (int k = 0; k < 20; ++k) main.undo->Redo();
    ASSERT_TRUE(SameBuffer(after[169], Take(main)));
    const Snapshot beforeNew = Take(main);
    scenario.Step();
    EXPECT_FALSE(main.undo->CanRedo());
    main.undo->Undo();
    EXPECT_TRUE(SameBuffer(beforeNew, Take(main)));
}

// Found by seed 3: duplicating a text within its own symbol read the head and
// its glyphs from the old buffer after appending had moved it.
TEST(UndoCases, DuplicateOfATextWithinItsSymbolWhileTheBufferGrows) {
    Layout layout;
    SymbolDescription& main = *layout.MainSymbol();
    main.AddText(100, 200, 4, "GLYPH", 1000, TestFont(), 7);
    for (int g = 0; g < 4; ++g) {
        const Point outline[] = {{g * 10, 0}, {g * 10 + 8, 0}, {g * 10 + 8, 9}, {g * 10, 9}};
        SetMemberBit(main.AddPolygon(outline, 4, 7), true);
    }
    const std::vector<Word> text(main.Words(), main.Words() + main.usedWords);
    const int textWords = main.usedWords;
    // Most likely taken from the heap right behind the buffer, so that growing
    // the buffer moves it (with the sanitizers it always moves).
    const auto behindTheBuffer = std::make_unique<Word[]>(4096);
    // Fill the buffer so that already the copy of the head has to grow it.
    const int headWords = RecordLength(main.FirstRecord());
    while (main.capacity - main.usedWords - 1 >= headWords) main.AddRectangle(0, 0, 10, 10, 1);
    main.undo->Clear();
    const Snapshot before = Take(main);
    const std::int32_t oldCapacity = main.capacity;

    main.undo->BeginStep();
    Word* copy = main.InsertCopy(main.FirstRecord(), main);
    ASSERT_NE(copy, nullptr);
    ASSERT_GT(main.capacity, oldCapacity) << "the copy did not make the buffer grow";
    EXPECT_EQ(std::vector<Word>(copy, copy + textWords), text);
    EXPECT_TRUE(WellFormed(main));

    main.undo->Undo();
    EXPECT_TRUE(SameBuffer(before, Take(main)));
    EXPECT_FALSE(main.undo->CanUndo());
}

INSTANTIATE_TEST_SUITE_P(Seeds, UndoProperty, ::testing::Values(1u, 2u, 3u, 4242u, 20240611u, 0xC0FFEEu),
                         [](const auto& info) { return "seed" + std::to_string(info.param); });

}  // namespace
}  // namespace zandor
