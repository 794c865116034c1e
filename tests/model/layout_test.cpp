#include "model/Layout.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;

TEST(Layout, NewLayoutHasARecordingMainSymbol) {
    Layout layout;
    SymbolDescription* main = layout.MainSymbol();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->Id(), -1);
    EXPECT_EQ(main->Name(), "MainSymbol");
    EXPECT_TRUE(main->undo->IsRecording());
    EXPECT_EQ(layout.ShownSymbolDescription(), main);
    EXPECT_FALSE(layout.IsModified());
    EXPECT_EQ(layout.NextSymbolId(), 1);

    layout.Clear();
    EXPECT_EQ(layout.Symbols().size(), 1u);
    EXPECT_FALSE(layout.MainSymbol()->undo->IsRecording()) << "a load switches recording on when it ends";
}

TEST(Layout, AddFindAndDeleteSymbols) {
    Layout layout;
    SymbolDescription* a = layout.AddSymbol(3, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->undo->IsRecording());
    EXPECT_EQ(layout.AddSymbol(3, "B"), nullptr) << "same id";
    EXPECT_EQ(layout.AddSymbol(4, "A"), nullptr) << "same name";
    EXPECT_NE(layout.AddSymbol(4, "a"), nullptr) << "names compare exactly";
    SymbolDescription* odd = layout.AddSymbol(10, "x(y)");
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->Name(), "") << "a name with parentheses is left out";
    EXPECT_EQ(layout.Symbols().back().get(), odd);

    EXPECT_EQ(layout.FindSymbol(3), a);
    EXPECT_EQ(layout.FindSymbol(-1), layout.MainSymbol());
    EXPECT_EQ(layout.FindSymbol(5), nullptr);
    EXPECT_EQ(layout.FindSymbolByName("A"), a);
    EXPECT_EQ(layout.FindSymbolByName("B"), nullptr);
    EXPECT_EQ(layout.NextSymbolId(), 11);

    EXPECT_TRUE(layout.DeleteSymbol(10));
    EXPECT_FALSE(layout.DeleteSymbol(10));
    EXPECT_EQ(layout.NextSymbolId(), 5);
    EXPECT_EQ(layout.FindSymbol(10), nullptr);

    EXPECT_TRUE(layout.SetSymbolId(*a, 20));
    EXPECT_EQ(layout.FindSymbol(20), a);
    EXPECT_EQ(layout.FindSymbol(3), nullptr);
    EXPECT_FALSE(layout.SetSymbolId(*a, 4)) << "taken";
    EXPECT_EQ(layout.NextSymbolId(), 21);
}

TEST(Layout, MakeMainSymbolReplacesTheOldMain) {
    Layout layout;
    SymbolDescription* top = layout.AddSymbol(1, "top");
    top->AddRectangle(0, 0, 5, 5, 1);
    layout.MainSymbol()->InsertSymbolCall(1, 0, 0);
    layout.MakeMainSymbol(*top);
    EXPECT_EQ(layout.MainSymbol(), top);
    EXPECT_EQ(top->Id(), -1);
    EXPECT_EQ(layout.FindSymbol(-1), top);
    EXPECT_EQ(layout.FindSymbol(1), nullptr);
    EXPECT_EQ(layout.Symbols().size(), 1u);
}

TEST(Layout, FileTypesByExtension) {
    struct Case {
        const char* name;
        FileType type;
    };
    const Case cases[] = {
        {"chip.cif", FileCif},     {"chip.Cif", FileCif},     {"/a.b/chip.GDS", FileGds},
        {"x.dxf", FileDxf},        {"x.emk", FileEmk},        {"x.dwm", FileMann},
        {"x.MAN", FileMann},       {"x.gbr", FileGerber},     {"board.GTL", FileGerber},
        {"board.gbl", FileGerber}, {"board.gto", FileGerber}, {"board.gbo", FileGerber},
        {"board.gts", FileGerber}, {"board.gbs", FileGerber}, {"board.gko", FileGerber},
        {"board.gm1", FileGerber}, {"board.gbx", FileGerber}, {"board.pho", FileGerber},
        {"board.art", FileGerber}, {"board.grb", FileGerber}, {"x.tap", FileDrill},
        {"board.DRL", FileDrill},  {"board.xln", FileDrill},  {"board.gtl.txt", FileUnknown},
        {"board.gm", FileUnknown}, {"gtl", FileUnknown},      {"x.msk", FileMsk},
        {"x.txt", FileUnknown},    {"noext", FileUnknown},    {"dir.cif/file", FileUnknown},
    };
    for (const Case& c : cases) EXPECT_EQ(FileTypeOf(c.name), c.type) << c.name;
}

// A type without a registered writer (here every type: the model alone
// registers none) is refused with a message, and nothing is written.
TEST(Layout, SavingATypeWithoutAWriterSaysSo) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "zandor-layout-save-test";
    std::filesystem::create_directories(folder);
    for (const FileType type : {FileCif, FileDxf, FileEmk, FileGerber, FileUnknown}) {
        Layout layout;
        layout.MainSymbol()->AddRectangle(0, 0, 10, 10, 0);
        layout.modified = true;
        const std::string name = (folder / "saved.out").string();
        platform::headless::ScopedMessageCapture messages;
        EXPECT_FALSE(layout.Save(name, type)) << type;
        EXPECT_EQ(
            messages.messages,
            (std::vector<platform::headless::RecordedMessage>{{"Saving this file type is not supported yet", "Error"}}))
            << type;
        EXPECT_FALSE(std::filesystem::exists(name)) << type;
        EXPECT_TRUE(layout.fileName.empty()) << type;
        EXPECT_TRUE(layout.IsModified()) << type;
    }
    std::filesystem::remove_all(folder);
}

TEST(Layout, DeviceMappingFlipsY) {
    Layout layout;
    layout.view.xmin = -1000;
    layout.view.ymax = 2000;
    layout.view.sx = layout.view.sy = 0.01;
    std::int32_t x = 50, y = 1950;
    layout.view.WorldToScreen(x, y);
    EXPECT_EQ(x, 11);  // 10.5 rounds away from zero
    EXPECT_EQ(y, 1);   // 0.5 rounds away from zero
}

TEST(LayerDescription, DefaultsAndNormalisation) {
    LayerDescription plain(17, "");
    EXPECT_EQ(plain.name, "Layer 17");
    EXPECT_EQ(plain.shortName, "L17");
    EXPECT_EQ(plain.fillColor, 0xE08080u);
    EXPECT_EQ(plain.outlineColor, 0xE08080u);
    EXPECT_EQ(plain.fillStyle, FillSolid);
    EXPECT_EQ(plain.polarity, 1);
    EXPECT_EQ(plain.visible, 1);

    LayerDescription odd(2, "Poly", 0x123456, -5, 9, 7, 3, 0);
    EXPECT_EQ(odd.outlineColor, 0x123456u) << "a negative outline colour takes the fill colour";
    EXPECT_EQ(odd.fillStyle, FillSolid);
    EXPECT_EQ(odd.outlineStyle, OutlineSolid);
    EXPECT_EQ(odd.dataType, 3u);

    odd.shortName = "PO";
    odd.locked = 1;
    LayerDescription copy(40, odd);
    EXPECT_EQ(copy.index, 40);
    EXPECT_EQ(copy.shortName, "PO");
    EXPECT_EQ(copy.locked, 1);
    EXPECT_EQ(copy.name, "Poly");
}
