#include <gtest/gtest.h>

#include "flasher/FirmwareImage.h"
#include "reader/HexText.h"

#include <string>
#include <vector>

namespace zm880 {
namespace {

TEST(HexText, ShowsTwoUpperCaseDigits) {
    EXPECT_EQ(HexByte(0x0A), "0A");
    EXPECT_EQ(HexByte(0x00), "00");
    EXPECT_EQ(HexByte(0xFF), "FF");
}

TEST(HexText, ReadsInputAsDollarPrefixedNumber) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"03", 0x03}, {"3", 0x03}, {"1ff", 0xFF},      {"1FF", 0xFF},    {"ab", 0xAB},
        {"", 0},      {" 3", 0},   {"3 ", 0},          {"-1", 0},        {"+1", 0},
        {"0x3", 0},   {"g", 0},    {"ffffffff", 0xFF}, {"123456789", 0}, {"00000012", 0x12},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseHexInput(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(PageChecksum, MatchesTheLoaderCheckValues) {
    const std::string digits = "123456789";
    EXPECT_EQ(flasher::PageChecksum(std::vector<std::uint8_t>(digits.begin(), digits.end())),
              0x27CE);
    EXPECT_EQ(flasher::PageChecksum(std::vector<std::uint8_t>(512, 0xFF)), 0x3776);
    EXPECT_EQ(flasher::PageChecksum(std::vector<std::uint8_t>(512, 0x00)), 0x0000);
}

}  // namespace
}  // namespace zm880
