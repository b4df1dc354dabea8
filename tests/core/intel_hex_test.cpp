#include <gtest/gtest.h>

#include "flasher/IntelHex.h"
#include "support/HexFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace zm880::flasher {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::HexRecord;

std::string Data(unsigned address, const Bytes& data) {
    return HexRecord(0x00, address, data);
}
const std::string kEnd = HexRecord(0x01, 0, {});

Bytes Counting(std::uint8_t first, std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Placement {
    std::size_t offset;
    Bytes bytes;
};

FirmwareImage ExpectedImage(const std::vector<Placement>& placements) {
    FirmwareImage image;
    image.fill(0xFF);
    for (const Placement& p : placements) {
        std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + p.offset);
    }
    return image;
}

TEST(IntelHex, PlacesDataBytesBySixteenBitAddress) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<Placement> expected;
        std::string pages;  // pagesTouched, page 19 first
    };
    const std::string none(20, '0');
    const std::string page0 = none.substr(1) + "1";
    const Case cases[] = {
        {"end-of-file record only", kEnd + "\n", {}, none},
        {"16 bytes at the base",
         Data(0x1400, Counting(1, 16)) + "\n" + kEnd + "\n",
         {{0, Counting(1, 16)}},
         page0},
        {"record running past the image end keeps its first 8 bytes",
         Data(0x3BF8, Counting(1, 16)) + "\n" + kEnd + "\n",
         {{10232, Counting(1, 8)}},
         "1" + none.substr(1)},
        {"record below the base changes nothing", Data(0x1000, Counting(1, 16)) + "\n", {}, none},
        {"record straddling the base keeps its upper half",
         Data(0x13F8, Counting(1, 16)) + "\n",
         {{0, Counting(9, 8)}},
         page0},
        {"record across a page boundary touches both pages",
         Data(0x15F8, Counting(1, 16)) + "\n",
         {{504, Counting(1, 16)}},
         none.substr(2) + "11"},
        {"extended linear address record has no effect",
         HexRecord(0x04, 0, {0x00, 0x01}) + "\n" + Data(0x1400, Counting(1, 4)) + "\n" + kEnd +
             "\n",
         {{0, Counting(1, 4)}},
         page0},
        {"start address record has no effect",
         HexRecord(0x05, 0, {0, 0, 0x14, 0}) + "\n",
         {},
         none},
        {"lower-case digits",
         Lower(Data(0x1400, {0xAB, 0xCD, 0xEF}) + "\n" + kEnd + "\n"),
         {{0, {0xAB, 0xCD, 0xEF}}},
         page0},
        {"later record wins",
         Data(0x1400, Counting(1, 8)) + "\n" + Data(0x1404, {0xA0, 0xA1}) + "\n" + kEnd + "\n",
         {{0, Counting(1, 8)}, {4, {0xA0, 0xA1}}},
         page0},
        {"data after the end-of-file record is stored",
         kEnd + "\n" + Data(0x3A00, {0x55}) + "\n",
         {{9728, {0x55}}},
         "1" + none.substr(1)},
        {"CR LF line ends", Data(0x1400, {1, 2}) + "\r\n" + kEnd + "\r\n", {{0, {1, 2}}}, page0},
        {"CR-only line ends", Data(0x1400, {1, 2}) + "\r" + kEnd + "\r", {{0, {1, 2}}}, page0},
        {"final Ctrl-Z line",
         Data(0x1400, {1, 2}) + "\r\n" + kEnd + "\r\n\x1A",
         {{0, {1, 2}}},
         page0},
        {"final Ctrl-Z line with its own line end",
         Data(0x1400, {1, 2}) + "\r" + kEnd + "\r\x1A\r\n",
         {{0, {1, 2}}},
         page0},
        {"no final line end", Data(0x1400, {1, 2}) + "\n" + kEnd, {{0, {1, 2}}}, page0},
        {"trailing blanks after the checksum", Data(0x1400, {7}) + " \t\n", {{0, {7}}}, page0},
        {"line without ':' and a zero count is passed over", "x00 note\n" + kEnd + "\n", {}, none},
        {"empty file", "", {}, none},
    };
    for (const Case& c : cases) {
        FirmwareImage image;
        image.fill(0x00);  // every read starts from a fresh 0xFF image
        const HexReadResult result = ParseUpdateText(c.text, image);
        EXPECT_TRUE(result.ok()) << c.name << ": " << result.reason;
        EXPECT_EQ(result.line, 0u) << c.name;
        EXPECT_TRUE(image == ExpectedImage(c.expected)) << c.name;
        EXPECT_EQ(result.pagesTouched.to_string(), c.pages) << c.name;
    }
}

TEST(IntelHex, RefusesDamagedLinesNamingTheLine) {
    const std::string good = Data(0x1400, Counting(1, 16));
    std::string badChecksum = good;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string badDigit = good;
    badDigit[12] = 'G';
    struct Case {
        std::string text;
        std::size_t line;
        std::string reason;
    };
    const Case cases[] = {
        {good + "\n\n" + kEnd + "\n", 2, "line 2: empty line"},
        {good + "\r\n\r\n" + kEnd + "\r\n", 2, "line 2: empty line"},
        {good + "\n" + kEnd + "\n\n", 3, "line 3: empty line"},
        {good + "\n" + good.substr(1) + "\n", 2,
         "line 2: non-zero byte count but the line does not start with ':'"},
        {good + "\n" + good + "\n" + badChecksum + "\n", 3, "line 3: checksum mismatch"},
        {badDigit + "\n", 1, "line 1: not a hex digit in column 13"},
        {":1G14000000\n", 1, "line 1: not a hex digit in column 3"},
        {"# note\n", 1, "line 1: not a hex digit in column 2"},
        {good.substr(0, good.size() - 2) + "\n", 1, "line 1: line too short for its byte count"},
        {":\n", 1, "line 1: line too short for its byte count"},
        {":00000001\n", 1, "line 1: line too short for its byte count"},
        {good + "FF\n", 1, "line 1: unexpected text after the checksum in column 44"},
        {good + "\r\n" + badChecksum + "\r\n\x1A", 2, "line 2: checksum mismatch"},
        {good + "\r" + badDigit + "\r", 2, "line 2: not a hex digit in column 13"},
        {good + "\n\x1A\n" + good + "\n", 2, "line 2: line too short for its byte count"},
    };
    for (const Case& c : cases) {
        FirmwareImage image;
        const HexReadResult result = ParseUpdateText(c.text, image);
        EXPECT_EQ(result.code, 1) << c.reason;
        EXPECT_EQ(result.line, c.line) << c.reason;
        EXPECT_EQ(result.reason, c.reason);
    }
}

class IntelHexFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zm880-hex-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::filesystem::path dir_;
};

TEST_F(IntelHexFile, ReadsAWholeFileLargerThanAnyBuffer) {
    // Many overlapping records: only the last one per address may remain.
    std::string text;
    for (int pass = 0; pass < 50; ++pass) {
        for (unsigned address = 0x1400; address < 0x3C00; address += 32) {
            text += Data(address, Bytes(32, static_cast<std::uint8_t>(pass))) + "\r\n";
        }
    }
    text += kEnd + "\r\n";
    ASSERT_GT(text.size(), 1u << 20);
    FirmwareImage image;
    const HexReadResult result = ReadUpdateFile(Write("big.hex", text), image);
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_TRUE(result.pagesTouched.all());
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](std::uint8_t b) { return b == 49; }));
}

TEST_F(IntelHexFile, UnreadableFileIsRefusedWithItsPath) {
    FirmwareImage image;
    const std::string missing = (dir_ / "missing.hex").string();
    const HexReadResult absent = ReadUpdateFile(missing, image);
    EXPECT_EQ(absent.code, 1);
    EXPECT_EQ(absent.line, 0u);
    EXPECT_EQ(absent.reason.rfind("cannot open " + missing, 0), 0u) << absent.reason;

    const HexReadResult directory = ReadUpdateFile(dir_.string(), image);
    EXPECT_EQ(directory.code, 1);
    EXPECT_NE(directory.reason.find(dir_.string()), std::string::npos) << directory.reason;
}

}  // namespace
}  // namespace zm880::flasher
