// Layer properties files: source texts, colours and patterns, a process
// design kit's file applied to a stream's layers, and malformed files.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "formats/AllFormats.h"
#include "model/LayerProperties.h"
#include "model/Layout.h"
#include "platform/Diagnostics.h"
#include "shell/LayerPropertiesFile.h"

using namespace zandor;

namespace {

const QString kPdk = QStringLiteral(ZANDOR_SOURCE_DIR "/tests/data/lyp/pdk.lyp");

TEST(LayerSource, NamesOnePairOrNone) {
    const struct {
        const char* text;
        std::optional<LayerPair> pair;
    } cases[] = {
        {"68/20@1", LayerPair{68, 20}},
        {"68/20", LayerPair{68, 20}},
        {"  68/20  ", LayerPair{68, 20}},
        {"met1 68/20@1", LayerPair{68, 20}},
        {"68/20@1 (r90 *1 0,0)", LayerPair{68, 20}},
        {"68/20(r90 *1 0,0)@1", LayerPair{68, 20}},
        {"68/20 #0..3", LayerPair{68, 20}},
        {"68/20#1", LayerPair{68, 20}},
        {"met1/drawing 68/20", LayerPair{68, 20}},  // a name with a slash in it
        {"0/0@*", LayerPair{0, 0}},
        {"65535/65535", LayerPair{65535, 65535}},
        {"*/*@*", std::nullopt},
        {"*/0", std::nullopt},
        {"68/*", std::nullopt},
        {"1-5/0", std::nullopt},
        {"met1 1-5/0", std::nullopt},
        {"met1", std::nullopt},
        {"@1", std::nullopt},
        {"68", std::nullopt},
        {"", std::nullopt},
        {"65536/0", std::nullopt},
        {"68/99999999999999999999", std::nullopt},
        {"(68/20)", std::nullopt},
        {"#68/20", std::nullopt},
        {"-1/0", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseLayerSource(c.text), c.pair) << c.text;
}

TEST(LayerLook, ColoursAndPatternsBecomeTheNearestOfOurs) {
    const struct {
        const char* text;
        std::optional<std::uint32_t> color;
    } colors[] = {
        {"#ff8000", 0x0080FF},      {"#FF8000", 0x0080FF},     {" #010203 ", 0x030201},   {"#80ff8000", 0x0080FF},
        {"#00000000", 0},           {"", std::nullopt},        {"ff8000", std::nullopt},  {"#ff80", std::nullopt},
        {"#ff80000", std::nullopt}, {"#gg0000", std::nullopt}, {"#0x1234", std::nullopt},
    };
    for (const auto& c : colors) EXPECT_EQ(ParseLayerColor(c.text), c.color) << c.text;

    const struct {
        const char* text;
        int style;
    } fills[] = {
        {"", FillSolid},
        {"I0", FillSolid},
        {"I1", FillHollow},
        {"I2", FillDiagonalCross},
        {"I3", FillDiagonalCross},
        {"I4", FillForwardDiagonal},
        {"I7", FillForwardDiagonal},
        {"I8", FillBackwardDiagonal},
        {"I11", FillBackwardDiagonal},
        {"I12", FillDiagonalCross},
        {"I20", FillDiagonalCross},
        {"I21", FillCross},
        {"I22", FillHorizontal},
        {"I23", FillForwardDiagonal},
        {"I24", FillBackwardDiagonal},
        {"I25", FillForwardDiagonal},
        {"I26", FillBackwardDiagonal},
        {"I27", FillDiagonalCross},
        {"I28", FillHorizontal},
        {"I29", FillHorizontal},
        {"I30", FillDiagonalCross},
        {"I31", FillDiagonalCross},
        {"I32", FillVertical},
        {"I36", FillVertical},
        {"I37", FillHorizontal},
        {"I41", FillHorizontal},
        {"I42", FillCross},
        {"I46", FillCross},
        {"I47", FillDiagonalCross},
        {"C0", FillDiagonalCross},
        {"C12", FillDiagonalCross},
        {"I-1", FillDiagonalCross},
        {"stripes", FillDiagonalCross},
    };
    for (const auto& f : fills) EXPECT_EQ(FillStyleOfDitherPattern(f.text), f.style) << f.text;

    const struct {
        const char* text;
        int style;
    } lines[] = {
        {"", OutlineSolid},        {"I0", OutlineSolid}, {"I1", OutlineDot},     {"I2", OutlineDash},
        {"I3", OutlineDashDot},    {"I4", OutlineDash},  {"I5", OutlineDashDot}, {"I6", OutlineDash},
        {"I7", OutlineDashDotDot}, {"I8", OutlineSolid}, {"C0", OutlineSolid},   {"dashes", OutlineSolid},
    };
    for (const auto& l : lines) EXPECT_EQ(OutlineStyleOfLineStyle(l.text), l.style) << l.text;
}

TEST(LayerPropertiesFile, APdkFileNamesAndColoursTheLayersOfAStream) {
    platform::DiagnosticLog log;
    std::vector<LayerProperties> entries;
    ASSERT_TRUE(ReadLayerPropertiesFile(kPdk, entries, &log));
    EXPECT_TRUE(log.Entries().empty());

    // Every layer of both tabs and of the groups at every depth, in the
    // order of the file; groups, wildcards, ranges and names alone are not.
    std::vector<std::pair<LayerPair, std::string>> listed;
    for (const LayerProperties& e : entries) listed.push_back({{e.gdsLayer, e.dataType}, e.name});
    const std::vector<std::pair<LayerPair, std::string>> expected = {
        {{68, 20}, "met1.drawing"},
        {{68, 16}, "met1(pin)"},
        {{68, 5}, ""},
        {{67, 20}, "li1.drawing"},
        {{67, 44}, "li1.pin"},
        {{1001, 7}, "li1.drawing"},
        {{68, 20}, "met1 from the second tab"},
        {{1000, 0}, "prBoundary"},
    };
    EXPECT_EQ(listed, expected);

    RegisterFileFormats();
    Layout layout;
    ASSERT_TRUE(layout.Load(ZANDOR_SOURCE_DIR "/tests/data/gds/layer-pairs.gds", &log));
    const int layers = layout.LayerCount();
    const AppliedLayerProperties applied = ApplyLayerProperties(layout, entries);
    EXPECT_EQ(applied.matched, 7);
    EXPECT_EQ(applied.changed, 7);
    EXPECT_EQ(layout.LayerCount(), layers);

    const struct {
        int gdsLayer;
        std::uint32_t dataType;
        std::string name;
        std::optional<std::uint32_t> fill;  // none: the slot's default
        std::uint32_t outline;
        int fillStyle, outlineStyle, visible;
    } want[] = {
        {68, 20, "met1.drawing", 0x0080FF, 0x0000FF, FillForwardDiagonal, OutlineDash, 1},
        {68, 16, "met1[pin]", 0x00FFFF, 0x00FFFF, FillDiagonalCross, OutlineSolid, 0},
        {68, 5, "68/5", 0xFF0000, 0xFF0000, FillHollow, OutlineDot, 1},
        {67, 20, "li1.drawing", 0x00FF00, 0x00FF00, FillCross, OutlineSolid, 1},
        {67, 44, "li1.pin", 0x00FFFF, 0xFF00FF, FillHorizontal, OutlineDashDotDot, 1},
        {1001, 7, "li1.drawing 1001/7", 0xC0C0C0, 0xC0C0C0, FillVertical, OutlineSolid, 1},
        {1000, 0, "prBoundary", std::nullopt, 0x000000, FillCross, OutlineSolid, 1},
    };
    for (const auto& w : want) {
        SCOPED_TRACE(w.name);
        const LayerDescription* layer = nullptr;
        for (int i = 0; i < kLayerCount && !layer; ++i) {
            const LayerDescription* l = layout.Layer(i);
            if (l && l->GdsLayer() == w.gdsLayer && l->dataType == w.dataType) layer = l;
        }
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->name, w.name);
        EXPECT_EQ(layer->fillColor, w.fill.value_or(DefaultLayerColor(layer->index)));
        EXPECT_EQ(layer->outlineColor, w.outline);
        EXPECT_EQ(layer->fillStyle, w.fillStyle);
        EXPECT_EQ(layer->outlineStyle, w.outlineStyle);
        EXPECT_EQ(layer->visible, w.visible);
    }
}

TEST(LayerPropertiesFile, AMalformedFileIsReportedWithItsReasonAndGivesNothing) {
    QFile pdk(kPdk);
    ASSERT_TRUE(pdk.open(QIODevice::ReadOnly));
    const QByteArray whole = pdk.readAll();
    const QByteArray truncated = whole.left(whole.indexOf("<properties>", whole.indexOf("li1.pin")));
    const auto lastLine = static_cast<std::int64_t>(truncated.count('\n') + 1);
    const std::string endedEarly = "\nLine " + std::to_string(lastLine) + ": Premature end of document.";
    const struct {
        const char* what;
        QByteArray bytes;
        std::string reason;
        std::int64_t line;
    } cases[] = {
        {"truncated", truncated, endedEarly, lastLine},
        {"empty", QByteArray(), "\nLine 1: Premature end of document.", 1},
        {"mismatched tags", "<layer-properties>\n<properties>\n<source>1/0</name>", "\nLine 3: ", 3},
        {"after the root", "<layer-properties><properties><source>1/0</source></properties></layer-properties>x",
         "\nLine 1: Extra content at end of document.", 1},
        {"another root", "<?xml version=\"1.0\"?>\n<layers><properties><source>1/0</source></properties></layers>",
         "\nIts root element is <layers>, not <layer-properties>.", 2},
        {"a layer map", "# Zandor 3.1 Layer Map\r\n3 Metal/0f00ff00\r\n", "\nLine 1: ", 1},
        {"no layers", "<layer-properties><properties><source>*/*</source></properties><name/></layer-properties>",
         "\nIt lists no layer with a GDSII layer and datatype.", 0},
        {"entities that expand without end",
         "<?xml version=\"1.0\"?><!DOCTYPE l [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaa\">"
         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
         "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]>"
         "<layer-properties><properties><source>5/0</source><name>&e;&e;&e;&e;&e;&e;&e;&e;</name>"
         "</properties></layer-properties>",
         "\nLine 1: ", 1},
        {"no entries at all", "<layer-properties-tabs/>", "\nIt lists no layer with a GDSII layer and datatype.", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        platform::DiagnosticLog log;
        std::vector<LayerProperties> entries = {LayerProperties{}};
        EXPECT_FALSE(ReadLayerProperties(c.bytes, "broken.lyp", entries, &log));
        EXPECT_EQ(entries.size(), 1u) << "the caller's list is left alone";
        ASSERT_EQ(log.Entries().size(), 1u);
        const platform::StoredDiagnostic& d = log.Entries().front();
        EXPECT_EQ(d.severity, platform::Severity::Error);
        EXPECT_EQ(d.file, "broken.lyp");
        const std::string start = "The file broken.lyp is not a valid layer properties file.";
        EXPECT_EQ(d.text.substr(0, start.size()), start);
        EXPECT_NE(d.text.find(c.reason, start.size()), std::string::npos) << d.text;
        EXPECT_EQ(d.line, c.line);
    }

    QTemporaryDir dir;
    platform::DiagnosticLog log;
    std::vector<LayerProperties> entries;
    EXPECT_FALSE(ReadLayerPropertiesFile(dir.path() + "/missing.lyp", entries, &log));
    EXPECT_FALSE(ReadLayerPropertiesFile(dir.path(), entries, &log)) << "a folder is no file";
    ASSERT_EQ(log.Entries().size(), 2u);
    EXPECT_EQ(log.Entries()[0].text, "The file " + (dir.path() + "/missing.lyp").toStdString() + " cannot be read.");
}

TEST(LayerPropertiesFile, GroupsNestToAnyDepth) {
    constexpr int kDepth = 100000;
    QByteArray bytes = "<layer-properties><properties><source>*/*</source>";
    for (int i = 0; i < kDepth; ++i) bytes += "<group-members><source>*/*</source>";
    bytes += "<group-members><source>5/0</source><name>deep</name></group-members>";
    for (int i = 0; i < kDepth; ++i) bytes += "</group-members>";
    bytes += "<name>after</name><source>6/0</source></properties></layer-properties>";
    std::vector<LayerProperties> entries;
    ASSERT_TRUE(ReadLayerProperties(bytes, "deep.lyp", entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "after") << "the outermost entry comes first";
    EXPECT_EQ(entries[0].gdsLayer, 6);
    EXPECT_EQ(entries[1].name, "deep");
}

TEST(LayerPropertiesFile, IsToldFromALayerMapByExtensionOrContent) {
    QTemporaryDir dir;
    const auto put = [&](const QString& leaf, const QByteArray& bytes) {
        QFile file(dir.path() + "/" + leaf);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const struct {
        const char* leaf;
        QByteArray bytes;
        bool properties;
    } cases[] = {
        {"a.lyp", "", true},
        {"b.LYP", "# Zandor 3.1 Layer Map\r\n", true},
        {"c.map", "# Zandor 3.1 Layer Map\r\n", false},
        {"d.map", "<?xml version=\"1.0\"?>\n<layer-properties/>", true},
        {"e.txt", "\xEF\xBB\xBF\n  <layer-properties>", true},
        {"f", "<layers/>", false},
        {"g", "", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsLayerPropertiesFile(put(c.leaf, c.bytes)), c.properties) << c.leaf;
    EXPECT_FALSE(IsLayerPropertiesFile(dir.path() + "/missing.map"));
}

}  // namespace
