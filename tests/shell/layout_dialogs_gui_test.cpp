// The mask size, layer properties and number-of-levels dialogs driven through the main window
// under the offscreen platform: what OK leaves in the background, the layer
// table of the layout and the template for new layouts, and what a refused
// entry shows while the dialog stays open.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
#include "model/LayerDescription.h"
#include "model/ModelSettings.h"
#include "model/RecordViews.h"
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

// A new layout with layers 0 to 3 and a rectangle on layer 2.
class LayoutDialogsTest : public test::EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        form = MakeForm();
        window = form->NewLayout();
        layout = &window->Document();
        for (int i = 0; i <= 3; ++i)
            if (!layout->Layer(i)) layout->SetLayer(std::make_unique<LayerDescription>(i, ""));
        layout->MainSymbol()->AddRectangle(0, 0, 1000, 1000, 2);
        layout->modified = false;
        form->MainLayout().CopyLayersFrom(*layout);
        Refill();
    }
    // The panel shows the table as it is now.
    void Refill() { form->Command("ActionShowAllLayers")->trigger(); }

    void Run(const char* name) {
        form->UpdateCommands();
        QAction* action = form->Command(name);
        ASSERT_NE(action, nullptr) << name;
        ASSERT_TRUE(action->isEnabled()) << name;
        action->trigger();
    }
    // Runs a command whose dialogs the steps answer in turn; false when
    // fewer dialogs came.
    bool RunWith(const char* command, std::initializer_list<ModalAnswers::Step> steps) {
        ModalAnswers answers(steps);
        Run(command);
        return answers.Left() == 0;
    }

    std::unique_ptr<MainForm> form;
    LayoutWindow* window = nullptr;
    Layout* layout = nullptr;
};

ModalAnswers::Step Dialog(DialogStep step) {
    return [step](QWidget* w) { step(static_cast<QDialog*>(w)); };
}

// Picks the layer in the layer-selection dialog.
ModalAnswers::Step PickLayer(int index) {
    return Dialog([index](QDialog* d) {
        auto* combo = Child<QComboBox>(d, "LayerCombo");
        combo->setCurrentIndex(combo->findData(index));
        d->accept();
    });
}

void Press(QDialog* d) {
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted) << "the dialog refused what was typed";
    if (d->isVisible()) d->reject();
}

TEST_F(LayoutDialogsTest, MaskSizeShowsTheBackgroundAndStoresWhatOkLeaves) {
    Background& background = form->GetBackground();
    background.maskType = 3;
    background.customWidth = background.customHeight = 127000000;
    ASSERT_TRUE(RunWith("ActionLayoutMaskSize", {Dialog([](QDialog* d) {
                            EXPECT_EQ(d->windowTitle(), "Mask size...");
                            auto* type = Child<QComboBox>(d, "ComboMask");
                            auto* width = Child<QLineEdit>(d, "EditWidth");
                            auto* length = Child<QLineEdit>(d, "EditLength");
                            EXPECT_EQ(type->currentText(), "5 inch x 5 inch");
                            EXPECT_EQ(width->text(), "127000");
                            EXPECT_FALSE(width->isEnabled()) << "a standard plate has its size";
                            type->setCurrentIndex(1);
                            EXPECT_EQ(width->text(), "76200") << "choosing a plate shows its size";
                            EXPECT_EQ(length->text(), "76200");
                            type->setCurrentIndex(0);
                            EXPECT_TRUE(width->isEnabled());
                            width->setText("50000.5");
                            length->setText("60000");
                            Child<QCheckBox>(d, "CheckShowWafer")->setChecked(false);
                            Child<QCheckBox>(d, "CheckWarning")->setChecked(false);
                            Child<QComboBox>(d, "ComboWafer")->setCurrentIndex(5);
                            Press(d);
                        })}));
    EXPECT_EQ(background.maskType, 0);
    EXPECT_EQ(background.customWidth, 50000500);
    EXPECT_EQ(background.customHeight, 60000000);
    EXPECT_EQ(background.waferType, 5);
    EXPECT_FALSE(background.showWafer);
    EXPECT_FALSE(background.showWarning);
    EXPECT_FALSE(zandor::Settings().showMaskWarning) << "saving no longer warns";
    EXPECT_EQ(zandor::Settings().maskWidth, 50000500);

    form->SaveState();
    QSettings ini(config.path() + "/Korvat/Zandor/zandor.ini", QSettings::IniFormat);
    EXPECT_EQ(ini.value("Mask/Size").toInt(), 0);
    EXPECT_EQ(ini.value("Mask/HSize").toString(), "50001") << "kept as whole micrometres";
    EXPECT_EQ(ini.value("Mask/Wafer").toInt(), 5);
    EXPECT_EQ(ini.value("Mask/ShowWarning").toInt(), 0);
}

TEST_F(LayoutDialogsTest, MaskSizeRefusesSizesItCannotUseAndCancelKeepsAll) {
    const Background before = form->GetBackground();
    struct Case {
        const char* width;
        const char* length;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "1000", "'' is not a valid number"},
        {"abc", "1000", "'abc' is not a valid number"},
        {"1000", "0", "The mask size must be greater than 0."},
        {"-76200", "1000", "The mask size must be greater than 0."},
        {"3000000", "1000", "'3000000' is not a valid number"},
    };
    for (const Case& c : cases) {
        messages.messages.clear();
        ASSERT_TRUE(RunWith("ActionLayoutMaskSize", {Dialog([&c](QDialog* d) {
                                Child<QComboBox>(d, "ComboMask")->setCurrentIndex(0);
                                Child<QLineEdit>(d, "EditWidth")->setText(c.width);
                                Child<QLineEdit>(d, "EditLength")->setText(c.length);
                                d->accept();
                                EXPECT_TRUE(d->isVisible()) << c.width << " " << c.length << " was taken";
                                d->reject();
                            })}));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}})) << c.width;
    }
    const Background& after = form->GetBackground();
    EXPECT_EQ(after.maskType, before.maskType);
    EXPECT_EQ(after.customWidth, before.customWidth);
    EXPECT_EQ(after.customHeight, before.customHeight);
}

TEST_F(LayoutDialogsTest, LayerPropertiesChangeTheLayoutTheTemplateAndThePanel) {
    ASSERT_TRUE(RunWith("ActionLayoutLayerProperties",
                        {PickLayer(2), Dialog([](QDialog* d) {
                             EXPECT_EQ(d->windowTitle(), "Layer properties");
                             EXPECT_EQ(Child<QLineEdit>(d, "EditName")->text(), "Layer 2");
                             EXPECT_EQ(Child<QLineEdit>(d, "EditShortName")->text(), "L2");
                             EXPECT_EQ(Child<QLineEdit>(d, "EditGdsLayer")->text(), "2");
                             EXPECT_EQ(Child<QComboBox>(d, "ComboFillStyle")->currentText(), "Solid");
                             Child<QLineEdit>(d, "EditName")->setText("Metal 1");
                             Child<QLineEdit>(d, "EditShortName")->setText("CMF");
                             Child<QLineEdit>(d, "EditDataType")->setText("20");
                             Child<QRadioButton>(d, "RadioDarkField")->setChecked(true);
                             Child<QComboBox>(d, "ComboFillStyle")->setCurrentIndex(2);
                             Child<QComboBox>(d, "ComboOutlineStyle")->setCurrentIndex(1);
                             // The colour chooser opens over the dialog.
                             ModalAnswers chooser({[](QWidget* w) {
                                 auto* colors = qobject_cast<QColorDialog*>(w);
                                 ASSERT_NE(colors, nullptr);
                                 colors->setCurrentColor(QColor(255, 128, 0));
                                 colors->accept();
                             }});
                             Child<QPushButton>(d, "ButtonFillColor")->click();
                             EXPECT_EQ(chooser.Left(), 0u);
                             EXPECT_EQ(Child<QPushButton>(d, "ButtonFillColor")->text(), "#ff8000");
                             // The new index is asked for; a taken or wrong one is refused.
                             ModalAnswers index({test::Type("1"), test::Type("300"), test::Type("7")});
                             Child<QPushButton>(d, "ButtonChangeIndex")->click();
                             EXPECT_EQ(index.Left(), 0u);
                             EXPECT_EQ(Child<QLabel>(d, "LabelIndex")->text(), "7");
                             EXPECT_EQ(Child<QLineEdit>(d, "EditGdsLayer")->text(), "7")
                                 << "the GDSII number follows the slot";
                             Press(d);
                         })}));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Layer 1 already exists!", "Error"},
                                                               {"Value must be between 0 and 255", "Error"}}));
    EXPECT_EQ(layout->Layer(2), nullptr);
    const LayerDescription* layer = layout->Layer(7);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->name, "Metal 1");
    EXPECT_EQ(layer->shortName, "CMF");
    EXPECT_EQ(layer->dataType, 20u);
    EXPECT_EQ(layer->gdsLayer, -1);
    EXPECT_EQ(layer->polarity, 0);
    EXPECT_EQ(layer->fillStyle, FillCross);
    EXPECT_EQ(layer->outlineStyle, OutlineDash);
    EXPECT_EQ(layer->fillColor, 0x0080FFu) << "blue, green, red from the high byte down";
    EXPECT_EQ(RecordLayer(layout->MainSymbol()->FirstRecord()), 7) << "the objects move with their layer";
    EXPECT_TRUE(layout->modified);
    ASSERT_NE(form->MainLayout().Layer(7), nullptr);
    EXPECT_EQ(form->MainLayout().Layer(7)->name, "Metal 1") << "new layouts take the table";
    QStringList captions;
    for (int i = 0; i < form->LayerPanel().topLevelItemCount(); ++i)
        captions << form->LayerPanel().topLevelItem(i)->text(0);
    EXPECT_EQ(captions, (QStringList{"Layer 0", "Layer 1", "Layer 3", "Metal 1"}));
}

TEST_F(LayoutDialogsTest, LayerPropertiesRefuseNamesAndNumbersItCannotKeep) {
    layout->Layer(1)->name = "Poly";
    layout->Layer(1)->shortName = "CPG";
    struct Case {
        const char* field;
        const char* text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"EditName", "Poly", "Layer name already exists!"},
        {"EditName", "Metal (top)", "The layer name cannot contain the '(' or ')' characters!"},
        {"EditShortName", "CPG", "Short layer name already exists!"},
        {"EditShortName", "C)", "The layer name cannot contain the '(' or ')' characters!"},
        {"EditShortName", "A;B", "The short layer name must be one word without ';'."},
        {"EditShortName", "", "The short layer name must be one word without ';'."},
        {"EditGdsLayer", "x", "'x' is not a valid number"},
        {"EditGdsLayer", "70000", "The GDSII layer must be between 0 and 65535."},
        {"EditDataType", "-1", "The GDSII datatype must be between 0 and 65535."},
    };
    for (const Case& c : cases) {
        messages.messages.clear();
        ASSERT_TRUE(RunWith("ActionLayoutLayerProperties", {PickLayer(2), Dialog([&c](QDialog* d) {
                                                                Child<QLineEdit>(d, c.field)->setText(c.text);
                                                                d->accept();
                                                                EXPECT_TRUE(d->isVisible()) << c.text;
                                                                d->reject();
                                                            })}));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}})) << c.field << c.text;
    }
    EXPECT_EQ(layout->Layer(2)->name, "Layer 2");
    EXPECT_EQ(layout->Layer(2)->shortName, "L2");
    EXPECT_FALSE(layout->modified);

    // The layer's own names are not taken from it; the default short names
    // go to every layer.
    ASSERT_TRUE(
        RunWith("ActionLayoutLayerProperties", {PickLayer(1), Dialog([](QDialog* d) {
                                                    Child<QCheckBox>(d, "CheckDefaultShortNames")->setChecked(true);
                                                    Press(d);
                                                })}));
    EXPECT_EQ(layout->Layer(1)->name, "Poly");
    EXPECT_EQ(layout->Layer(1)->shortName, "L1");
}

TEST_F(LayoutDialogsTest, NumberOfLevelsTakesWholeNumbersUpToThirty) {
    struct Case {
        const char* typed;
        int levels;
        std::vector<RecordedMessage> shown;
    };
    const std::vector<Case> cases = {
        {"12", 12, {}}, {"abc", 12, {{"'abc' is not a valid number", "Error"}}}, {"-3", 12, {}}, {"0", 1, {}},
        {"99", 30, {}},
    };
    zandor::Settings().levels = 30;
    for (const Case& c : cases) {
        messages.messages.clear();
        ASSERT_TRUE(RunWith("ActionViewLevels", {test::Type(c.typed)}));
        EXPECT_EQ(zandor::Settings().levels, c.levels) << c.typed;
        EXPECT_EQ(messages.messages, c.shown) << c.typed;
    }
}

TEST_F(LayoutDialogsTest, ExportLayerWritesTheLayerPickedToTheTypeChosen) {
    layout->MainSymbol()->AddRectangle(5000, 5000, 6000, 6000, 1);
    const QString path = config.path() + "/metal";
    QStringList offered;
    ASSERT_TRUE(RunWith("ActionFileExportLayer", {PickLayer(2), Dialog([&](QDialog* d) {
                                                      auto* files = qobject_cast<QFileDialog*>(d);
                                                      ASSERT_NE(files, nullptr);
                                                      offered = files->nameFilters();
                                                      files->selectNameFilter("CIF files (*.cif)");
                                                      files->selectFile(path);
                                                      static_cast<QDialog*>(files)->accept();
                                                  })}));
    EXPECT_EQ(offered.value(0), "CIF files (*.cif)") << "the types are offered in their order";
    QFile written(path + ".cif");
    ASSERT_TRUE(written.open(QIODevice::ReadOnly)) << "the type's extension is added";
    const QString text = QString::fromLatin1(written.readAll());
    EXPECT_TRUE(text.contains("L L2;")) << text.toStdString();
    EXPECT_FALSE(text.contains("L L1;")) << "only the layer picked";
    EXPECT_FALSE(layout->modified) << "an export leaves the document as it was";

    // A typed extension names the type whatever the list shows.
    const QString typed = config.path() + "/typed.cif";
    ASSERT_TRUE(RunWith("ActionFileExportLayer", {PickLayer(2), Dialog([&](QDialog* d) {
                                                      auto* files = qobject_cast<QFileDialog*>(d);
                                                      files->selectNameFilter(files->nameFilters().last());
                                                      files->selectFile(typed);
                                                      static_cast<QDialog*>(files)->accept();
                                                  })}));
    QFile typedFile(typed);
    ASSERT_TRUE(typedFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(typedFile.readAll().contains("L L2;"));
}

TEST_F(LayoutDialogsTest, ReadLayerMapSaysOnceWhatIsWrongWithTheFile) {
    const QString path = config.path() + "/bad.map";
    QFile bad(path);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a layer map\n1 Poly/0f00ff00\n");
    bad.close();
    ASSERT_TRUE(RunWith("ActionFileReadLayermap", {Dialog([&](QDialog* d) {
                            auto* files = qobject_cast<QFileDialog*>(d);
                            ASSERT_NE(files, nullptr);
                            files->selectFile(path);
                            static_cast<QDialog*>(files)->accept();
                        })}));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Invalid layer map file.", "Error"}}));
    EXPECT_EQ(layout->Layer(1)->name, "Layer 1") << "the table is kept";
}

TEST_F(LayoutDialogsTest, DoubleClickOnALayerRowOpensItsProperties) {
    QTreeWidget& panel = form->LayerPanel();
    QTreeWidgetItem* row = panel.topLevelItem(3);
    ASSERT_NE(row, nullptr);
    const QRect place = panel.visualItemRect(row);
    QString opened;
    ModalAnswers answers({Dialog([&opened](QDialog* d) {
        opened = Child<QLabel>(d, "LabelIndex")->text();
        d->reject();
    })});
    const QPoint at(place.left() + 80, place.center().y());
    // The first click of a double click arrives as a click of its own.
    QTest::mouseClick(panel.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(panel.viewport(), Qt::LeftButton, {}, at);
    for (int i = 0; i < 100 && answers.Left() > 0; ++i) QTest::qWait(10);
    EXPECT_EQ(opened, "3");
    EXPECT_EQ(layout->Layer(3)->name, "Layer 3") << "cancel changes nothing";
}

}  // namespace
int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
