// The Mann and EMK options dialogs driven through Export layer... under the
// offscreen platform: what they show, the presets a coordinate or unit
// system brings, refused entries, and what OK leaves in the settings and the
// file written.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
#include "formats/flash/FlashOptions.h"
#include "model/LayerDescription.h"
#include "model/SymbolDescription.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "support/EditorFixture.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using test::Child;
using test::ModalAnswers;

namespace {

using DialogStep = std::function<void(QDialog*)>;

ModalAnswers::Step Dialog(DialogStep step) {
    return [step](QWidget* w) { step(static_cast<QDialog*>(w)); };
}

QString Text(QDialog* d, const char* name) { return Child<QLineEdit>(d, name)->text(); }
void Type(QDialog* d, const char* name, const QString& text) { Child<QLineEdit>(d, name)->setText(text); }

// A layout with a 10 um square on layer 1; the flash settings restored
// afterwards.
class FlashDialogsTest : public test::EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        savedFlash = FlashSettings();
        form = MakeForm();
        window = form->NewLayout();
        layout = &window->Document();
        if (!layout->Layer(1)) layout->SetLayer(std::make_unique<LayerDescription>(1, ""));
        layout->MainSymbol()->AddRectangle(0, 0, 10000, 10000, 1);
    }
    void TearDown() override {
        form.reset();
        FlashSettings() = savedFlash;
        EditorFixture::TearDown();
    }

    // Export layer 1 to `file` with the filter, the options dialog answered
    // by `options`; false when a dialog did not come.
    bool Export(const QString& filter, const QString& file, DialogStep options) {
        ModalAnswers answers({Dialog([](QDialog* d) {
                                  auto* combo = Child<QComboBox>(d, "LayerCombo");
                                  combo->setCurrentIndex(combo->findData(1));
                                  d->accept();
                              }),
                              Dialog([filter, file](QDialog* d) {
                                  auto* files = qobject_cast<QFileDialog*>(d);
                                  ASSERT_NE(files, nullptr);
                                  files->selectNameFilter(filter);
                                  files->selectFile(file);
                                  d->accept();
                              }),
                              Dialog(options)});
        form->UpdateCommands();
        form->Command("ActionFileExportLayer")->trigger();
        return answers.Left() == 0;
    }
    QString Path(const char* name) const { return config.path() + "/" + name; }

    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;
    Layout* layout = nullptr;
    FlashOptionSettings savedFlash;
};

void Press(QDialog* d) {
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted) << "the dialog refused what was typed";
    if (d->isVisible()) d->reject();
}

TEST_F(FlashDialogsTest, MannOptionsShowPresetsAndGoIntoTheSettings) {
    FlashSettings().mann = MannOptions{};
    const QString file = Path("square.man");
    ASSERT_TRUE(Export("Mann files (*.dwm *.man)", file, [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Mann options");
        EXPECT_TRUE(Child<QRadioButton>(d, "RadioSingleQuadrant")->isChecked());
        EXPECT_TRUE(Child<QRadioButton>(d, "RadioEnglish")->isChecked());
        EXPECT_EQ(Text(d, "EditMaxCoordinate"), "4");
        EXPECT_EQ(Text(d, "EditResolution"), "0.25") << "small lengths show in mils";
        EXPECT_EQ(Text(d, "EditMaxFlash"), "120");
        auto* blocks = Child<QCheckBox>(d, "CheckBlocks");
        auto* breaks = Child<QCheckBox>(d, "CheckLineBreaks");
        EXPECT_TRUE(blocks->isChecked());
        EXPECT_FALSE(breaks->isEnabled()) << "blocks have no line breaks";
        blocks->setChecked(false);
        EXPECT_TRUE(breaks->isEnabled());
        breaks->setChecked(true);
        Type(d, "EditScale", "2");
        Child<QRadioButton>(d, "RadioFourQuadrant")->setChecked(true);
        Child<QRadioButton>(d, "RadioMetric")->setChecked(true);
        const std::vector<std::pair<const char*, QString>> preset = {{"EditMinCoordinate", "-75"},
                                                                     {"EditMaxCoordinate", "75"},
                                                                     {"EditResolution", "0.1"},
                                                                     {"EditMinFlash", "2"},
                                                                     {"EditMaxFlash", "1500"},
                                                                     {"EditFlashResolution", "0.5"},
                                                                     {"EditScale", "2"}};
        for (const auto& [name, text] : preset) EXPECT_EQ(Text(d, name), text) << name;
        Press(d);
    }));
    const MannOptions& mann = FlashSettings().mann;
    EXPECT_FALSE(mann.singleQuadrant);
    EXPECT_TRUE(mann.metric);
    EXPECT_DOUBLE_EQ(mann.scale, 2);
    EXPECT_DOUBLE_EQ(mann.resolution, 0.0001) << "kept in mm";
    EXPECT_DOUBLE_EQ(mann.maxFlash, 1.5);
    EXPECT_FALSE(mann.blocks);
    EXPECT_TRUE(mann.lineBreaks);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.contains("T360M")) << text.toStdString();

    form->SaveState();
    QSettings ini(config.path() + "/Korvat/Zandor/zandor.ini", QSettings::IniFormat);
    EXPECT_EQ(ini.value("Mann/Mann1600").toString(), "0");
    EXPECT_EQ(ini.value("Mann/Metric").toString(), "1");
    EXPECT_EQ(ini.value("Mann/MinStep").toString(), "0.0001");
    EXPECT_EQ(ini.value("Mann/InsertHeader").toString(), "0");
}

TEST_F(FlashDialogsTest, MannOptionsRefuseWhatTheWriterCannotUse) {
    struct Case {
        const char* field;
        const char* text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"EditScale", "0", "The scaling factor must be greater than 0."},
        {"EditResolution", "x", "'x' is not a valid number"},
        {"EditResolution", "-1", "The resolution must be greater than 0."},
        {"EditMaxFlash", "0.1", "The maximum flash size must be at least the resolution and the minimum flash size."},
        {"EditMinCoordinate", "9", "The maximum coordinate must lie above the minimum."},
        {"EditAngleResolution", "100", "The angle resolution must lie between 0.001 and 90 degrees."},
    };
    const QString file = Path("refused.man");
    for (const Case& c : cases) {
        messages.messages.clear();
        ASSERT_TRUE(Export("Mann files (*.dwm *.man)", file, [&c](QDialog* d) {
            Type(d, c.field, c.text);
            d->accept();
            EXPECT_TRUE(d->isVisible()) << c.field << " " << c.text;
            d->reject();
        }));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}})) << c.field << c.text;
    }
    EXPECT_FALSE(QFile::exists(file)) << "a cancelled export writes nothing";
}

TEST_F(FlashDialogsTest, EmkOptionsConvertTheirUnitsAndRefuseAZeroUnit) {
    FlashSettings().emk = EmkOptions{};
    const QString file = Path("square.emk");
    messages.messages.clear();
    ASSERT_TRUE(Export("EMK files (*.emk)", file, [](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "EMK Options...");
        EXPECT_EQ(Text(d, "EditMinFlash"), "2.54");
        Child<QRadioButton>(d, "RadioMils")->setChecked(true);
        EXPECT_EQ(Text(d, "EditMinFlash"), "0.1");
        EXPECT_EQ(Text(d, "EditMaxFlash"), "60");
        Child<QRadioButton>(d, "RadioUm")->setChecked(true);
        EXPECT_EQ(Text(d, "EditMaxFlash"), "1524");
        Type(d, "EditUnit", "0");
        d->accept();
        EXPECT_TRUE(d->isVisible());
        Type(d, "EditUnit", "0.1");
        Press(d);
    }));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unit must be a positive value", "Error"}}));
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.startsWith("<"));
    EXPECT_TRUE(text.contains("X50Y50W100V100U0S")) << text.left(80).toStdString();
    EXPECT_EQ(text.size() % 800, 0);
}

TEST_F(FlashDialogsTest, OpeningAMannFileAsksForItsUnitsWithoutBlocks) {
    const QString file = Path("read.man");
    QFile text(file);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("\"T360M\"\nX0.01Y0.02W0.004H0.006;\nX-0.01;\n$\n");
    text.close();
    LayoutWindow* opened = nullptr;
    {
        ModalAnswers answers({Dialog([](QDialog* d) {
            EXPECT_TRUE(Child<QRadioButton>(d, "RadioFourQuadrant")->isChecked()) << "the dialect of the file";
            EXPECT_TRUE(Child<QRadioButton>(d, "RadioMetric")->isChecked());
            EXPECT_FALSE(Child<QCheckBox>(d, "CheckBlocks")->isVisibleTo(d)) << "a file being read has no blocks";
            Press(d);
        })});
        opened = form->OpenFile(file);
        EXPECT_EQ(answers.Left(), 0u);
    }
    ASSERT_NE(opened, nullptr);
    const SymbolDescription* main = opened->Document().MainSymbol();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->objectCount, 2);
    EXPECT_NE(opened->Document().Layer(0), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
