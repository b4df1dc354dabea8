#include <gtest/gtest.h>

#include "flasher/FirmwareImage.h"
#include "support/HexFiles.h"
#include "support/RunCli.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zm880::test {
namespace {

namespace fs = std::filesystem;

// kSmallUpdateFile with Windows line ends.
const std::string kValid =
    ":10140000000102030405060708090A0B0C0D0E0F64\r\n"
    ":023A0000ABCD4C\r\n"
    ":00000001FF\r\n";
// The same with a damaged checksum on line 2.
const std::string kDamaged =
    ":10140000000102030405060708090A0B0C0D0E0F64\n"
    ":023A0000ABCD4D\n"
    ":00000001FF\n";

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FwCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zm880-fw-" +
                std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& content) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    fs::path dir_;
};

TEST_F(FwCommands, CheckListsEveryPageWithItsChecksum) {
    const std::string file = Write("valid.hex", kValid);
    const CliResult result = RunCli({"fw", "check", file});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty());
    EXPECT_NE(result.out.find("data in 2 of 20 pages"), std::string::npos) << result.out;

    const flasher::FirmwareImage image = SmallUpdateImage();
    for (std::size_t page = 0; page < flasher::kPageCount; ++page) {
        char row[64];
        std::snprintf(row, sizeof row, "%4zu  0x%04zX   0x%04X    %s\n", page,
                      0x1400 + page * 0x200,
                      static_cast<unsigned>(flasher::PageChecksum(flasher::ImagePage(image, page))),
                      page == 0 || page == 19 ? "yes" : "-");
        EXPECT_NE(result.out.find(row), std::string::npos) << "missing row: " << row;
    }
    EXPECT_NE(result.out.find("   1  0x1600   0x3776    -\n"), std::string::npos);
}

TEST_F(FwCommands, ImageWritesTheWholeFlashImage) {
    const std::string file = Write("valid.hex", kValid);
    const fs::path out = dir_ / "out.bin";
    Write("out.bin", "old content");
    const CliResult result = RunCli({"fw", "image", file, "-o", out.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const flasher::FirmwareImage expected = SmallUpdateImage();
    EXPECT_EQ(ReadBytes(out), std::string(expected.begin(), expected.end()));
    // Nothing but the input and the image is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(FwCommands, FailuresExitWithOneLineNamingTheFault) {
    const std::string damaged = Write("damaged.hex", kDamaged);
    const std::string valid = Write("valid.hex", kValid);
    const std::string missing = (dir_ / "missing.hex").string();
    const std::string keptOutput = Write("kept.bin", "old content");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string error;
    };
    const Case cases[] = {
        {{"fw", "check", damaged}, 1, damaged + ": line 2: checksum mismatch"},
        // The reason is the system's own text, which differs between systems.
        {{"fw", "check", missing}, 1, "cannot read " + missing + ": "},
        {{"fw", "image", damaged, "-o", keptOutput}, 1, damaged + ": line 2: checksum mismatch"},
        {{"fw", "image", valid, "-o", (dir_ / "no-dir" / "x.bin").string()},
         1,
         "cannot write " + (dir_ / "no-dir" / "x.bin").string()},
        {{"fw", "image", valid}, 2, "--output"},
        {{"fw", "check"}, 2, "FILE"},
        {{"fw"}, 2, ""},
    };
    for (const Case& c : cases) {
        const CliResult result = RunCli(c.args);
        const std::string command = c.args.size() > 1 ? c.args[1] : c.args[0];
        EXPECT_EQ(result.exitCode, c.exitCode) << command << ": " << result.err;
        EXPECT_NE(result.err.find(c.error), std::string::npos) << command << ": " << result.err;
        if (c.exitCode == 1) {
            EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
            EXPECT_TRUE(result.out.empty()) << result.out;
        }
    }
    // A refused file leaves an existing image untouched.
    EXPECT_EQ(ReadBytes(keptOutput), "old content");
}

TEST_F(FwCommands, HelpDescribesBothCommands) {
    for (const char* command : {"check", "image"}) {
        const CliResult result = RunCli({"fw", command, "--help"});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_NE(result.out.find("10240"), std::string::npos) << command;
        EXPECT_NE(result.out.find("checksum"), std::string::npos) << command;
    }
    EXPECT_NE(RunCli({"fw", "image", "--help"}).out.find("-o,--output"), std::string::npos);
}

}  // namespace
}  // namespace zm880::test
