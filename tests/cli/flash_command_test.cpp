#include <gtest/gtest.h>

#include "flasher/FirmwareImage.h"
#include "hid/sim/SimulatedBus.h"
#include "support/HexFiles.h"
#include "support/RunCli.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace zm880::test {
namespace {

namespace fs = std::filesystem;

// A reader whose flash holds a known pattern, so that what an update changed shows.
flasher::FirmwareImage OldFirmware() {
    flasher::FirmwareImage image;
    image.fill(0x5A);
    return image;
}

class FlashCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zm880-flash-" + std::to_string(std::random_device{}()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        state_ = (dir_ / "bus.json").string();
        hexFile_ = Write("fw.hex", kSmallUpdateFile);
        ChangeReader([](sim::ReaderModel& reader) { reader.Flash() = OldFirmware(); });
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = dir_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    void ChangeReader(const std::function<void(sim::ReaderModel&)>& change) {
        hid::SimulatedBus bus(state_);
        change(bus.Reader(0));
        bus.Save();
    }

    flasher::FirmwareImage ReaderFlash() {
        hid::SimulatedBus bus(state_);
        return bus.Reader(0).Flash();
    }

    CliResult RunFlash(const std::string& file) {
        return RunCli({"flash", file, "--simulate=" + state_});
    }

    fs::path dir_;
    std::string state_;
    std::string hexFile_;
};

TEST_F(FlashCommand, UpdateLandsTheImageAndReportsEveryPage) {
    const CliResult result = RunFlash(hexFile_);

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReaderFlash(), SmallUpdateImage());
    // Not a terminal: one line per page, then the outcome.
    EXPECT_NE(result.out.find("page 1/20"), std::string::npos);
    EXPECT_NE(result.out.find("page 20/20"), std::string::npos);
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
    EXPECT_NE(result.out.find("ready\n"), std::string::npos);
}

TEST_F(FlashCommand, FailuresExitWithTheStepCodeAndItsMessage) {
    struct Case {
        std::string name;
        std::function<void(sim::ReaderModel&)> arrange;
        std::string file;
        int exitCode;
        std::string message;
        bool firstPageLands;
    };
    const std::vector<Case> cases{
        {"checksum mismatch on page 1",
         [](sim::ReaderModel& r) { r.Faults().wrongChecksumPage = 1; }, hexFile_, 5,
         "CRC Error during flash write", true},
        {"status 2 to page command 0x01",
         [](sim::ReaderModel& r) {
             r.Faults().statusAnswers.push_back({0x01, 0, 2});
         },
         hexFile_, 1, "ERROR: File not found!", false},
        {"unexpected status",
         [](sim::ReaderModel& r) {
             r.Faults().statusAnswers.push_back({0x02, 0, 9});
         },
         hexFile_, 6, "unexpected loader status 9", false},
        {"status read fails", [](sim::ReaderModel& r) { r.Faults().failGet.insert(0x05); },
         hexFile_, 4, "ERROR: get report", false},
        {"refused update file", [](sim::ReaderModel&) {},
         Write("bad.hex", ":10140000000102030405060708090A0B0C0D0E0F64\nxyz\n"), 1,
         "ERROR: File not found! (update file refused: line 2", false},
        {"missing update file", [](sim::ReaderModel&) {}, (dir_ / "gone.hex").string(), 1,
         "ERROR: File not found!", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeReader([&](sim::ReaderModel& reader) {
            reader.Faults() = {};
            reader.Flash() = OldFirmware();
            c.arrange(reader);
        });
        const CliResult result = RunFlash(c.file);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("ready"), std::string::npos);

        const flasher::FirmwareImage flash = ReaderFlash();
        const flasher::FirmwareImage expected = SmallUpdateImage();
        const flasher::FirmwareImage old = OldFirmware();
        const auto page0 = flasher::ImagePage(c.firstPageLands ? expected : old, 0);
        EXPECT_TRUE(std::equal(page0.begin(), page0.end(), flash.begin()));
        EXPECT_TRUE(std::equal(old.begin() + flasher::kPageSize * 2, old.end(),
                               flash.begin() + flasher::kPageSize * 2));
    }
}

TEST_F(FlashCommand, RefusesFilesWithoutTheLowerCaseHexExtension) {
    for (const std::string name : {"fw.HEX", "fw.Hex", "fw", "fw.hex.bak", "fw.hex.d/fw"}) {
        SCOPED_TRACE(name);
        const CliResult result = RunFlash(Write(name, kSmallUpdateFile));
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find("ERROR: Bad Update-File"), std::string::npos) << result.err;
        EXPECT_EQ(ReaderFlash(), OldFirmware());
    }
}

}  // namespace
}  // namespace zm880::test
