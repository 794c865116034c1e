// The Gerber and drill options dialogs under the offscreen platform, asked
// the way the writers and readers ask them: what they show, what OK leaves
// in the settings and the settings file, the aperture table's units and
// conversions, refused entries, and Cancel; and the open dialog's Gerber and
// drill types.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "formats/AllFormats.h"
#include "formats/drill/DrillOptions.h"
#include "formats/gerber/GerberOptions.h"
#include "model/FileFormats.h"
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
bool Checked(QDialog* d, const char* name) { return Child<QRadioButton>(d, name)->isChecked(); }
void Check(QDialog* d, const char* name) { Child<QRadioButton>(d, name)->setChecked(true); }
QString Shape(QDialog* d, int code) {
    return Child<QComboBox>(d, qPrintable(QString("ShapeD%1").arg(code)))->currentText();
}
void SetShape(QDialog* d, int code, const char* shape) {
    Child<QComboBox>(d, qPrintable(QString("ShapeD%1").arg(code)))->setCurrentText(shape);
}
QString Size(QDialog* d, int code) { return Text(d, qPrintable(QString("EditD%1").arg(code))); }
void SetSize(QDialog* d, int code, const QString& text) { Type(d, qPrintable(QString("EditD%1").arg(code)), text); }
void SetUnit(QDialog* d, const char* unit) { Child<QComboBox>(d, "UnitCombo")->setCurrentText(unit); }

// OK, which must close the dialog.
void Press(QDialog* d) {
    d->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted) << "the dialog refused what was typed";
    if (d->isVisible()) d->reject();
}

// Opens the aperture table from the options dialog and answers it.
void EditApertures(QDialog* options, DialogStep step) {
    ModalAnswers answers({Dialog(step)});
    Child<QPushButton>(options, "ButtonApertures")->click();
    EXPECT_EQ(answers.Left(), 0u) << "the aperture table did not open";
}

bool SameOptions(const GerberOptions& a, const GerberOptions& b) {
    return a.integers == b.integers && a.decimals == b.decimals && a.millimetres == b.millimetres &&
           a.endOfBlock == b.endOfBlock && a.parameterDelimiter == b.parameterDelimiter && a.fill == b.fill &&
           a.apertures == b.apertures;
}

class PlotDialogsTest : public test::EditorFixture {
protected:
    void SetUp() override {
        EditorFixture::SetUp();
        GerberSettings() = GerberOptions{};
        DrillSettings() = DrillOptions{};
    }
    void TearDown() override {
        form.reset();
        EditorFixture::TearDown();
    }

    // The settings file the editor starts from.
    void StoreSettings(const char* text) {
        QDir().mkpath(config.path() + "/Korvat/Zandor");
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(text);
    }
    QString IniPath() const { return config.path() + "/Korvat/Zandor/zandor.ini"; }
    QString Stored(const char* key) const { return QSettings(IniPath(), QSettings::IniFormat).value(key).toString(); }

    // Asks the Gerber options the way a writer does, from the settings; the
    // dialog answered by step.  False when it did not come.
    bool AskGerber(DialogStep step, bool* confirmed = nullptr) {
        ModalAnswers answers({Dialog(step)});
        GerberOptions options = GerberSettings();
        const bool yes = AskGerberOptions(options);
        if (confirmed) *confirmed = yes;
        if (yes) {
            EXPECT_TRUE(SameOptions(options, GerberSettings())) << "the asker gets what was stored";
        }
        return answers.Left() == 0;
    }
    bool AskDrill(DialogStep step, bool* confirmed = nullptr) {
        ModalAnswers answers({Dialog(step)});
        DrillOptions options = DrillSettings();
        const bool yes = AskDrillOptions(options, DrillDialogUse::Write);
        if (confirmed) *confirmed = yes;
        return answers.Left() == 0;
    }

    std::unique_ptr<MainForm> form;
};

TEST_F(PlotDialogsTest, GerberOptionsShowTheStoredValuesAndOkStoresThem) {
    StoreSettings("[Gbr]\nIntegers=2\nDecimals=5\nUnits=MM\nEndOfBlock=$\nParDelim=!\nPolygons=1\n");
    form = MakeForm();
    bool confirmed = false;
    ASSERT_TRUE(AskGerber(
        [](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), "Gerber RS-274X options...");
            EXPECT_EQ(Text(d, "EditIntegers"), "2");
            EXPECT_EQ(Text(d, "EditDecimals"), "5");
            EXPECT_TRUE(Checked(d, "RadioMillimeters"));
            EXPECT_FALSE(Checked(d, "RadioInches"));
            EXPECT_EQ(Text(d, "EditEndOfBlock"), "$");
            EXPECT_EQ(Text(d, "EditParDelim"), "!");
            EXPECT_TRUE(Checked(d, "RadioFillNever"));
            EXPECT_FALSE(Checked(d, "RadioFillAlways") || Checked(d, "RadioFillWhenNecessary"));
            Type(d, "EditIntegers", "4");
            Type(d, "EditDecimals", "3");
            Check(d, "RadioInches");
            Type(d, "EditEndOfBlock", "*");
            Type(d, "EditParDelim", "%");
            Check(d, "RadioFillAlways");
            EXPECT_TRUE(Checked(d, "RadioInches")) << "the unit and the fill mode are separate choices";
            Press(d);
        },
        &confirmed));
    EXPECT_TRUE(confirmed);
    const GerberOptions& g = GerberSettings();
    EXPECT_EQ(g.integers, 4);
    EXPECT_EQ(g.decimals, 3);
    EXPECT_FALSE(g.millimetres);
    EXPECT_EQ(g.endOfBlock, '*');
    EXPECT_EQ(g.parameterDelimiter, '%');
    EXPECT_EQ(g.fill, GerberFill::Always);
    // In the settings file at once, not only when the editor ends.
    const std::pair<const char*, const char*> stored[] = {
        {"Gbr/Integers", "4"}, {"Gbr/Decimals", "3"}, {"Gbr/Units", "IN"}, {"Gbr/EndOfBlock", "*"},
        {"Gbr/ParDelim", "%"}, {"Gbr/Polygons", "0"}, {"Gbr/D10", "*"}};
    for (const auto& [key, value] : stored) EXPECT_EQ(Stored(key), value) << key;
}

TEST_F(PlotDialogsTest, GerberOptionsRefuseWhatNoFileCanHold) {
    struct Case {
        const char* field;
        const char* text;
        std::string message;
    };
    const std::string decimals = "Number of decimals must be between 0 and 6";
    const std::string block =
        "The end-of-block character must be one character other than a letter, digit, blank, sign, point or comma.";
    const std::vector<Case> cases = {
        {"EditDecimals", "7", decimals},
        {"EditDecimals", "9", decimals},
        {"EditDecimals", "x", decimals},
        {"EditDecimals", "", decimals},
        {"EditIntegers", "0", "Number of integer digits must be between 1 and 9"},
        {"EditIntegers", "-", "Number of integer digits must be between 1 and 9"},
        {"EditEndOfBlock", "", block},
        {"EditEndOfBlock", "X", block},
        {"EditEndOfBlock", "5", block},
        {"EditEndOfBlock", " ", block},
        {"EditEndOfBlock", ",", block},
        {"EditParDelim", "-",
         "The parameter delimiter must be one character other than a letter, digit, blank, sign, point or comma."},
        {"EditParDelim", "*", "The parameter delimiter must differ from the end-of-block character."},
    };
    form = MakeForm();
    for (const Case& c : cases) {
        messages.messages.clear();
        bool confirmed = true;
        ASSERT_TRUE(AskGerber(
            [&c](QDialog* d) {
                Type(d, c.field, c.text);
                d->accept();
                EXPECT_TRUE(d->isVisible()) << c.field << " '" << c.text << "'";
                EXPECT_EQ(d->focusWidget(), Child<QLineEdit>(d, c.field)) << "the refused field is the one to fix";
                d->reject();
            },
            &confirmed));
        EXPECT_FALSE(confirmed);
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}))
            << c.field << " '" << c.text << "'";
    }
    EXPECT_TRUE(SameOptions(GerberSettings(), GerberOptions{}));
    EXPECT_EQ(Stored("Gbr/Decimals"), "") << "nothing stored";
}

TEST_F(PlotDialogsTest, TheApertureTableShowsTheUnitOfTheOptionsAndConvertsOnOk) {
    // D10..D17 are the built-in ones; D18 holds a metric size no whole
    // number of mils gives.
    StoreSettings("[Gbr]\nD18=250000,10,C\n");
    form = MakeForm();
    ASSERT_TRUE(AskGerber([](QDialog* options) {
        EXPECT_TRUE(Checked(options, "RadioInches"));
        EditApertures(options, [](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), "Apertures");
            EXPECT_EQ(Child<QComboBox>(d, "UnitCombo")->currentText(), "mils") << "inches checked";
            for (int code = 10; code <= 59; ++code)
                ASSERT_NE(d->findChild<QLineEdit*>(QString("EditD%1").arg(code)), nullptr);
            const std::vector<std::tuple<int, const char*, const char*>> shown = {
                {10, "4", "Square"}, {13, "39", "Square"}, {14, "4", "Round"},
                {17, "39", "Round"}, {18, "10", "Round"},  {19, "0", "None"}};
            for (const auto& [code, size, shape] : shown) {
                EXPECT_EQ(Size(d, code), size) << code;
                EXPECT_EQ(Shape(d, code), shape) << code;
            }
            // Sizes in mils: nm = round(v * 25400), mils = round(v).
            SetSize(d, 20, "2.5");
            SetShape(d, 20, "Square");
            SetSize(d, 21, "-0.5");  // rounds to -1: not in use
            SetShape(d, 21, "Round");
            SetShape(d, 11, "None");
            SetSize(d, 12, "0");
            Press(d);
        });
        Press(options);
    }));
    const GerberApertureTable builtIn = GerberOptions::DefaultGerberApertures();
    GerberApertureTable expected = builtIn;
    expected[1] = {};
    expected[2] = {};
    expected[8] = {250000, 10, false};  // shown as 10 mils and left alone: not rounded to 254000 nm
    expected[10] = {63500, 3, true};
    EXPECT_EQ(GerberSettings().apertures, expected);
    EXPECT_EQ(Stored("Gbr/D11"), "0,0,C") << "a built-in entry taken out of use";
    EXPECT_EQ(Stored("Gbr/D20"), "63500,3,S");
    EXPECT_EQ(Stored("Gbr/D21"), "*");

    // Millimetres when the options say so: nm = round(v * 1e6), mils =
    // round(nm / 25400).
    ASSERT_TRUE(AskGerber([](QDialog* options) {
        Check(options, "RadioMillimeters");
        EditApertures(options, [](QDialog* d) {
            EXPECT_EQ(Child<QComboBox>(d, "UnitCombo")->currentText(), "mm");
            EXPECT_EQ(Size(d, 10), "0.1016");
            EXPECT_EQ(Size(d, 18), "0.25");
            EXPECT_EQ(Size(d, 20), "0.0635");
            SetSize(d, 22, "0.0127");  // exactly half a mil: rounds up
            SetShape(d, 22, "Round");
            SetSize(d, 23, "1.3");
            SetShape(d, 23, "Square");
            SetSize(d, 24, "7");
            SetShape(d, 24, "None");
            Press(d);
        });
        Press(options);
    }));
    expected[12] = {12700, 1, false};
    expected[13] = {1300000, 51, true};
    EXPECT_EQ(GerberSettings().apertures, expected);
    EXPECT_TRUE(GerberSettings().millimetres);
}

TEST_F(PlotDialogsTest, SwitchingTheApertureUnitShowsTheSameSizes) {
    form = MakeForm();
    ASSERT_TRUE(AskGerber([](QDialog* options) {
        EditApertures(options, [](QDialog* d) {
            SetSize(d, 30, "10");
            SetShape(d, 30, "Round");
            SetUnit(d, "mm");
            EXPECT_EQ(Size(d, 30), "0.254");
            EXPECT_EQ(Size(d, 10), "0.1016");
            SetSize(d, 31, "0.25");
            SetShape(d, 31, "Square");
            SetUnit(d, "mils");
            EXPECT_EQ(Size(d, 31), "10") << "whole mils shown";
            EXPECT_EQ(Size(d, 10), "4");
            SetUnit(d, "mm");
            EXPECT_EQ(Size(d, 31), "0.25") << "and the size kept exactly";
            // A size that cannot be read stops the switch.
            SetSize(d, 40, "abc");
            SetUnit(d, "mils");
            EXPECT_EQ(Child<QComboBox>(d, "UnitCombo")->currentText(), "mm");
            EXPECT_EQ(Size(d, 31), "0.25");
            SetSize(d, 40, "0");
            SetUnit(d, "mils");
            Press(d);
        });
        Press(options);
    }));
    EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"'abc' is not a valid number", "Error"}}));
    const GerberApertureTable& table = GerberSettings().apertures;
    EXPECT_EQ(table[20], (GerberAperture{254000, 10, false}));
    EXPECT_EQ(table[21], (GerberAperture{250000, 10, true}));
    EXPECT_FALSE(table[30].InUse());
}

TEST_F(PlotDialogsTest, AnUnreadableApertureSizeKeepsTheTableOpenAndUnchanged) {
    form = MakeForm();
    struct Case {
        const char* size;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"abc", "'abc' is not a valid number"},
        {"1e12", "An aperture cannot be larger than 1000 mm (39370 mils)."},
        {"39371", "An aperture cannot be larger than 1000 mm (39370 mils)."},
    };
    for (const Case& c : cases) {
        messages.messages.clear();
        ASSERT_TRUE(AskGerber([&c](QDialog* options) {
            EditApertures(options, [&c](QDialog* d) {
                SetSize(d, 10, "20");
                SetSize(d, 12, c.size);
                SetShape(d, 12, "Round");
                SetSize(d, 14, "20");
                d->accept();
                EXPECT_TRUE(d->isVisible()) << c.size;
                EXPECT_EQ(d->focusWidget(), Child<QLineEdit>(d, "EditD12"));
                d->reject();
            });
            Press(options);
        }));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}})) << c.size;
        EXPECT_EQ(GerberSettings().apertures, GerberOptions::DefaultGerberApertures()) << c.size;
    }
    // A row without a shape is not read.
    ASSERT_TRUE(AskGerber([](QDialog* options) {
        EditApertures(options, [](QDialog* d) {
            SetSize(d, 12, "abc");
            SetShape(d, 12, "None");
            Press(d);
        });
        Press(options);
    }));
    EXPECT_FALSE(GerberSettings().apertures[2].InUse());
}

TEST_F(PlotDialogsTest, CancelChangesNothing) {
    StoreSettings("[Gbr]\nDecimals=5\n[Tap]\nDecimals=3\n");
    form = MakeForm();
    const GerberOptions gerberBefore = GerberSettings();
    const DrillOptions drillBefore = DrillSettings();
    bool confirmed = true;
    ASSERT_TRUE(AskGerber(
        [](QDialog* options) {
            Type(options, "EditIntegers", "6");
            Check(options, "RadioMillimeters");
            Check(options, "RadioFillNever");
            EditApertures(options, [](QDialog* d) {
                SetSize(d, 10, "100");
                Press(d);
            });
            options->reject();
        },
        &confirmed));
    EXPECT_FALSE(confirmed);
    // The aperture table cancelled on its own leaves the options' table.
    ASSERT_TRUE(AskGerber([](QDialog* options) {
        EditApertures(options, [](QDialog* d) {
            SetSize(d, 10, "100");
            SetShape(d, 11, "None");
            d->reject();
        });
        Press(options);
    }));
    EXPECT_TRUE(SameOptions(GerberSettings(), gerberBefore));
    ASSERT_TRUE(AskDrill(
        [](QDialog* d) {
            Type(d, "EditDecimals", "1");
            Check(d, "RadioMillimeters");
            d->reject();
        },
        &confirmed));
    EXPECT_FALSE(confirmed);
    EXPECT_EQ(DrillSettings().decimals, drillBefore.decimals);
    EXPECT_EQ(DrillSettings().millimetres, drillBefore.millimetres);
    EXPECT_EQ(Stored("Tap/Decimals"), "3");
    EXPECT_EQ(Stored("Tap/Units"), "");
}

TEST_F(PlotDialogsTest, DrillOptionsShowTheStoredValuesAndOkStoresThem) {
    StoreSettings("[Tap]\nIntegers=3\nDecimals=2\nUnits=MM\n");
    form = MakeForm();
    messages.messages.clear();
    bool confirmed = false;
    ASSERT_TRUE(AskDrill(
        [](QDialog* d) {
            EXPECT_EQ(d->windowTitle(), "Drill file options...");
            EXPECT_EQ(Text(d, "EditIntegers"), "3");
            EXPECT_EQ(Text(d, "EditDecimals"), "2");
            EXPECT_TRUE(Checked(d, "RadioMillimeters"));
            Type(d, "EditDecimals", "8");
            d->accept();
            EXPECT_TRUE(d->isVisible()) << "eight decimals refused";
            Type(d, "EditIntegers", "2");
            Type(d, "EditDecimals", "4");
            Check(d, "RadioInches");
            Press(d);
        },
        &confirmed));
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Number of decimals must be between 0 and 6", "Error"}}));
    EXPECT_EQ(DrillSettings().integers, 2);
    EXPECT_EQ(DrillSettings().decimals, 4);
    EXPECT_FALSE(DrillSettings().millimetres);
    EXPECT_EQ(Stored("Tap/Integers"), "2");
    EXPECT_EQ(Stored("Tap/Decimals"), "4");
    EXPECT_EQ(Stored("Tap/Units"), "IN");
}

// Export layer... with the Gerber or drill type shows the options first
// (whichever writer is registered asks through the installed dialog);
// Cancel there writes nothing.
TEST_F(PlotDialogsTest, ExportLayerAsksForThePlotOptions) {
    // Where no writer is built yet, one that asks as the writers do.
    if (!FindLayerWriter(ExportGerber)) {
        RegisterLayerWriter(ExportGerber,
                            [](Layout&, const std::string&, int, const SaveOptions&, platform::DiagnosticSink&) {
                                GerberOptions options = GerberSettings();
                                return AskGerberOptions(options);
                            });
    }
    if (!FindLayerWriter(ExportDrill)) {
        RegisterLayerWriter(ExportDrill,
                            [](Layout&, const std::string&, int, const SaveOptions&, platform::DiagnosticSink&) {
                                DrillOptions options = DrillSettings();
                                return AskDrillOptions(options, DrillDialogUse::Write);
                            });
    }
    form = MakeForm();
    LayoutWindow* window = form->NewLayout();
    Layout& layout = window->Document();
    if (!layout.Layer(1)) layout.SetLayer(std::make_unique<LayerDescription>(1, ""));
    layout.MainSymbol()->AddCircle(0, 0, 50000, 1);
    struct Case {
        const char* filter;
        const char* file;
        const char* title;
    };
    for (const Case& c : {Case{"Gerber RS-274X files (*.gbr)", "plot.gbr", "Gerber RS-274X options..."},
                          Case{"Drill files (*.tap)", "holes.tap", "Drill file options..."}}) {
        const QString file = config.path() + "/" + c.file;
        QString title;
        ModalAnswers answers({Dialog([](QDialog* d) {
                                  auto* combo = Child<QComboBox>(d, "LayerCombo");
                                  combo->setCurrentIndex(combo->findData(1));
                                  d->accept();
                              }),
                              Dialog([&](QDialog* d) {
                                  auto* files = qobject_cast<QFileDialog*>(d);
                                  ASSERT_NE(files, nullptr);
                                  files->selectNameFilter(c.filter);
                                  files->selectFile(file);
                                  d->accept();
                              }),
                              Dialog([&](QDialog* d) {
                                  title = d->windowTitle();
                                  d->reject();
                              })});
        form->UpdateCommands();
        form->Command("ActionFileExportLayer")->trigger();
        EXPECT_EQ(answers.Left(), 0u) << c.file;
        EXPECT_EQ(title, c.title);
        EXPECT_FALSE(QFile::exists(file)) << "cancelled";
    }
}

// Every pattern of the open dialog's Gerber and drill types leads to the
// reader of that type.
TEST_F(PlotDialogsTest, TheOpenDialogOffersThePcbToolsExtensions) {
    form = MakeForm();
    QStringList filters;
    {
        ModalAnswers answers({Dialog([&](QDialog* d) {
            auto* files = qobject_cast<QFileDialog*>(d);
            ASSERT_NE(files, nullptr);
            filters = files->nameFilters();
            d->reject();
        })});
        form->Command("ActionFileOpen")->trigger();
        ASSERT_EQ(answers.Left(), 0u);
    }
    const auto patterns = [&](const QString& start) {
        for (const QString& filter : filters)
            if (filter.startsWith(start)) return filter.section('(', 1).chopped(1).split(' ', Qt::SkipEmptyParts);
        return QStringList();
    };
    const QStringList gerber = patterns("Gerber RS-274X files"), drill = patterns("Drill files"),
                      all = patterns("All layout files");
    for (const char* p : {"*.gbr", "*.gtl", "*.gbl", "*.gko", "*.gm1", "*.gbx"}) EXPECT_TRUE(gerber.contains(p)) << p;
    for (const char* p : {"*.tap", "*.drl", "*.xln"}) EXPECT_TRUE(drill.contains(p)) << p;
    for (const QString& p : gerber) {
        EXPECT_EQ(FileTypeOf(("board" + p.mid(1)).toStdString()), FileGerber) << p.toStdString();
        EXPECT_TRUE(all.contains(p)) << p.toStdString();
    }
    for (const QString& p : drill) {
        EXPECT_EQ(FileTypeOf(("board" + p.mid(1)).toStdString()), FileDrill) << p.toStdString();
        EXPECT_TRUE(all.contains(p)) << p.toStdString();
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zandor::RegisterFileFormats();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
