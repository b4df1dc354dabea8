#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "hid/sim/SimulatedBus.h"
#include "reader/ReaderSession.h"
#include "sim/ReaderModel.h"
#include "support/BusFile.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;

// A scratch directory per test holding the simulated bus's state file and the backups.
class ReaderCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ =
            fs::path(::testing::TempDir()) / ("zm880_reader_commands_" + std::string(info->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_ = (dir_ / "bus.json").string();
        UseStateHome(dir_ / "state");
    }

    void TearDown() override { fs::remove_all(dir_); }

    // Prepares the state file: one default reader, then whatever `setup` changes.
    void MakeBus(const std::function<void(hid::SimulatedBus&)>& setup) {
        ChangeBusFile(state_, setup);
    }

    CliResult Run(std::vector<std::string> args) {
        args.push_back("--simulate=" + state_);
        return RunCli(args);
    }

    std::vector<fs::path> Backups() const { return BackupFiles(dir_ / "state"); }

    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    fs::path dir_;
    std::string state_;
};

TEST_F(ReaderCommandsTest, SeparateRunsShareOneReaderThroughTheStateFile) {
    const CliResult list = Run({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(Contains(list.out, "0  sim:hidraw0  ZM-880 RFID Reader - VID=169B PID=0710"));
    EXPECT_TRUE(Contains(list.out, "feature report 65 bytes  accessible"));

    const CliResult set = Run({"raw", "set", "03", "01", "15", "08", "2"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_TRUE(Contains(set.out, "W 03  01 15 08 02 00 "));

    // The global options may also stand before the command.
    const CliResult get = RunCli({"--simulate=" + state_, "raw", "get", "3"});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out.substr(0, 18), "R 03  01 15 08 02 ");
    EXPECT_EQ(get.out.size(), 198u + 1u);
}

TEST_F(ReaderCommandsTest, InaccessibleReaderIsListedWithWhatToDo) {
    MakeBus(
        [](hid::SimulatedBus& bus) { bus.Reader(0).Link().open = sim::OpenFault::AccessDenied; });
    const CliResult list = Run({"list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(Contains(list.out, "present but not accessible"));
    EXPECT_TRUE(Contains(list.out, kAccessHint));

    const CliResult show = Run({"show"});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_TRUE(Contains(show.err, kAccessHint));
}

TEST_F(ReaderCommandsTest, AllRunsOnEveryReaderAndFailsIfOneFails) {
    MakeBus([](hid::SimulatedBus& bus) {
        auto second = std::make_unique<sim::ReaderModel>();
        second->Faults().failGet.insert(3);
        bus.Add(std::move(second));
    });
    const CliResult show = Run({"show", "--all"});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_TRUE(Contains(show.out, "reader 0 (sim:hidraw0): ok"));
    EXPECT_TRUE(Contains(show.out, "reader 1 (sim:hidraw1): failed: "));

    const CliResult second = Run({"raw", "get", "05", "--device", "sim:hidraw1"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
}

TEST_F(ReaderCommandsTest, SettingsWritesAreBackedUpAndDryRunWritesNothing) {
    const CliResult dry = Run({"set", "Suffix=Tab", "CharDelay=50", "--dry-run"});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_TRUE(Contains(dry.out, "Suffix: 1 (Enter) -> 2 (Tab)"));
    EXPECT_TRUE(Contains(dry.out, "CharDelay: 0 ms -> 50 ms"));
    EXPECT_TRUE(Backups().empty());
    EXPECT_TRUE(Contains(Run({"show"}).out, "(Enter)"));

    const CliResult set = Run({"set", "Suffix=Tab"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_TRUE(Contains(set.out, "settings written and verified"));
    ASSERT_EQ(Backups().size(), 1u);
    const fs::path backup = Backups().front();
    EXPECT_TRUE(Contains(set.out, "backup: " + backup.string()));
    EXPECT_EQ(fs::file_size(backup), 64u);
    EXPECT_TRUE(Contains(Run({"show"}).out, "(Tab)"));

    // The backup holds the record as it was and restores it.
    const CliResult load = Run({"load", backup.string()});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_TRUE(Contains(Run({"show"}).out, "(Enter)"));
    EXPECT_EQ(Backups().size(), 2u);
}

TEST_F(ReaderCommandsTest, TraceFileRecordsTheTransfers) {
    const std::string trace = (dir_ / "trace.txt").string();
    ASSERT_EQ(Run({"raw", "get", "03", "--trace", trace}).exitCode, 0);
    ASSERT_EQ(Run({"reset", "--trace", trace}).exitCode, 0);
    std::ifstream in(trace);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_TRUE(Contains(text, "GET 03 01 15"));
    EXPECT_TRUE(Contains(text, "SET 06 00 00 00\n"));
}

TEST_F(ReaderCommandsTest, BadInputIsUsageErrorAndFailuresExitOne) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    };
    const Case cases[] = {
        {{"raw", "get", "0x03"}, 2},
        {{"raw", "set", "03", "1 2"}, 2},
        {{"show", "--device", "7"}, 2},
        {{"set", "Bogus=1"}, 2},
        {{"set", "MaxLength=5"}, 2},  // not a field of the default reader's type
        {{"load", (dir_ / "missing.cfg").string()}, 1},
    };
    for (const Case& c : cases) {
        const CliResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args.front() << " " << c.args.back();
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_TRUE(Backups().empty());
}

}  // namespace
}  // namespace zm880::test
