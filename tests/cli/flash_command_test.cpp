#include <gtest/gtest.h>

#include "flasher/FirmwareImage.h"
#include "hid/sim/SimulatedBus.h"
#include "support/HexFiles.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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

    // kSmallUpdateFile fills 2 of the 20 pages, so the runs here allow a partial file.
    CliResult RunFlash(const std::string& file, bool allowPartial = true) {
        std::vector<std::string> args{"flash", file, "--simulate=" + state_, "--trace", trace()};
        if (allowPartial) {
            args.push_back("--allow-partial");
        }
        return RunCli(args);
    }

    std::string trace() const { return (dir_ / "trace.txt").string(); }
    // Feature transfers the last runs logged.
    std::string Traced() const {
        std::ifstream in(trace());
        return std::string(std::istreambuf_iterator<char>(in), {});
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
    EXPECT_EQ(result.err,
              "zm880ctl: warning: " + hexFile_ +
                  " fills only 2 of the 20 firmware pages; the other 18 pages are erased by the "
                  "update\n");
}

TEST_F(FlashCommand, FilesThatWouldEraseFirmwareAreRefusedBeforeAnythingIsSent) {
    struct Case {
        std::string name;
        std::string file;
        int exitCode;
        std::string message;
    };
    const std::vector<Case> cases{
        {"0 bytes", Write("empty.hex", ""), 1,
         "ERROR: File not found! - the update file holds no data for flash 0x1400-0x3BFF; "
         "sending it would erase the firmware\n"},
        {"data only below the image", Write("low.hex", HexRecord(0, 0x1000, {1, 2, 3}) + "\n"), 1,
         "ERROR: File not found! - the update file holds no data for flash 0x1400-0x3BFF; "
         "sending it would erase the firmware\n"},
        {"2 of 20 pages without --allow-partial", hexFile_, 2,
         hexFile_ + " fills only 2 of the 20 firmware pages; the other 18 pages are erased by "
                    "the update; add --allow-partial to update anyway\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult result = RunFlash(c.file, false);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.err, "zm880ctl: " + c.message);
        EXPECT_EQ(Traced(), "");
        EXPECT_EQ(ReaderFlash(), OldFirmware());
    }
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
        {"checksum mismatch on page 2",
         [](sim::ReaderModel& r) { r.Faults().wrongChecksumPage = 1; }, hexFile_, 5,
         "CRC Error during flash write - checksum mismatch on page 2 of 20 (flash address "
         "0x1600): the loader reported 0xC889, expected 0x3776; page 1 of 20 was replaced and "
         "page 2 of 20 may be damaged; the update must be run again",
         true},
        {"status read fails", [](sim::ReaderModel& r) { r.Faults().failGet.insert(0x05); },
         hexFile_, 4, "ERROR: get report - the ", false},
        {"refused update file", [](sim::ReaderModel&) {},
         Write("bad.hex", ":10140000000102030405060708090A0B0C0D0E0F64\nxyz\n"), 1,
         "ERROR: File not found! - the update file was refused: line 2: ", false},
        {"missing update file", [](sim::ReaderModel&) {}, (dir_ / "gone.hex").string(), 1,
         "ERROR: File not found! - the file does not exist", false},
        // A reader whose node cannot be opened for transfers has a device object: the first
        // send fails (code 3), and the line says why.
        {"reader without permission",
         [](sim::ReaderModel& r) { r.Link().open = sim::OpenFault::AccessDenied; }, hexFile_, 3,
         "ERROR: set report - " +
             hid::DescribeTransferError({hid::TransferError::Kind::AccessDenied, ""}) +
             "; no page was replaced",
         false},
        {"reader that opens for queries only",
         [](sim::ReaderModel& r) { r.Link().open = sim::OpenFault::QueryOnly; }, hexFile_, 3,
         "ERROR: set report - the transfer failed: the reader could not be opened for "
         "transfers; no page was replaced",
         false},
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

// The exit code is the step code of the loader's status answer, status - 1 for 2 to 6 and 6 for
// any other value, with the status on the error line. (Every value 0-255 is run in-process by
// the update engine's tests; here the exit codes.)
TEST_F(FlashCommand, LoaderStatusesExitWithTheirStepCode) {
    struct Case {
        int status;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {0, 6, "unexpected loader status 0 - the loader answered status 0 to command 0x01"},
        {2, 1, "ERROR: File not found! - the loader refused the update (status 2)"},
        {3, 2, "ACCESS ERROR - the loader answered status 3 to command 0x01"},
        {4, 3, "ERROR: set report - the loader answered status 4 to command 0x01"},
        {5, 4, "ERROR: get report - the loader answered status 5 to command 0x01"},
        {6, 5, "CRC Error during flash write - the loader answered status 6 to command 0x01"},
        {7, 6, "unexpected loader status 7 - the loader answered status 7 to command 0x01"},
        {255, 6, "unexpected loader status 255 - the loader answered status 255 to command 0x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        ChangeReader([&](sim::ReaderModel& reader) {
            reader.Faults() = {};
            reader.Faults().statusAnswers.push_back({0x01, 0, static_cast<std::uint8_t>(c.status)});
        });
        const CliResult result = RunFlash(hexFile_);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("; no page was replaced\n"), std::string::npos) << result.err;
    }
}

// An update cut off leaves the reader in its loader, which takes report 3 as page data: at a
// page boundary, in the middle of a page (transfers 24 to 31 are page 2's write command and data
// reports) or right after a page command. Plugged in again, the reader gets no settings: `set`
// names the loader, and neither the flash nor the record changes.
TEST_F(FlashCommand, SettingsAreRefusedWhileAnUpdateCutOffLeftTheLoaderRunning) {
    UseStateHome(dir_ / "state");
    for (int cutAfter : {17, 20, 22, 24, 25, 26, 27, 28, 29, 30, 31, 33}) {
        SCOPED_TRACE(cutAfter);
        ChangeReader([&](sim::ReaderModel& reader) {
            reader.Faults() = {};
            reader.Flash() = OldFirmware();
            reader.Loader() = {};
            reader.Link().unplugAfterTransfers = cutAfter;
        });
        EXPECT_NE(RunFlash(hexFile_).exitCode, 0);
        ASSERT_EQ(RunCli({"--simulate=" + state_, "sim", "plug", "0"}).exitCode, 0);
        sim::LoaderState loader;
        sim::SettingsRecord record;
        flasher::FirmwareImage flash;
        ChangeReader([&](sim::ReaderModel& reader) {
            loader = reader.Loader();
            record = reader.Settings();
            flash = reader.Flash();
        });
        ASSERT_TRUE(loader.active);

        const CliResult set = RunCli({"set", "Suffix=Tab", "--simulate=" + state_});
        EXPECT_EQ(set.exitCode, 1);
        EXPECT_NE(set.err.find("the reader is still in its firmware loader (an update did not "
                               "finish); run the firmware update again"),
                  std::string::npos)
            << set.err;
        ChangeReader([&](sim::ReaderModel& reader) {
            EXPECT_EQ(reader.Loader(), loader);
            EXPECT_EQ(reader.Settings(), record);
            EXPECT_EQ(reader.Flash(), flash);
        });
    }
}

TEST_F(FlashCommand, RefusesFilesWithoutTheLowerCaseHexExtension) {
    for (const std::string name : {"fw.HEX", "fw.Hex", "fw", "fw.hex.bak", "fw.hex.d/fw"}) {
        SCOPED_TRACE(name);
        const CliResult result = RunFlash(Write(name, kSmallUpdateFile));
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "zm880ctl: ERROR: Bad Update-File - the name must end in .hex\n");
        EXPECT_EQ(ReaderFlash(), OldFirmware());
    }
}

}  // namespace
}  // namespace zm880::test
