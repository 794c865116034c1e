// The EMK writer: blocks of 800 characters each beginning with "<", the
// statements of flashes, the flash sizes in the unit chosen, and refusals.
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

#include "FlashTest.h"

using namespace zandor;
using platform::headless::RecordedMessage;

namespace {

class EmkWriter : public test::FlashTest {
protected:
    // Checks the blocks and returns the statements between them.
    static std::string Unblocked(const std::string& text) {
        EXPECT_EQ(text.size() % 800, 0u);
        std::string joined;
        for (std::size_t at = 0; at < text.size(); at += 800) {
            std::string block = text.substr(at, 800);
            EXPECT_EQ(block[0], '<') << "block at " << at;
            block.erase(0, 1);
            // The padding; the point of the end mark "Z." goes with it.
            block.erase(block.find_last_not_of('.') + 1);
            EXPECT_TRUE(std::regex_match(block, std::regex("([XYWVU]-?[0-9]+)*S(([XYWVU]-?[0-9]+)+S)*(Z\\.?)?|Z\\.?")))
                << "a block holds whole statements: " << block;
            joined += block;
        }
        return joined;
    }
};

TEST_F(EmkWriter, OneFlashAndASecondOfTheSameSize) {
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    EXPECT_EQ(WriteEmk(EmkOptions{}), "<X50Y50W100V100U0SZ." + std::string(780, '.'));
    EXPECT_TRUE(messages.messages.empty());
    Main().AddRectangle(10000, 0, 20000, 10000, 1);
    EXPECT_EQ(WriteEmk(EmkOptions{}), "<X50Y50W100V100U0SX150SZ." + std::string(775, '.'));
    Main().AddBox(50000, 50000, 20000, 10000, 30.0, 1);
    EXPECT_EQ(Unblocked(WriteEmk(EmkOptions{})), "X50Y50W100V100U0SX150SX500Y500W200U300SZ");
}

TEST_F(EmkWriter, FlashSizesAreInTheUnitChosen) {
    EmkOptions mils;
    SwitchEmkUnits(mils, true);
    EXPECT_NEAR(mils.unit, 0.1 / 25.4, 1e-12);
    EXPECT_NEAR(mils.maxFlash, 60, 1e-9);
    mils.unit = 0.01;  // 0.254 um
    Main().AddRectangle(0, 0, 25400, 25400, 1);
    EXPECT_EQ(Unblocked(WriteEmk(mils)), "X50Y50W100V100U0SZ");

    // 1 um units and the default 1524 um as the largest flash.
    layout.Clear();
    Main().AddRectangle(0, 0, 2000000, 10000, 1);
    EmkOptions o;
    o.unit = 1;
    EXPECT_EQ(Unblocked(WriteEmk(o)), "X1238Y5W1524V10U0SX238W476SZ");

    // The smallest flash: 2.54 um are 25 units of 0.1 um.
    layout.Clear();
    Main().AddRectangle(0, 0, 1000, 1000, 1);
    EXPECT_EQ(Unblocked(WriteEmk(EmkOptions{})), "X5Y5W25V25U0SZ");
    EXPECT_EQ(messages.messages,
              (std::vector<RecordedMessage>{{"Some flashes were increased to the minimum flash size.", "Warning"}}));
}

TEST_F(EmkWriter, NoStatementAndNoEndMarkCrossesABlock) {
    // Runs of statements of six characters ("X1015S") after a first one whose
    // length the y coordinate sets: one of them leaves the first block one
    // character short of full, where the end mark "Z." needs a new block.
    int endMarkAlone = 0;
    for (int digits = 1; digits <= 6; ++digits) {
        for (int count = 125; count <= 135; ++count) {
            SCOPED_TRACE(std::to_string(digits) + " digits, " + std::to_string(count) + " flashes");
            layout.Clear();
            int y = 1;
            for (int d = 1; d < digits; ++d) y *= 10;
            for (int k = 0; k < count; ++k) {
                Main().AddRectangle(100000 + k * 100, y * 100, 103000 + k * 100, y * 100 + 3000, 1);
            }
            const std::string text = WriteEmk(EmkOptions{});
            const std::string joined = Unblocked(text);
            EXPECT_EQ(joined.substr(joined.size() - 2), "SZ");
            if (text.size() >= 800 && text.compare(text.size() - 800, 3, "<Z.") == 0) ++endMarkAlone;
        }
    }
    EXPECT_GT(endMarkAlone, 0) << "the case of a full block before the end mark was met";
}

TEST_F(EmkWriter, OptionsOutOfRangeAreRefusedAndTheOldFileStays) {
    struct Case {
        const char* message;
        void (*change)(EmkOptions&);
    };
    const std::vector<Case> cases = {
        {"Unit must be a positive value", [](EmkOptions& o) { o.unit = 0; }},
        {"Unit must be a positive value", [](EmkOptions& o) { o.unit = -0.1; }},
        {"The maximum flash size must not be below the minimum flash size.",
         [](EmkOptions& o) { o.minFlash = 20, o.maxFlash = 10; }},
        {"The maximum flash size must be at least one unit.", [](EmkOptions& o) { o.minFlash = 0, o.maxFlash = 0.01; }},
    };
    Main().AddRectangle(0, 0, 10000, 10000, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        WriteFile("kept.emk", "old");
        EmkOptions o;
        c.change(o);
        EXPECT_EQ(WriteEmk(o, "kept.emk"), "");
        EXPECT_EQ(messages.messages, (std::vector<RecordedMessage>{{c.message, "Error"}}));
        EXPECT_EQ(ReadFile(Path("kept.emk")), "old");
    }
}

}  // namespace
