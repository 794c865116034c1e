// The layout document's file operations, through the CIF format.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "formats/AllFormats.h"
#include "model/DocumentDialogs.h"
#include "model/Layout.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"
#include "support/ScratchTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

class Document : public zandor::test::ScratchTest {
protected:
    void SetUp() override {
        ScratchTest::SetUp();
        RegisterFileFormats();
    }
    std::string Write(const std::string& name, const std::string& text) const { return WriteFile(name, text); }
    static std::string Read(const std::string& path) { return ReadFile(path); }
};

// Answers the main-symbol question with a fixed choice and remembers it.
class ScriptedDialogs : public DocumentDialogs {
public:
    explicit ScriptedDialogs(int choice) : choice_(choice), previous_(SetDocumentDialogs(this)) {}
    ~ScriptedDialogs() override { SetDocumentDialogs(previous_); }
    bool SaveAs(std::string&, FileType&, SaveOptions&) override { return false; }
    int ChooseMainSymbol(const std::vector<std::string>& candidates) override {
        asked = candidates;
        return choice_;
    }
    std::vector<std::string> asked;

private:
    int choice_;
    DocumentDialogs* previous_;
};

}  // namespace

TEST_F(Document, UnknownTypesAndMissingFiles) {
    Layout layout;
    ScopedMessageCapture messages;
    EXPECT_FALSE(layout.Load(Path("absent.cif")));
    EXPECT_TRUE(messages.messages.empty()) << "a missing file does nothing";
    EXPECT_FALSE(layout.Load(Write("mask.msk", "E")));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unknown file format", "Error"}}));
    // The extension test ignores case.
    messages.messages.clear();
    EXPECT_TRUE(layout.Load(Write("chip.Cif", "L CMF; B 10 10 0 0;\nE")));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(layout.fileType, FileCif);
    EXPECT_EQ(layout.MainSymbol()->objectCount, 1);
    EXPECT_FALSE(layout.IsModified());
    EXPECT_TRUE(layout.MainSymbol()->undo->IsRecording());
}

TEST_F(Document, OwnFilesReopenWithTheirMainSymbol) {
    Layout layout;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 10, 10, 0);
    layout.MainSymbol()->InsertSymbolCall(1, 100, 0);
    layout.MainSymbol()->AddCircle(0, 0, 50, 0);
    layout.SetLayer(std::make_unique<LayerDescription>(0, "base"));
    const std::string file = Path("own.cif");
    ASSERT_TRUE(layout.Save(file, FileCif));

    Layout reopened;
    ASSERT_TRUE(reopened.Load(file));
    ASSERT_EQ(reopened.Symbols().size(), 2u) << "no extra symbol is left behind";
    EXPECT_EQ(reopened.MainSymbol()->Id(), -1);
    EXPECT_EQ(reopened.MainSymbol()->Name(), "MainSymbol");
    EXPECT_TRUE(SymbolDescription::SameDefinition(*reopened.MainSymbol(), *layout.MainSymbol()));
}

TEST_F(Document, ChooseMainSymbolCases) {
    struct Case {
        const char* what;
        std::string cif;
        bool window;
        int choice;
        const char* expectedMain;
        std::vector<std::string> asked;
    };
    const std::string twoTops = "DS 1 1 10; 9 a; L X; B 2 2 0 0; DF; DS 2 1 10; 9 b; L X; B 4 4 0 0; DF; E";
    const Case cases[] = {
        {"one top-level call without transform", "DS 5 1 10; 9 top; L X; B 2 2 0 0; DF; C 5; E", false, 0, "top", {}},
        {"a call with a translation stays in the main symbol",
         "DS 5 1 10; 9 top; L X; B 2 2 0 0; DF; C 5 T 1 0; E",
         false,
         0,
         "MainSymbol",
         {}},
        {"a symbol named Zandor Main wins",
         "DS 1 1 10; 9 Zandor~Main; L X; B 2 2 0 0; DF; DS 2 1 10; 9 other; DF; E",
         true,
         0,
         "Zandor Main",
         {}},
        {"one unused symbol",
         "DS 1 1 10; 9 leaf; L X; B 2 2 0 0; DF; DS 2 1 10; 9 top; C 1; DF; E",
         false,
         0,
         "top",
         {}},
        {"two unused symbols without a window: the first", twoTops, false, 1, "a", {}},
        {"two unused symbols in a window: the dialog asks", twoTops, true, 1, "b", {"a", "b"}},
        {"the dialog cancelled", twoTops, true, -1, "MainSymbol", {"a", "b"}},
    };
    for (const Case& c : cases) {
        ScriptedDialogs dialogs(c.choice);
        Layout layout(c.window ? LayoutRole::Window : LayoutRole::Detached);
        ScopedMessageCapture messages;
        ASSERT_TRUE(layout.Load(Write("choose.cif", c.cif))) << c.what;
        EXPECT_EQ(layout.MainSymbol()->Name(), c.expectedMain) << c.what;
        EXPECT_EQ(layout.MainSymbol()->Id(), -1) << c.what;
        EXPECT_EQ(dialogs.asked, c.asked) << c.what;
        EXPECT_TRUE(messages.messages.empty()) << c.what;
    }
}

TEST_F(Document, SaveUnderItsOwnNameAndExports) {
    Layout layout;
    SymbolDescription* leaf = layout.AddSymbol(1, "leaf");
    leaf->AddRectangle(0, 0, 10, 10, 0);
    layout.MainSymbol()->undo->BeginStep();
    layout.MainSymbol()->InsertSymbolCall(1, 0, 0);
    ASSERT_TRUE(layout.IsModified());

    // A flattened save is an export: the file is written, the document keeps
    // its state.
    Settings().saveOptions.flatten = true;
    EXPECT_FALSE(layout.Save(Path("flat.cif"), FileCif));
    EXPECT_TRUE(layout.lastSaveWroteFile);
    EXPECT_TRUE(layout.fileName.empty());
    EXPECT_TRUE(layout.IsModified());
    EXPECT_EQ(Read(Path("flat.cif")).find("9 leaf;"), std::string::npos);

    // A cancelled save-as changes nothing.
    EXPECT_FALSE(layout.Save("", FileUnknown));
    EXPECT_FALSE(layout.lastSaveWroteFile);

    Settings().saveOptions = {};
    ASSERT_TRUE(layout.Save(Path("chip.cif"), FileCif));
    EXPECT_EQ(layout.fileName, Path("chip.cif"));
    EXPECT_FALSE(layout.IsModified());
    EXPECT_FALSE(layout.MainSymbol()->undo->CanUndo()) << "saving clears the undo lists";

    // Saving under the document's own name writes the whole hierarchy even
    // when the last chosen options flattened an export.
    Settings().saveOptions.flatten = true;
    layout.MainSymbol()->AddCircle(0, 0, 5, 0);
    ASSERT_TRUE(layout.Save("", FileUnknown));
    EXPECT_NE(Read(Path("chip.cif")).find("9 leaf;"), std::string::npos);
    EXPECT_TRUE(Settings().saveOptions.flatten) << "the remembered options stay as chosen";

    // A layer alone.
    EXPECT_FALSE(layout.ExportLayer(0, "", ExportCif));
    ASSERT_TRUE(layout.ExportLayer(0, Path("layer0.cif"), ExportCif));
    EXPECT_EQ(layout.fileName, Path("chip.cif"));
    EXPECT_FALSE(layout.ExportLayer(0, Path("layer0.ps"), ExportPostScript)) << "no such writer yet";
}

TEST_F(Document, MaskWarningAfterSaving) {
    Settings().maskWidth = 2000;
    Settings().maskHeight = 2000;
    struct Case {
        std::int32_t maxx;
        bool warned;
    };
    for (const Case& c : {Case{1000, false}, Case{1001, true}}) {
        Layout layout;
        layout.MainSymbol()->AddRectangle(-1000, -1000, c.maxx, 1000, 0);
        ScopedMessageCapture messages;
        ASSERT_TRUE(layout.Save(Path("mask.cif"), FileCif));
        const std::vector<RecordedMessage> expected =
            c.warned
                ? std::vector<RecordedMessage>{{"The layout contains objects outside the mask dimensions!", "Warning"}}
                : std::vector<RecordedMessage>{};
        EXPECT_EQ(messages.messages, expected) << c.maxx;
    }
    Settings().showMaskWarning = false;
    Layout layout;
    layout.MainSymbol()->AddRectangle(-5000, 0, 0, 0, 0);
    ScopedMessageCapture messages;
    ASSERT_TRUE(layout.Save(Path("mask.cif"), FileCif));
    EXPECT_TRUE(messages.messages.empty());
}
