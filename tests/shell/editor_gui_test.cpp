// The editor window under the offscreen platform: opening files, zooming and
// panning with the mouse and the keys, layer visibility, symbols from the
// tree, settings across a restart, and drawing passes that give up for input.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <memory>

#include "formats/AllFormats.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/LayoutView.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "shell/RulerPanel.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using platform::headless::ScopedMessageCapture;

namespace {

const QString kDemo = QStringLiteral(ZANDOR_SOURCE_DIR "/examples/demo.cif");

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        saved = zandor::Settings();
    }
    void TearDown() override { zandor::Settings() = saved; }

    std::unique_ptr<MainForm> MakeForm() {
        auto form = std::make_unique<MainForm>(false);
        form->resize(1000, 700);
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return form;
    }
    static Rect Visible(const Layout& l) { return {l.view.xmin, l.view.ymin, l.view.xmax, l.view.ymax}; }

    QTemporaryDir config;
    ScopedMessageCapture messages;
    ModelSettings saved;
};

TEST_F(EditorTest, OpeningFilesAndTheirRefusals) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), kDemo);
    EXPECT_EQ(form->LayoutWindows().size(), 1);
    EXPECT_GT(form->LayerPanel().topLevelItemCount(), 3) << "the panel shows the file's layers";

    EXPECT_EQ(form->OpenFile(kDemo), nullptr);
    EXPECT_EQ(form->OpenFile("/no/such/file.cif"), nullptr);
    EXPECT_EQ(form->LayoutWindows().size(), 1);
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{
                                     {"File is already open", "Error"},
                                     {"The file:\n/no/such/file.cif\ndoes not exist!", "Error"}}));

    // A quoted name with a blank in it opens without its quotes.
    const QString spaced = config.path() + "/with blank.cif";
    ASSERT_TRUE(QFile::copy(kDemo, spaced));
    EXPECT_NE(form->OpenFile("\"" + spaced + "\""), nullptr);

    // A file that cannot be read gives the reader's message and no window.
    const QString broken = config.path() + "/broken.gds";
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a stream");
    file.close();
    messages.messages.clear();
    EXPECT_EQ(form->OpenFile(broken), nullptr);
    EXPECT_EQ(form->LayoutWindows().size(), 2);
    EXPECT_FALSE(messages.messages.empty());
}

TEST_F(EditorTest, ZoomAndPanWithTheMouseAndTheKeys) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    ASSERT_TRUE(view.RenderNow());
    Layout& layout = view.Document();
    const Rect initial = Visible(layout);
    const double scale = layout.view.sx;

    form->SetMode(2);
    const QPoint at(view.width() / 3, view.height() / 3);
    const Point under = view.Viewport().ScreenToWorld(at.x(), at.y());
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_NEAR(layout.view.sx, 2 * scale, scale * 1e-3) << "a click doubles the scale";
    const Point now = view.Viewport().ScreenToWorld(at.x(), at.y());
    EXPECT_NEAR(now.X, under.X, 2 / layout.view.sx);
    EXPECT_NEAR(now.Y, under.Y, 2 / layout.view.sy);

    // A right drag pans: the content follows the pointer.
    const Rect zoomed = Visible(layout);
    QTest::mousePress(&view, Qt::RightButton, Qt::NoModifier, QPoint(200, 200));
    QTest::mouseMove(&view, QPoint(150, 220));
    QTest::mouseRelease(&view, Qt::RightButton, Qt::NoModifier, QPoint(100, 240));
    EXPECT_GT(layout.view.xmin, zoomed.minx);
    EXPECT_GT(layout.view.ymin, zoomed.miny);

    // The keys: "-" goes back through the zoom levels, F4 shows everything.
    QTest::keyClick(form.get(), Qt::Key_Minus);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_EQ(Visible(layout).maxx - Visible(layout).minx, initial.maxx - initial.minx);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at);
    QTest::keyClick(form.get(), Qt::Key_F4);
    ASSERT_TRUE(view.RenderNow());
    layout.MainSymbol()->EnsureBounds();
    const Rect box = layout.MainSymbol()->Bounds();
    EXPECT_TRUE(layout.view.xmin <= box.minx && layout.view.xmax >= box.maxx && layout.view.ymin <= box.miny)
        << "zoom all shows the whole symbol";

    // The wheel zooms about the pointer.
    const double before = layout.view.sx;
    QWheelEvent wheel(QPointF(at), view.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &wheel);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_NEAR(layout.view.sx, 2 * before, before * 1e-3);

    // Space returns to the mode before, and back again.
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 0);
    QTest::keyClick(form.get(), Qt::Key_Space);
    EXPECT_EQ(form->Mode(), 2);
}

TEST_F(EditorTest, HidingALayerRemovesItsColourFromTheView) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    const int marks = layout.FindLayerByName("Alignment marks");
    ASSERT_GE(marks, 0);
    const std::uint32_t c = layout.Layer(marks)->fillColor;
    const QRgb colour = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    const auto countColour = [&] {
        int n = 0;
        const QImage& image = view.BackBuffer();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
        return n;
    };
    ASSERT_TRUE(view.RenderNow());
    ASSERT_GT(countColour(), 0);

    QTreeWidget& panel = form->LayerPanel();
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < panel.topLevelItemCount(); ++i)
        if (panel.topLevelItem(i)->data(0, Qt::UserRole).toInt() == marks) row = panel.topLevelItem(i);
    ASSERT_NE(row, nullptr);
    const QRect rect = panel.visualItemRect(row);
    QTest::mouseClick(panel.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(rect.left() + 20, rect.center().y()));
    EXPECT_EQ(layout.Layer(marks)->visible, 0);
    ASSERT_TRUE(view.RenderNow());
    EXPECT_EQ(countColour(), 0);
}

TEST_F(EditorTest, TheTreeOpensSymbolsEachWithItsOwnView) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    Layout& layout = window->Document();
    QTreeWidget& tree = window->SymbolTree();
    const auto found = tree.findItems("TestCell", Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    tree.setCurrentItem(found.first());
    ASSERT_NE(layout.ShownSymbolDescription(), nullptr);
    EXPECT_EQ(layout.ShownSymbolDescription()->Name(), "TestCell");
    ASSERT_TRUE(window->View().RenderNow());

    window->BuildSymbolTree(false);
    EXPECT_EQ(tree.topLevelItemCount(), static_cast<int>(layout.Symbols().size())) << "the list shows every symbol";
    EXPECT_EQ(tree.currentItem()->text(0), "TestCell");
}

TEST_F(EditorTest, SymbolNamesAreCheckedWhenRenamed) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->RenameSymbol("TestCell", "a(b"));
    EXPECT_FALSE(window->RenameSymbol("TestCell", "AlignMark"));
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"A symbol name cannot contain the '(' or ')' characters!", "Error"},
                                            {"Symbol name already exists!", "Error"}}));
    EXPECT_EQ(window->SymbolTree().findItems("TestCell", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);

    EXPECT_TRUE(window->RenameSymbol("TestCell", "Test structure"));
    EXPECT_NE(window->Document().FindSymbolByName("Test structure"), nullptr);
    EXPECT_EQ(window->SymbolTree().findItems("Test structure", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);

    // A symbol that others call is not deleted.
    messages.messages.clear();
    window->BuildSymbolTree(false);
    EXPECT_FALSE(window->DeleteSymbolDefinition("AlignMark"));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{
                                     {"This symbol is called by other symbols and cannot be deleted.", "Warning"}}));
    EXPECT_NE(window->Document().FindSymbolByName("AlignMark"), nullptr);
}

TEST_F(EditorTest, ScrollingStopsAtTheWorldsEdgeAndGuidelinesComeFromTheRulers) {
    auto form = MakeForm();
    LayoutWindow* window = form->OpenFile(kDemo);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->View().RenderNow());
    Layout& layout = window->Document();
    for (int i = 0; i < 5000 && layout.view.ymax < 2000000000; ++i) window->SymbolPanelKey(Qt::Key_Up);
    EXPECT_EQ(layout.view.ymax, 2000000000);
    window->SymbolPanelKey(Qt::Key_Up);
    EXPECT_EQ(layout.view.ymax, 2000000000);
    window->SymbolPanelKey(Qt::Key_Home);
    ASSERT_TRUE(window->View().RenderNow());

    // Pressing on the horizontal ruler makes a vertical guideline that
    // follows the pointer; released outside the ruler's range it goes.
    RulerPanel& ruler = window->HorizontalRuler();
    const SymbolDescription* shown = layout.ShownSymbolDescription();
    const auto x = [&](int pixel) { return form->GetGrid().SnapValue(ruler.ValueAt(pixel)); };
    QTest::mousePress(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(100, 5));
    ASSERT_EQ(shown->vGuides.size(), 1u);
    QTest::mouseMove(&ruler, QPoint(150, 5));
    QTest::mouseRelease(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(150, 5));
    EXPECT_EQ(shown->vGuides, (std::vector<std::int32_t>{x(150)}));
    QTest::mousePress(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(200, 5));
    QTest::mouseMove(&ruler, QPoint(-400, 5));
    QTest::mouseRelease(&ruler, Qt::LeftButton, Qt::NoModifier, QPoint(-400, 5));
    EXPECT_EQ(shown->vGuides, (std::vector<std::int32_t>{x(150)}));
}

TEST_F(EditorTest, TheEditModeSelectsByClickAndRectangleAndEscapeDeselects) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    Layout& layout = view.Document();
    SymbolDescription* main = layout.MainSymbol();
    main->AddRectangle(0, 0, 100000, 50000, 0);
    main->AddRectangle(200000, 0, 300000, 50000, 0);
    ASSERT_TRUE(view.RenderNow());
    view.Viewport().ZoomBack();  // room around the objects
    ASSERT_TRUE(view.RenderNow());
    form->SetMode(0);
    // A click on the first rectangle's corner toggles it.
    std::int32_t px = 0, py = 0;
    layout.view.WorldToScreen(px, py);
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(px, py));
    EXPECT_EQ(main->selectedCount, 1);
    EXPECT_TRUE(form->StatusText(0).startsWith("Rectangle")) << form->StatusText(0).toStdString();
    // A rectangle around everything adds both.
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    QTest::mouseMove(&view, QPoint(view.width() / 2, view.height() / 2));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, QPoint(view.width() - 2, view.height() - 2));
    EXPECT_EQ(main->selectedCount, 2);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_EQ(main->selectedCount, 0);
    EXPECT_EQ(form->StatusText(0), "No selected objects");
}

TEST_F(EditorTest, SettingsSurviveARestart) {
    {
        auto form = MakeForm();
        form->Command("ActionViewFill")->trigger();
        form->Command("ActionViewBkBlack")->trigger();
        form->GetGrid().GridPlus();
        form->close();
    }
    EXPECT_TRUE(QFile::exists(config.path() + "/Korvat/Zandor/zandor.ini"));
    EXPECT_TRUE(QFile::exists(config.path() + "/Korvat/Zandor/layers.map"));
    zandor::Settings() = saved;
    auto form = MakeForm();
    EXPECT_FALSE(form->Settings().fill);
    EXPECT_TRUE(form->Settings().backgroundBlack);
    EXPECT_TRUE(zandor::Settings().backgroundBlack) << "the drawing code reads them";
    EXPECT_EQ(form->GetGrid().Spacing(), 2000000);
    EXPECT_FALSE(form->Command("ActionViewFill")->isChecked());
}

TEST_F(EditorTest, SettingsAreClampedAsRead) {
    QDir().mkpath(config.path() + "/Korvat/Zandor");
    QFile ini(config.path() + "/Korvat/Zandor/zandor.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Settings]\nLevels=0\nRingNumSegments=8\nMaxPolyNodes=100000\nWireThickness=0.5\nTextAngle=400000\n"
              "[Gbr]\nUnits=MM\nD10=\"100,100,S\"\nD11=*\n");
    ini.close();
    auto form = MakeForm();
    const ShellSettings& s = form->Settings();
    EXPECT_EQ(s.levels, 1);
    EXPECT_EQ(s.ringNumSegments, 16);
    EXPECT_EQ(s.maxPolyNodes, 32768);
    EXPECT_EQ(s.wireThickness, 1000);
    EXPECT_EQ(s.textAngle, 0);
    EXPECT_TRUE(s.gerber.millimetres);
    EXPECT_TRUE(s.gerber.apertures[0].defined && s.gerber.apertures[0].square && s.gerber.apertures[0].a == 100);
    EXPECT_FALSE(s.gerber.apertures[1].defined);

    // Written back in the stored forms.
    form->close();
    QSettings written(config.path() + "/Korvat/Zandor/zandor.ini", QSettings::IniFormat);
    EXPECT_EQ(written.value("Gbr/Units").toString(), "MM");
    EXPECT_EQ(written.value("Gbr/D10").toString(), "100,100,S");
    EXPECT_EQ(written.value("Gbr/D12").toString(), "*");
    EXPECT_EQ(written.value("Settings/WireThickness").toString(), "1");
    EXPECT_EQ(written.value("Tap/Integers").toString(), "2");
}

TEST_F(EditorTest, AnUnusableSettingsFileLeavesTheDefaults) {
    QDir().mkpath(config.path() + "/Korvat/Zandor/zandor.ini");  // a folder where the file should be
    auto form = MakeForm();
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Unable to open or create configuration file.", "Warning"}}));
    EXPECT_TRUE(form->Settings().fill);
    EXPECT_EQ(form->Settings().levels, 30);
    EXPECT_GE(form->MainLayout().LayerCount(), 1) << "a missing layers.map gives the default layer table";
}

TEST_F(EditorTest, AMalformedSettingsFileIsLeftAloneAndTheDefaultsApply) {
    for (const QByteArray& content : {QByteArray("[Settings\nLevels=3\n"), QByteArray("\x01\x02[Settings]\nFill=0\n", 18)}) {
        QDir().mkpath(config.path() + "/Korvat/Zandor");
        QFile ini(config.path() + "/Korvat/Zandor/zandor.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(content);
        ini.close();
        messages.messages.clear();
        {
            auto form = MakeForm();
            EXPECT_EQ(messages.messages,
                      (std::vector<RecordedMessage>{{"Unable to open or create configuration file.", "Warning"}}));
            EXPECT_TRUE(form->Settings().fill);
            EXPECT_EQ(form->Settings().levels, 30);
            form->close();
        }
        ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
        EXPECT_EQ(ini.readAll(), content) << "the file is not overwritten";
        ini.close();
    }
}

TEST_F(EditorTest, ADrawingPassGivesUpWhenAKeyIsPressed) {
    auto form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    LayoutView& view = window->View();
    SymbolDescription* main = view.Document().MainSymbol();
    for (int i = 0; i < 200000; ++i) main->AddRectangle(i * 10, 0, i * 10 + 5000, 5000, 0);
    ASSERT_TRUE(view.RenderNow());
    QKeyEvent* press = new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QCoreApplication::postEvent(&view, press);
    EXPECT_FALSE(view.RenderNow()) << "the pass saw the key and stopped";
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.RenderNow());
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
