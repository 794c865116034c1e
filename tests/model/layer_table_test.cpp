#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "model/Layout.h"
#include "model/RecordViews.h"
#include "model/UndoList.h"
#include "platform/headless/RecordingMessages.h"

using namespace zandor;
using zandor::platform::headless::RecordedMessage;
using zandor::platform::headless::ScopedMessageCapture;

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "# Zandor 3.1 Layer Map\r\n";

class LayerMapFiles : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        dir = fs::temp_directory_path() /
              ("zandor-layer-table-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Path(const std::string& leaf) const { return (dir / leaf).string(); }

    std::string Put(const std::string& leaf, const std::string& bytes) const {
        const std::string path = Path(leaf);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        return names;
    }

    // Reads a map of the given text into a fresh layout.
    bool ReadMap(Layout& layout, const std::string& text) { return layout.ReadLayerMap(Put("in.map", text)); }

    fs::path dir;
};

struct LayerFields {
    int index;
    std::string name;
    std::uint32_t fillColor;
    std::uint32_t outlineColor;
    int fillStyle;
    int outlineStyle;
    std::uint32_t dataType;
    int polarity;
};

void ExpectLayer(const Layout& layout, const LayerFields& want, const std::string& context) {
    SCOPED_TRACE(context);
    const LayerDescription* layer = layout.Layer(want.index);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->index, want.index);
    EXPECT_EQ(layer->name, want.name);
    EXPECT_EQ(layer->shortName, "L" + std::to_string(want.index));
    EXPECT_EQ(layer->fillColor, want.fillColor);
    EXPECT_EQ(layer->outlineColor, want.outlineColor);
    EXPECT_EQ(layer->fillStyle, want.fillStyle);
    EXPECT_EQ(layer->outlineStyle, want.outlineStyle);
    EXPECT_EQ(layer->dataType, want.dataType);
    EXPECT_EQ(layer->polarity, want.polarity);
    EXPECT_EQ(layer->visible, 1);
    EXPECT_EQ(layer->locked, 0);
    EXPECT_EQ(layer->current, 0);
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(LayerMapFiles, EachLineGivesItsLayer) {
    const std::uint32_t gray = DefaultLayerColor(7);
    const struct {
        std::string line;
        LayerFields want;
    } cases[] = {
        // The green component is the middle byte; F is the solid fill.
        {"3 Metal/0f00ff00", {3, "Metal", 0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0, 1}},
        {"3 Metal/1200ff00", {3, "Metal", 0x00FF00, 0x00FF00, FillForwardDiagonal, OutlineDash, 0, 1}},
        {"3 Metal/0600FF00", {3, "Metal", 0x00FF00, 0x00FF00, FillHollow, OutlineSolid, 0, 1}},
        {"  7\tPoly gate \t", {7, "Poly gate", gray, gray, FillSolid, OutlineSolid, 0, 1}},
        {"007 Zeros", {7, "Zeros", gray, gray, FillSolid, OutlineSolid, 0, 1}},
        {"7Tight/0f000001", {7, "Tight", 0x000001, 0x000001, FillSolid, OutlineSolid, 0, 1}},
        {"255 Last/4f123456", {255, "Last", 0x123456, 0x123456, FillSolid, OutlineDashDotDot, 0, 1}},
        {"0 Zero", {0, "Zero", 0x808000, 0x808000, FillSolid, OutlineSolid, 0, 1}},
        // Without a fill colour the layer takes the default colours and styles.
        {"7 Styles only/12", {7, "Styles only", gray, gray, FillSolid, OutlineSolid, 0, 1}},
        {"7 Slash only/", {7, "Slash only", gray, gray, FillSolid, OutlineSolid, 0, 1}},
        // Chunks cut short by the end of the line count as far as they go.
        {"7 Short/12ab", {7, "Short", 0xAB, 0xAB, FillForwardDiagonal, OutlineDash, 0, 1}},
        {"7 Short/0f00ff00ff000012", {7, "Short", 0x00FF00, 0xFF0000, FillSolid, OutlineSolid, 0x12, 1}},
        // Chunks that are not hexadecimal keep their defaults.
        {"7 Bad/zz00ff00", {7, "Bad", 0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0, 1}},
        {"7 Bad/0f00ff00g", {7, "Bad", 0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0, 1}},
        {"7 Bad/0f00ff00ff0000zzzz0", {7, "Bad", 0x00FF00, 0xFF0000, FillSolid, OutlineSolid, 0, 0}},
        // Long form: outline colour, datatype, polarity (any non-zero digit is 1).
        {"7 Long/0f00ff00ff000000050", {7, "Long", 0x00FF00, 0xFF0000, FillSolid, OutlineSolid, 5, 0}},
        {"7 Long/0f00ff00ff0000ffffa", {7, "Long", 0x00FF00, 0xFF0000, FillSolid, OutlineSolid, 0xFFFF, 1}},
        // Bytes that are neither blank nor "/" belong to the name.
        {"9 \x80\xfe\x01x/0f000001", {9, "\x80\xfe\x01x", 1, 1, FillSolid, OutlineSolid, 0, 1}},
    };
    for (const auto& c : cases) {
        for (const char* end : {"\r\n", "\n", ""}) {
            Layout layout;
            layout.DeleteLayers();
            ScopedMessageCapture messages;
            ASSERT_TRUE(ReadMap(layout, kHeader + c.line + end)) << c.line;
            EXPECT_EQ(layout.LayerCount(), 1) << c.line;
            ExpectLayer(layout, c.want, c.line + " ending " + std::to_string(std::string(end).size()));
            EXPECT_TRUE(messages.messages.empty());
        }
    }
}

TEST_F(LayerMapFiles, LinesThatNameNoLayerAreSkipped) {
    for (const std::string& line : std::vector<std::string>{
             "300 Big/0f00ff00", "256 X", "99999999999999999999 Huge", "Metal 3/0f00ff00", "3 /0f00ff00", "3", "3   \t",
             "-3 Negative", "+3 Plus", "", "   ", "/0f00ff00", "# 3 Comment",
             std::string("\0"
                         "3 Hidden",
                         9)}) {
        Layout layout;
        ScopedMessageCapture messages;
        ASSERT_TRUE(ReadMap(layout, kHeader + line + "\r\n5 Kept\r\n"));
        EXPECT_EQ(layout.LayerCount(), 1) << line;
        ASSERT_NE(layout.Layer(5), nullptr) << line;
        EXPECT_EQ(layout.Layer(5)->name, "Kept");
        EXPECT_TRUE(messages.messages.empty());
    }
}

TEST_F(LayerMapFiles, StyleNibblesWithoutMeaningReadAsSolid) {
    // Layer 16 * outline nibble + fill nibble, for every pair of nibbles.
    std::string text = kHeader;
    const char* hex = "0123456789abcdef";
    for (int outline = 0; outline < 16; ++outline) {
        for (int fill = 0; fill < 16; ++fill) {
            text += std::to_string(outline * 16 + fill) + " N/" + hex[outline] + hex[fill] + "102030\r\n";
        }
    }
    Layout layout;
    ASSERT_TRUE(ReadMap(layout, text));
    ASSERT_EQ(layout.LayerCount(), 256);
    for (int outline = 0; outline < 16; ++outline) {
        for (int fill = 0; fill < 16; ++fill) {
            const LayerDescription* layer = layout.Layer(outline * 16 + fill);
            EXPECT_EQ(layer->fillStyle, fill <= 6 ? fill : FillSolid) << outline << " " << fill;
            EXPECT_EQ(layer->outlineStyle, outline <= 4 ? outline : OutlineSolid) << outline << " " << fill;
            EXPECT_EQ(layer->fillColor, 0x102030u);
        }
    }
}

TEST_F(LayerMapFiles, HeaderDecidesWhetherTheFileIsRead) {
    for (const std::string& header : std::vector<std::string>{"# Zandor 3.1 Layer Map\r\n", "# Zandor\n",
                                                              "# Tremol map of some version\r\n", "# Tremol"}) {
        Layout layout;
        layout.ResetLayers();
        ScopedMessageCapture messages;
        EXPECT_TRUE(ReadMap(layout, header + (header.back() == '\n' ? "4 Via\r\n" : ""))) << header;
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_EQ(layout.Layer(0), nullptr) << "the old table goes";
        EXPECT_EQ(layout.LayerCount(), header.back() == '\n' ? 1 : 0);
    }
    for (const std::string& header : std::vector<std::string>{
             "", "\r\n", "#Zandor 3.1\r\n", "# zandor 3.1\r\n", "# Zando\r\n", "\xEF\xBB\xBF# Zandor 3.1 Layer Map\r\n",
             "3 Metal/0f00ff00\r\n", std::string("# Zan\0dor\r\n", 11)}) {
        Layout layout;
        layout.SetLayer(std::make_unique<LayerDescription>(4, "Keep"));
        ScopedMessageCapture messages;
        EXPECT_FALSE(ReadMap(layout, header + "4 Via\r\n")) << header;
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Invalid layer map file.", "Error"}}));
        EXPECT_EQ(layout.LayerCount(), 1) << "the table is left as it was";
        EXPECT_EQ(layout.Layer(4)->name, "Keep");
    }
}

TEST_F(LayerMapFiles, FilesThatCannotBeOpenedFailSilently) {
    fs::create_directory(dir / "folder");
    for (const std::string& path :
         std::vector<std::string>{Path("missing.map"), Path("folder"), std::string("/dev/zero")}) {
        Layout layout;
        layout.ResetLayers();
        ScopedMessageCapture messages;
        EXPECT_FALSE(layout.ReadLayerMap(path)) << path;
        EXPECT_TRUE(messages.messages.empty()) << path;
        EXPECT_EQ(layout.LayerCount(), 1);
        EXPECT_NE(layout.Layer(0), nullptr);
    }
}

TEST_F(LayerMapFiles, LongLinesContinueAsNewLines) {
    const std::string a61(61, 'A');
    Layout layout;
    ASSERT_TRUE(ReadMap(layout,
                        // The header is read in 64 characters; what follows is a line of its own.
                        "# Zandor" + std::string(56, '.') +
                            "7 X\r\n"
                            // 63 characters, the rest of the line is a layer line.
                            "1 " +
                            a61 +
                            "42 Tail/0f0000ff\r\n"
                            // Exactly 63 characters before CR LF: no continuation, no CR in the name.
                            "2 " +
                            std::string(61, 'B') +
                            "\r\n"
                            // A later line of the same index replaces the earlier layer.
                            "3 First/0f0000ff\n"
                            "3 Second/0f00ff00\n"));
    EXPECT_EQ(layout.LayerCount(), 5);
    EXPECT_EQ(layout.Layer(7)->name, "X");
    EXPECT_EQ(layout.Layer(1)->name, a61);
    EXPECT_EQ(layout.Layer(1)->fillColor, DefaultLayerColor(1));
    EXPECT_EQ(layout.Layer(42)->name, "Tail");
    EXPECT_EQ(layout.Layer(42)->fillColor, 0xFFu);
    EXPECT_EQ(layout.Layer(2)->name, std::string(61, 'B'));
    EXPECT_EQ(layout.Layer(3)->name, "Second");
    EXPECT_EQ(layout.Layer(3)->fillColor, 0x00FF00u);
}

TEST_F(LayerMapFiles, DamagedBytesAreHandled) {
    Layout layout;
    const std::string text = kHeader +
                             // Text after a NUL byte is not part of the line.
                             std::string("4 Na\0me/0f00ff00\r\n", 18) +
                             // A lone CR does not end a line; trailing blanks go with it.
                             "5 Five\r\r\n"
                             "6 Six/\r0f00ff00\r\n" +
                             std::string(100000, '\xff') + "\r\n" + std::string(70000, '\0') + "\n8 Eight";
    ASSERT_TRUE(ReadMap(layout, text));
    EXPECT_EQ(layout.LayerCount(), 4);
    EXPECT_EQ(layout.Layer(4)->name, "Na");
    EXPECT_EQ(layout.Layer(4)->fillColor, DefaultLayerColor(4));
    EXPECT_EQ(layout.Layer(5)->name, "Five");
    EXPECT_EQ(layout.Layer(6)->fillColor, 0xF00FF0u) << "chunks keep their places";
    EXPECT_EQ(layout.Layer(6)->fillStyle, FillSolid);
    EXPECT_EQ(layout.Layer(8)->name, "Eight");
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(LayerMapFiles, WritesShortAndLongLines) {
    auto metal = [](auto&&... args) { return std::make_unique<LayerDescription>(3, "Metal", args...); };
    const struct {
        std::unique_ptr<LayerDescription> layer;
        std::string line;
    } cases[] = {
        {metal(0x00FF00), "3 Metal/0f00ff00"},
        {metal(0x00FF00, -1, FillForwardDiagonal, OutlineDash), "3 Metal/1200ff00"},
        {metal(0x00FF00, -1, FillHollow, OutlineDashDotDot), "3 Metal/4600ff00"},
        {metal(0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 5u), "3 Metal/0f00ff0000ff0000051"},
        {metal(0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0u, 0), "3 Metal/0f00ff0000ff0000000"},
        {metal(0x00FF00, 0xFF0000), "3 Metal/0f00ff00ff000000001"},
        {metal(0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0xABu, 7), "3 Metal/0f00ff0000ff0000ab1"},
        // Values wider than their fields are cut to them, so the fields after
        // them stay in place.
        {metal(0x00FF00, 0x00FF00, FillSolid, OutlineSolid, 0x12345u), "3 Metal/0f00ff0000ff0023451"},
    };
    for (const auto& c : cases) {
        Layout layout;
        layout.DeleteLayers();
        layout.SetLayer(std::make_unique<LayerDescription>(3, *c.layer));
        ScopedMessageCapture messages;
        const std::string path = Path("out.map");
        ASSERT_TRUE(layout.WriteLayerMap(path));
        EXPECT_EQ(Contents(path), kHeader + c.line + "\r\n");
        EXPECT_TRUE(messages.messages.empty());
    }

    Layout layout;
    layout.DeleteLayers();
    layout.SetLayer(std::make_unique<LayerDescription>(10, "Ten", 0x0000FF));
    layout.SetLayer(std::make_unique<LayerDescription>(2, std::string("Two\r\nlines\0x", 12), 0x0000FF));
    layout.SetLayer(std::make_unique<LayerDescription>(0, ""));
    ASSERT_TRUE(layout.WriteLayerMap(Path("order.map")));
    EXPECT_EQ(Contents(Path("order.map")),
              kHeader + "0 Layer 0/0f808000\r\n2 Two\r lines x/0f0000ff\r\n10 Ten/0f0000ff\r\n");
}

TEST_F(LayerMapFiles, ALongNameIsShortenedSoThatTheLayerKeepsItsValues) {
    const std::string path = Path("long.map");
    for (const std::string& name : {std::string(90, 'n'), std::string(40, 'm') + "/" + std::string(40, 'w')}) {
        Layout layout;
        layout.DeleteLayers();
        auto layer = std::make_unique<LayerDescription>(4, name, 0x123456, 0x654321, FillCross, OutlineDot, 20, 0);
        layer->gdsLayer = 300;
        layout.SetLayer(std::move(layer));
        ASSERT_TRUE(layout.WriteLayerMap(path));
        Layout read;
        ASSERT_TRUE(read.ReadLayerMap(path));
        EXPECT_EQ(read.LayerCount(), 1) << "the line was not split";
        const LayerDescription* back = read.Layer(4);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(name.compare(0, std::min<std::size_t>(back->name.size(), 40), back->name, 0,
                               std::min<std::size_t>(back->name.size(), 40)),
                  0)
            << back->name;
        EXPECT_GT(back->name.size(), 20u);
        EXPECT_EQ(back->fillColor, 0x123456u);
        EXPECT_EQ(back->outlineColor, 0x654321u);
        EXPECT_EQ(back->fillStyle, FillCross);
        EXPECT_EQ(back->dataType, 20u);
        EXPECT_EQ(back->polarity, 0);
        EXPECT_EQ(back->gdsLayer, 300);
    }
}

TEST_F(LayerMapFiles, RoundTripKeepsAllButShortNamesAndFlags) {
    Layout original;
    original.DeleteLayers();
    int index = 0;
    for (int fill = -1; fill <= 6; ++fill) {
        for (int outline = 0; outline <= 4; ++outline, ++index) {
            const std::uint32_t dataType = static_cast<std::uint32_t>(index % 3 == 0 ? 0 : index * 997 % 65536);
            auto layer = std::make_unique<LayerDescription>(
                index * 7 % 256, "Layer name " + std::to_string(index), index * 0x030507 % 0x1000000,
                index % 2 ? index * 0x0B0D11 % 0x1000000 : -1, fill, outline, dataType,
                static_cast<std::uint8_t>(index % 4 != 1));
            layer->shortName = "S" + std::to_string(index);
            layer->visible = index % 2;
            layer->locked = 1;
            layer->current = index == 5;
            original.SetLayer(std::move(layer));
        }
    }
    original.SetLayer(std::make_unique<LayerDescription>(255, "Default colours"));
    ASSERT_EQ(original.LayerCount(), 41);

    const std::string path = Path("round.map");
    ASSERT_TRUE(original.WriteLayerMap(path));
    Layout copy;
    ASSERT_TRUE(copy.ReadLayerMap(path));
    ASSERT_EQ(copy.LayerCount(), original.LayerCount());
    for (int i = 0; i < kLayerCount; ++i) {
        const LayerDescription* was = original.Layer(i);
        if (!was) continue;
        ExpectLayer(copy,
                    {i, was->name, was->fillColor, was->outlineColor, was->fillStyle, was->outlineStyle, was->dataType,
                     was->polarity},
                    "layer " + std::to_string(i));
    }

    // Names that cannot survive a layer map.
    for (const auto& [name, after] : std::vector<std::pair<std::string, std::string>>{{"a/b", "a/b"},
                                                                                      {" lead", "lead"},
                                                                                      {"trail ", "trail"},
                                                                                      {"\tboth\t", "both"},
                                                                                      {"in side", "in side"},
                                                                                      {"lone\rcr", "lone\rcr"},
                                                                                      {"cr\r\nlf", "cr\r lf"}}) {
        Layout layout;
        layout.DeleteLayers();
        layout.SetLayer(std::make_unique<LayerDescription>(3, name, 0x00FF00));
        ASSERT_TRUE(layout.WriteLayerMap(path));
        Layout read;
        ASSERT_TRUE(read.ReadLayerMap(path));
        ASSERT_NE(read.Layer(3), nullptr) << name;
        EXPECT_EQ(read.Layer(3)->name, after);
    }
}

// Makes writes beyond a few bytes fail for the life of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }

private:
    rlimit old{};
    void (*oldHandler)(int);
};

TEST_F(LayerMapFiles, AFailedWriteLeavesTheOldFile) {
    Layout layout;
    layout.SetLayer(std::make_unique<LayerDescription>(1, "A layer with a long enough name", 0x00FF00));
    const std::string good = kHeader + "0 Good/0f808000\r\n";
    const std::string path = Put("layers.map", good);
    fs::create_directory(dir / "folder");
    {
        ScopedMessageCapture messages;
        FileSizeLimit limit(good.size());
        EXPECT_FALSE(layout.WriteLayerMap(path));
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
    }
    EXPECT_EQ(Contents(path), good);
    for (const std::string& target : std::vector<std::string>{Path("no/such/dir.map"), Path("folder")}) {
        ScopedMessageCapture messages;
        EXPECT_FALSE(layout.WriteLayerMap(target)) << target;
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{"Unable to save file!", "Error"}}));
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    std::vector<std::string> entries = DirectoryEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"folder", "layers.map"})) << "no temporary file is left";
}

TEST_F(LayerMapFiles, RewritingKeepsModeAndLinks) {
    Layout layout;
    layout.ResetLayers();
    const std::string path = Put("real.map", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    fs::create_symlink("real.map", dir / "link.map");
    ASSERT_TRUE(layout.WriteLayerMap(Path("link.map")));
    EXPECT_TRUE(fs::is_symlink(dir / "link.map"));
    EXPECT_EQ(Contents(path), kHeader + "0 Layer 0/0f808000\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(DirectoryEntries().size(), 2u);
}

// ---------------------------------------------------------------------------
// The table

TEST(LayerTable, LookupCountAndPositions) {
    Layout layout;
    layout.DeleteLayers();
    EXPECT_EQ(layout.LayerCount(), 0);
    EXPECT_EQ(layout.LowestFreeLayer(), 0);
    EXPECT_EQ(layout.NthLayer(0), nullptr);
    for (int i : {9, 2, 200, 4}) layout.SetLayer(std::make_unique<LayerDescription>(i, i == 200 ? "Metal" : ""));
    layout.Layer(9)->name = "Metal";
    layout.Layer(4)->shortName = "CMF";
    layout.Layer(200)->shortName = "CMF";

    EXPECT_EQ(layout.LayerCount(), 4);
    EXPECT_EQ(layout.LowestFreeLayer(), 0);
    EXPECT_EQ(layout.FindLayerByName("Metal"), 9) << "the lowest index wins";
    EXPECT_EQ(layout.FindLayerByName("metal"), -1);
    EXPECT_EQ(layout.FindLayerByName("Layer 2"), 2);
    EXPECT_EQ(layout.FindLayerByShortName("CMF"), 4);
    EXPECT_EQ(layout.FindLayerByShortName("L9"), 9);
    EXPECT_EQ(layout.FindLayerByShortName("L4"), -1);
    const int order[] = {2, 4, 9, 200};
    for (int position = 0; position < 4; ++position) EXPECT_EQ(layout.NthLayer(position)->index, order[position]);
    EXPECT_EQ(layout.NthLayer(4), nullptr);
    EXPECT_EQ(layout.NthLayer(-1), nullptr);

    for (int i = 0; i < kLayerCount; ++i) {
        if (!layout.Layer(i)) layout.SetLayer(std::make_unique<LayerDescription>(i, ""));
    }
    EXPECT_EQ(layout.LowestFreeLayer(), -1);
    layout.ResetLayers();
    EXPECT_EQ(layout.LayerCount(), 1);
    EXPECT_EQ(layout.Layer(0)->name, "Layer 0");
    EXPECT_EQ(layout.Layer(0)->fillColor, 0x808000u);
    EXPECT_EQ(layout.LowestFreeLayer(), 1);
}

TEST(LayerTable, CurrentLayerAndFlags) {
    Layout layout;
    layout.ResetLayers();
    for (int i : {3, 8}) layout.SetLayer(std::make_unique<LayerDescription>(i, ""));

    layout.SelectCurrentLayer(1);
    EXPECT_EQ(layout.activeLayer, 3);
    EXPECT_EQ(layout.Layer(3)->current, 1);
    layout.SelectCurrentLayer(2);
    EXPECT_EQ(layout.activeLayer, 8);
    EXPECT_EQ(layout.Layer(3)->current, 0);
    EXPECT_EQ(layout.Layer(8)->current, 1);
    layout.SelectCurrentLayer(3);
    EXPECT_EQ(layout.activeLayer, -1) << "past the end";
    EXPECT_EQ(layout.Layer(8)->current, 0);

    EXPECT_TRUE(layout.ToggleLayerVisible(1));
    EXPECT_EQ(layout.Layer(3)->visible, 0);
    EXPECT_FALSE(layout.ToggleLayerVisible(1));
    EXPECT_EQ(layout.Layer(3)->visible, 1);
    EXPECT_FALSE(layout.ToggleLayerLocked(2));
    EXPECT_EQ(layout.Layer(8)->locked, 1);
    EXPECT_TRUE(layout.ToggleLayerLocked(2));
    EXPECT_EQ(layout.Layer(8)->locked, 0);
    EXPECT_FALSE(layout.ToggleLayerLocked(5)) << "no layer there";

    layout.ToggleLayerVisible(0);
    layout.ShowAllLayers();
    for (int p = 0; p < 3; ++p) EXPECT_EQ(layout.NthLayer(p)->visible, 1);
    layout.HideAllLayers();
    for (int p = 0; p < 3; ++p) EXPECT_EQ(layout.NthLayer(p)->visible, 0);
}

TEST(LayerTable, CopyLayersFromTakesEveryFieldAndTheCurrentLayer) {
    Layout source;
    source.ResetLayers();
    source.SetLayer(std::make_unique<LayerDescription>(6, "Six", 0x123456, 0x654321, FillCross, OutlineDot, 7u, 0));
    source.Layer(6)->shortName = "SIX";
    source.Layer(6)->locked = 1;
    source.Layer(6)->visible = 0;
    source.SelectCurrentLayer(1);
    Layout target;
    target.SetLayer(std::make_unique<LayerDescription>(9, "Gone"));
    target.CopyLayersFrom(source);
    EXPECT_EQ(target.LayerCount(), 2);
    EXPECT_EQ(target.Layer(9), nullptr);
    const LayerDescription* six = target.Layer(6);
    ASSERT_NE(six, nullptr);
    EXPECT_NE(six, source.Layer(6));
    EXPECT_EQ(six->name, "Six");
    EXPECT_EQ(six->shortName, "SIX");
    EXPECT_EQ(six->fillColor, 0x123456u);
    EXPECT_EQ(six->outlineColor, 0x654321u);
    EXPECT_EQ(six->fillStyle, FillCross);
    EXPECT_EQ(six->outlineStyle, OutlineDot);
    EXPECT_EQ(six->dataType, 7u);
    EXPECT_EQ(six->polarity, 0);
    EXPECT_EQ(six->locked, 1);
    EXPECT_EQ(six->visible, 0);
    EXPECT_EQ(target.activeLayer, 6);

    target.CopyLayersFrom(target);
    EXPECT_EQ(target.LayerCount(), 2) << "copying a table onto itself keeps it";
}

// Main symbol: rectangle on 4, a call and a group whose layer bytes say 5 and
// 6, an array (layer byte 0); symbol 1: a circle on 8.
TEST(LayerTable, LayerInUseCountsLayeredRecordsOnly) {
    Layout layout;
    SymbolDescription& main = *layout.MainSymbol();
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddCircle(0, 0, 10, 8);
    EXPECT_FALSE(layout.LayerInUse(0));
    main.AddRectangle(0, 0, 10, 10, 4);
    SetRecordLayer(main.InsertSymbolCall(1, 0, 0), 5);
    SetRecordLayer(main.AddGroup(0, 0, 0, 0), 6);
    EXPECT_FALSE(layout.LayerInUse(0));
    main.InsertArray(1, {0, 0}, {100, 0}, {0, 100}, 2, 2, 1.0, 0.0);
    for (const auto& [index, used] : std::vector<std::pair<int, bool>>{
             {0, true}, {4, true}, {5, false}, {6, false}, {8, true}, {7, false}, {-1, false}, {300, false}}) {
        EXPECT_EQ(layout.LayerInUse(index), used) << index;
    }
}

TEST(LayerTable, ChangeLayerIndexMovesObjectsUndoCopiesAndTheDescription) {
    Layout layout;
    layout.SetLayer(std::make_unique<LayerDescription>(2, "Poly", 0x0000FF));
    layout.SetLayer(std::make_unique<LayerDescription>(3, "Metal"));
    layout.SelectCurrentLayer(0);
    ASSERT_EQ(layout.activeLayer, 2);
    SymbolDescription& main = *layout.MainSymbol();
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddCircle(0, 0, 10, 2);
    const Point triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    main.AddRectangle(0, 0, 10, 10, 2);  // deleted below
    main.AddPolygon(triangle, 3, 2);     // modified below
    main.AddRectangle(0, 0, 5, 5, 3);
    SetRecordLayer(main.InsertSymbolCall(1, 0, 0), 2);
    SetRecordLayer(main.AddGroup(0, 0, 0, 0), 2);
    main.AddRectangle(1, 1, 2, 2, 2);
    main.SetSelected(main.RecordAt(main.usedWords - kRectangleLength));
    main.UpdateSelection();
    ASSERT_EQ(main.currentLayer, 2);

    main.undo->BeginStep();
    main.DeleteRecord(main.FirstRecord());
    Word* polygon = main.FirstRecord();
    ASSERT_EQ(RecordKind(polygon), ObjectKind::Polygon);
    std::vector<Word> moved(polygon, polygon + RecordLength(polygon));
    PolygonView(moved.data()).Nodes()[0].X = 99;
    main.ReplaceRecord(polygon, moved.data());

    ScopedMessageCapture messages;
    EXPECT_FALSE(layout.ChangeLayerIndex(2, 3)) << "occupied";
    EXPECT_FALSE(layout.ChangeLayerIndex(2, 256));
    EXPECT_FALSE(layout.ChangeLayerIndex(2, -1));
    EXPECT_FALSE(layout.ChangeLayerIndex(7, 9)) << "no layer 7";
    EXPECT_FALSE(layout.ChangeLayerIndex(2, 2));
    ASSERT_EQ(RecordLayer(main.FirstRecord()), 2) << "a refused change changes nothing";
    ASSERT_NE(layout.Layer(2), nullptr);

    ASSERT_TRUE(layout.ChangeLayerIndex(2, 9));
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(layout.Layer(2), nullptr);
    ASSERT_NE(layout.Layer(9), nullptr);
    EXPECT_EQ(layout.Layer(9)->index, 9);
    EXPECT_EQ(layout.Layer(9)->name, "Poly");
    EXPECT_EQ(layout.Layer(9)->fillColor, 0x0000FFu);
    EXPECT_EQ(layout.activeLayer, 9);
    EXPECT_EQ(layout.Layer(9)->current, 1);
    EXPECT_EQ(main.currentLayer, 9);
    EXPECT_FALSE(layout.LayerInUse(2));
    EXPECT_TRUE(layout.IsModified());

    auto kindsAndLayers = [](const SymbolDescription& s) {
        std::vector<std::pair<ObjectKind, int>> list;
        for (const Word* r = s.FirstRecord(); r; r = s.NextRecord(r)) list.emplace_back(RecordKind(r), RecordLayer(r));
        return list;
    };
    using K = ObjectKind;
    EXPECT_EQ(kindsAndLayers(main),
              (std::vector<std::pair<K, int>>{
                  {K::Polygon, 9}, {K::Rectangle, 3}, {K::SymbolCall, 2}, {K::Group, 2}, {K::Rectangle, 9}}));
    EXPECT_EQ(kindsAndLayers(leaf), (std::vector<std::pair<K, int>>{{K::Circle, 9}}));

    // The saved copies moved too: undo brings back the deleted rectangle and the
    // old polygon on the new layer.
    layout.Undo();
    EXPECT_EQ(kindsAndLayers(main), (std::vector<std::pair<K, int>>{{K::Rectangle, 9},
                                                                    {K::Polygon, 9},
                                                                    {K::Rectangle, 3},
                                                                    {K::SymbolCall, 2},
                                                                    {K::Group, 2},
                                                                    {K::Rectangle, 9}}));
    EXPECT_NE(main.RecordAt(kRectangleLength)[5], 99);

    // Copies of calls and groups keep their layer byte.
    ASSERT_TRUE(layout.ChangeLayerIndex(9, 2));
    main.undo->BeginStep();
    Word* call = main.FirstRecord();
    for (int k = 0; k < 3; ++k) call = main.NextRecord(call);
    ASSERT_EQ(RecordKind(call), ObjectKind::SymbolCall);
    main.DeleteRecord(main.DeleteRecord(call));  // the call, then the group
    ASSERT_TRUE(layout.ChangeLayerIndex(2, 9));
    layout.Undo();
    EXPECT_EQ(kindsAndLayers(main), (std::vector<std::pair<K, int>>{{K::Rectangle, 9},
                                                                    {K::Polygon, 9},
                                                                    {K::Rectangle, 3},
                                                                    {K::SymbolCall, 2},
                                                                    {K::Group, 2},
                                                                    {K::Rectangle, 9}}));
}

}  // namespace
