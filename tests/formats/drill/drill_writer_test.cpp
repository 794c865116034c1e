// The drill (TAP) writer: the file as a whole, the tool each circle and ring
// takes, the coordinate format, the walk through calls and arrays, the
// warnings, refused options and failed writes, and files read back.
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "DrillTest.h"

using namespace zandor;
using Lines = std::vector<std::string>;

namespace {

// The lines after the header's "%", without their line ends.
Lines Body(const std::string& text) {
    Lines lines;
    const std::size_t start = text.find("%\r\n");
    if (start == std::string::npos) return lines;
    for (std::size_t at = start + 3; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

class DrillWriter : public test::DrillTest {};

TEST_F(DrillWriter, WholeFileGroupedByTool) {
    Main().AddCircle(1000000, -2000000, 125000, 1);       // 0.25 mm: tool 3
    Main().AddCircle(0, 0, 50000, 1);                     // 0.1 mm: tool 1
    Main().AddRing(3000000, 4000000, 900000, 200000, 1);  // reaches 1 mm: tool 20
    Main().AddCircle(-5000000, 7000000, 150000, 1);       // 0.3 mm: tool 3 again
    EXPECT_EQ(Write(test::Drill(2, 4, true)),
              "; TAP file created by Zandor, version 3.1\r\n"
              "; Tool selection: TnCm\r\n"
              ";  n = tool index (corresponds to diameter in 0.1 mm)\r\n"
              ";  m = drill diameter in inches or millimeter\r\n"
              "; Coordinate format: 2.4\r\n"
              "; Unit: mm\r\n"
              "%\r\n"
              "T1C0.100F200S100\r\n"
              "X000000Y000000\r\n"
              "T3C0.300F200S100\r\n"
              "X010000Y-020000\r\n"
              "X-050000Y070000\r\n"
              "T20C2.000F200S100\r\n"
              "X030000Y040000\r\n"
              "M30\r\n");
    EXPECT_TRUE(written);
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(DrillWriter, ToolsByDiameterAndFormats) {
    struct Case {
        const char* name;
        std::int32_t x, radius;
        DrillOptions options;
        Lines body;
    };
    const std::vector<Case> cases = {
        {"0.25 mm is drilled with tool 3",
         0,
         125000,
         test::Drill(2, 4, true),
         {"T3C0.300F200S100", "X000000Y000000", "M30"}},
        {"one inch in 2.4 inch",
         25400000,
         125000,
         test::Drill(2, 4, false),
         {"T3C0.012F200S100", "X010000Y000000", "M30"}},
        {"a zero radius takes tool 1", 0, 0, test::Drill(2, 4, true), {"T1C0.100F200S100", "X000000Y000000", "M30"}},
        {"0.1 mm is still tool 1", 0, 50000, test::Drill(2, 4, true), {"T1C0.100F200S100", "X000000Y000000", "M30"}},
        {"a nanometre more is tool 2",
         0,
         50001,
         test::Drill(2, 4, true),
         {"T2C0.200F200S100", "X000000Y000000", "M30"}},
        {"4 mm is tool 40", 0, 2000000, test::Drill(2, 4, false), {"T40C0.157F200S100", "X000000Y000000", "M30"}},
        {"above 4 mm no tool", 0, 2000001, test::Drill(2, 4, true), {"M30"}},
        {"half a unit rounds away from zero",
         -150,
         100,
         test::Drill(2, 4, true),
         {"T1C0.100F200S100", "X-000002Y000000", "M30"}},
        {"format 1.3 in mm", 1000000, 100, test::Drill(1, 3, true), {"T1C0.100F200S100", "X1000Y0000", "M30"}},
        {"format 0.0 counts millimetres", 7000000, 100, test::Drill(0, 0, true), {"T1C0.100F200S100", "X7Y0", "M30"}},
        {"a number wider than the format",
         123456789,
         100,
         test::Drill(2, 4, true),
         {"T1C0.100F200S100", "X1234568Y000000", "M30"}},
        {"six decimals of an inch",
         254,
         100,
         test::Drill(2, 6, false),
         {"T1C0.004F200S100", "X00000010Y00000000", "M30"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        Main().AddCircle(c.x, 0, c.radius, 1);
        EXPECT_EQ(Body(Write(c.options)), c.body);
        EXPECT_TRUE(written);
    }
}

TEST_F(DrillWriter, TheWalkTakesTheLayerThroughCallsAndArrays) {
    SymbolDescription& leaf = *layout.AddSymbol(1, "leaf");
    leaf.AddCircle(0, 0, 125000, 1);
    leaf.AddCircle(0, 0, 500000, 2);
    Main().AddCircle(0, 0, 1000000, 2);
    Main().InsertSymbolCall(1, 1000000, 0);
    TransformMatrix doubled;
    doubled.a = doubled.d = 2;
    doubled.tx = 0, doubled.ty = 3000000;
    Main().InsertSymbolCallMatrix(1, doubled);
    Main().InsertArray(1, {0, 5000000}, {4000000, 5000000}, {0, 6000000}, 2, 1, 1.0, 0.0);
    EXPECT_EQ(Body(Write(test::Drill(2, 4, true))),
              (Lines{"T3C0.300F200S100", "X010000Y000000", "X000000Y050000", "X020000Y050000", "T5C0.500F200S100",
                     "X000000Y030000", "M30"}));
    EXPECT_TRUE(log.Entries().empty()) << "shapes of other layers are no concern";
}

TEST_F(DrillWriter, WarnsOfOtherShapesAndOfHolesWithoutATool) {
    Main().AddCircle(0, 0, 100000, 1);
    Main().AddCircle(0, 0, 2500000, 1);
    Main().AddRing(0, 0, 2000000, 1000000, 1);
    Main().AddRectangle(0, 0, 10, 10, 1);
    Main().AddRectangle(0, 0, 10, 10, 2);
    EXPECT_EQ(Body(Write(test::Drill(2, 4, true))), (Lines{"T2C0.200F200S100", "X000000Y000000", "M30"}));
    EXPECT_TRUE(written);
    EXPECT_EQ(Texts(platform::Severity::Warning),
              (Lines{"The layer contains shapes other than circles and rings. These objects have been ignored.",
                     "2 holes are larger than 4 mm, the largest tool, and were not written."}));

    layout.Clear();
    layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
    const Point square[] = {{0, 0}, {10, 0}, {10, 10}};
    Main().AddPolygon(square, 3, 1);
    Write(test::Drill(2, 4, true));
    EXPECT_EQ(Texts(platform::Severity::Warning).size(), 1u);
    EXPECT_EQ(Body(ReadFile(Path("out.tap"))), (Lines{"M30"}));
}

TEST_F(DrillWriter, RefusesFormatsWithoutAUnitAndLeavesTheOldFile) {
    Main().AddCircle(0, 0, 100000, 1);
    const std::string old = WriteFile("out.tap", "old contents");
    for (const auto& [options, message] :
         {std::pair{test::Drill(2, 7, true), "Number of decimals must be between 0 and 6"},
          std::pair{test::Drill(2, -1, false), "Number of decimals must be between 0 and 6"},
          std::pair{test::Drill(-1, 4, false), "Number of integer digits must be between 0 and 9"},
          std::pair{test::Drill(10, 4, false), "Number of integer digits must be between 0 and 9"}}) {
        SCOPED_TRACE(message);
        Write(options);
        EXPECT_FALSE(written);
        EXPECT_EQ(Texts(platform::Severity::Error), (Lines{message}));
        EXPECT_EQ(ReadFile(old), "old contents");
    }
}

TEST_F(DrillWriter, AFileThatCannotBeWrittenIsAnError) {
    Main().AddCircle(0, 0, 100000, 1);
    std::filesystem::create_directories(Path("folder.tap"));
    Write(test::Drill(2, 4, true), "folder.tap");
    EXPECT_FALSE(written);
    ASSERT_EQ(Texts(platform::Severity::Error).size(), 1u);
    EXPECT_EQ(Texts(platform::Severity::Error)[0].rfind("Unable to save file!", 0), 0u);
    Write(test::Drill(2, 4, true), "no such folder/out.tap");
    EXPECT_FALSE(written);
}

// Circles on the grid of the file unit come back where they were, with the
// diameter of their tool.
TEST_F(DrillWriter, WrittenHolesReadBackAsTheirToolsCircles) {
    std::mt19937 random(7);
    for (const DrillOptions& options : {test::Drill(2, 4, false), test::Drill(3, 3, true), test::Drill(2, 6, true)}) {
        SCOPED_TRACE(std::to_string(options.integers) + "." + std::to_string(options.decimals) +
                     (options.millimetres ? " mm" : " inch"));
        layout.Clear();
        layout.SetLayer(std::make_unique<LayerDescription>(1, "one"));
        const std::int32_t unit = options.millimetres ? (options.decimals == 3 ? 1000 : 1) : 2540;
        std::vector<std::string> expected;
        std::vector<std::vector<std::string>> byTool(41);
        for (int k = 0; k < 200; ++k) {
            const std::int32_t x = static_cast<std::int32_t>(random() % 20001) - 10000;
            const std::int32_t y = static_cast<std::int32_t>(random() % 20001) - 10000;
            const std::int32_t radius = static_cast<std::int32_t>(random() % 2000000);
            Main().AddCircle(x * unit, y * unit, radius, 1);
            const int tool = radius <= 50000 ? 1 : (2 * radius + 99999) / 100000;
            byTool[static_cast<std::size_t>(tool)].push_back(
                "C " + std::to_string(x * unit) + " " + std::to_string(y * unit) + " " + std::to_string(tool * 50000));
        }
        for (const auto& holes : byTool) expected.insert(expected.end(), holes.begin(), holes.end());
        const std::string text = Write(options);
        ASSERT_TRUE(written);
        std::vector<std::string> back = Read(text, options);
        if (!options.millimetres) {
            // Inch tools are announced in three decimals; what matters is
            // the tool, which the reader takes from the diameter written.
            for (std::string& hole : back) {
                const std::size_t space = hole.rfind(' ');
                const double radius = std::stod(hole.substr(space + 1));
                hole = hole.substr(0, space + 1) + std::to_string(static_cast<int>(radius / 50000 + 0.5) * 50000);
            }
        }
        EXPECT_EQ(back, expected);
        EXPECT_TRUE(log.Entries().empty());
    }
}

}  // namespace
