// "Read layer map..." with a process design kit's layer properties file: onto
// the active layout, refused when nothing matches or the file is broken, and
// as the template table whose names the streams opened later take.
#include <QFile>
#include <QFileDialog>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "model/LayerDescription.h"
#include "model/Layout.h"
#include "platform/headless/RecordingMessages.h"
#include "shell/LayoutWindow.h"
#include "shell/MainForm.h"
#include "support/EditorFixture.h"

using namespace zandor;
using platform::headless::RecordedMessage;
using test::ModalAnswers;

namespace {

const QString kPdk = QStringLiteral(ZANDOR_SOURCE_DIR "/tests/data/lyp/pdk.lyp");
const QString kPairs = QStringLiteral(ZANDOR_SOURCE_DIR "/tests/data/gds/layer-pairs.gds");

class LayerPropertiesGuiTest : public test::EditorFixture {
protected:
    // Runs "Read layer map..." and picks path in its file dialog.
    void ReadLayerMap(MainForm& form, const QString& path) {
        QStringList filters;
        ModalAnswers answers({[&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(dialog, nullptr);
            filters = dialog->nameFilters();
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
        }});
        QAction* command = form.Command("ActionFileReadLayermap");
        ASSERT_NE(command, nullptr);
        command->trigger();
        EXPECT_EQ(answers.Left(), 0u);
        EXPECT_EQ(filters, QStringList({"Layer maps (*.map)", "Layer properties (*.lyp)", "All files (*)"}));
    }

    static std::vector<std::string> Captions(MainForm& form) {
        std::vector<std::string> captions;
        QTreeWidget& panel = form.LayerPanel();
        for (int i = 0; i < panel.topLevelItemCount(); ++i)
            captions.push_back(panel.topLevelItem(i)->text(0).toStdString());
        return captions;
    }

    // A copy of the stream in the settings folder, with a layer map beside it
    // when one is given.
    QString PairsCopy(const QString& leaf, const QByteArray& map = {}) {
        const QString path = config.path() + "/" + leaf + ".gds";
        EXPECT_TRUE(QFile::copy(kPairs, path));
        if (!map.isEmpty()) {
            QFile file(config.path() + "/" + leaf + ".map");
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(map);
        }
        return path;
    }

    static const LayerDescription* PairLayer(const Layout& layout, int gdsLayer, std::uint32_t dataType) {
        for (int i = 0; i < kLayerCount; ++i) {
            const LayerDescription* layer = layout.Layer(i);
            if (layer && layer->GdsLayer() == gdsLayer && layer->dataType == dataType) return layer;
        }
        return nullptr;
    }
};

// The file's layers by their new names, in the order of their slots.
using Names = std::vector<std::string>;
const Names kNamed = {"li1.drawing",        "met1.drawing", "68/5",     "li1.pin",
                      "li1.drawing 1001/7", "prBoundary",   "met1[pin]"};

TEST_F(LayerPropertiesGuiTest, TheActiveLayoutsLayersTakeNamesAndColours) {
    auto form = MakeForm();

    // A layout none of whose pairs the file lists stays as it is.
    LayoutWindow* empty = form->NewLayout();
    ASSERT_NE(empty, nullptr);
    const Names before = Captions(*form);
    ReadLayerMap(*form, kPdk);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{
                  {"None of the layout's layers appears in the layer properties file.", "Warning"}}));
    EXPECT_EQ(Captions(*form), before);
    EXPECT_FALSE(empty->Document().IsModified());
    messages.messages.clear();

    LayoutWindow* window = form->OpenFile(PairsCopy("pairs"));
    ASSERT_NE(window, nullptr);
    Layout& layout = window->Document();
    EXPECT_EQ(Captions(*form)[1], "Layer 68");
    messages.messages.clear();  // the stream's own warning on its structure names
    ReadLayerMap(*form, kPdk);
    for (const RecordedMessage& m : messages.messages) ADD_FAILURE() << m.caption << ": " << m.text;
    EXPECT_EQ(Captions(*form), kNamed);
    EXPECT_TRUE(layout.IsModified());

    const LayerDescription* metal = PairLayer(layout, 68, 20);
    ASSERT_NE(metal, nullptr);
    EXPECT_EQ(metal->fillColor, 0x0080FFu);
    EXPECT_EQ(metal->outlineColor, 0x0000FFu);
    EXPECT_EQ(metal->fillStyle, FillForwardDiagonal);
    EXPECT_EQ(metal->outlineStyle, OutlineDash);
    EXPECT_EQ(PairLayer(layout, 68, 16)->visible, 0);
    ASSERT_NE(form->MainLayout().Layer(metal->index), nullptr);
    EXPECT_EQ(form->MainLayout().Layer(metal->index)->name, "met1.drawing") << "new layouts start from it";
    // The panel's swatch shows the new fill colour.
    QTreeWidgetItem* row = form->LayerPanel().topLevelItem(1);
    const QImage icon = row->icon(0).pixmap(QSize(kLayerFlagsWidth + kLayerSwatchWidth, kLayerSwatchHeight)).toImage();
    bool orange = false;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = kLayerFlagsWidth; x < icon.width(); ++x) orange = orange || icon.pixel(x, y) == qRgb(255, 128, 0);
    EXPECT_TRUE(orange);

    // A truncated file says so and changes nothing.
    QFile pdk(kPdk);
    ASSERT_TRUE(pdk.open(QIODevice::ReadOnly));
    const QString broken = config.path() + "/broken.lyp";
    QFile out(broken);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(pdk.readAll().left(1500));
    out.close();
    layout.modified = false;
    const std::uint32_t fill = metal->fillColor;
    ReadLayerMap(*form, broken);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "Error");
    EXPECT_EQ(messages.messages[0].text.rfind(
                  "The file " + broken.toStdString() + " is not a valid layer properties file.\nLine ", 0),
              0u)
        << messages.messages[0].text;
    EXPECT_NE(messages.messages[0].text.find("Premature end of document."), std::string::npos);
    EXPECT_EQ(Captions(*form), kNamed);
    EXPECT_EQ(metal->fillColor, fill);
    EXPECT_FALSE(layout.IsModified());
}

TEST_F(LayerPropertiesGuiTest, WithoutAWindowTheFileBecomesTheTableStreamsOpenWith) {
    auto form = MakeForm();
    ReadLayerMap(*form, kPdk);
    EXPECT_TRUE(messages.messages.empty());
    // Placed as the stream reader places pairs: 67 and 68 at home, the rest
    // from 254 down in the order of the file.
    EXPECT_EQ(Captions(*form), Names({"li1.drawing", "met1.drawing", "prBoundary", "li1.drawing 1001/7", "li1.pin",
                                      "68/5", "met1[pin]"}));
    EXPECT_EQ(form->MainLayout().Layer(254)->gdsLayer, 68);
    EXPECT_EQ(form->MainLayout().Layer(254)->dataType, 16u);

    // A stream opened now names its layers from the table, whatever slots
    // its pairs come to.
    LayoutWindow* window = form->OpenFile(PairsCopy("foundry"));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Captions(*form), kNamed);
    const LayerDescription* metal = PairLayer(window->Document(), 68, 20);
    ASSERT_NE(metal, nullptr);
    EXPECT_EQ(metal->fillColor, 0x0080FFu);
    EXPECT_EQ(metal->fillStyle, FillForwardDiagonal);
    EXPECT_EQ(PairLayer(window->Document(), 68, 16)->visible, 1) << "showing a layer is the user's choice";
    EXPECT_FALSE(window->Document().IsModified());

    // A stream with its own layer map keeps what the map says.
    LayoutWindow* mapped =
        form->OpenFile(PairsCopy("mapped", "# Zandor 3.1 Layer Map\r\n68 mapped metal/0f00ff00\r\n"));
    ASSERT_NE(mapped, nullptr);
    const Names captions = Captions(*form);
    EXPECT_EQ(captions[1], "mapped metal");
    EXPECT_EQ(captions.back(), "68/16");
}

}  // namespace
