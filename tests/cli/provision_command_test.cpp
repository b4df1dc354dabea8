#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/BackgroundRun.h"
#include "support/BusFile.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

constexpr std::size_t kCharDelayByte = 6;
constexpr std::size_t kInterfaceByte = 11;
constexpr std::size_t kSuffixByte = 4;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ProvisionCommand : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        state_ = (dir_ / "bus.json").string();
        report_ = (dir_ / "report.jsonl").string();
        profile_ = (dir_ / "profile.json").string();
        UseStateHome(dir_ / "state");
        std::ofstream(profile_) << R"({"CharDelay": 150, "Interface": 1})";
    }

    void OnBus(const std::function<void(hid::SimulatedBus&)>& change) const {
        ChangeBusFile(state_, change);
    }

    sim::SettingsRecord Record(std::size_t slot) const {
        return ReaderRecordInBusFile(state_, slot);
    }

    std::vector<std::string> Provision(std::vector<std::string> args) const {
        args.insert(args.begin(), {"provision", profile_, "--simulate=" + state_});
        return args;
    }

    std::string state_;
    std::string report_;
    std::string profile_;
};

TEST_F(ProvisionCommand, ProvisionsPresentAndLaterReadersAndReportsTheFaultyOne) {
    OnBus([](hid::SimulatedBus& bus) {
        bus.Add(std::make_unique<sim::ReaderModel>());
        bus.Add(std::make_unique<sim::ReaderModel>());
        bus.Reader(1).Faults().failSet = {3};
    });
    const sim::SettingsRecord original = Record(0);

    BackgroundRun run(Provision({"--count", "5", "--report", report_}));
    ASSERT_TRUE(run.WaitForOutput("reader sim:hidraw2: "));
    // Two more readers, plugged in by another program.
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(RunCli({"--simulate=" + state_, "sim", "add"}).exitCode, 0);
    }
    const CliResult result = run.Finish();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(Lines(result.out),
              (std::vector<std::string>{
                  "reader sim:hidraw0: ok",
                  "reader sim:hidraw1: failed: writing feature report 03 failed: the transfer "
                  "failed: simulated fault",
                  "reader sim:hidraw2: ok", "reader sim:hidraw3: ok", "reader sim:hidraw4: ok"}));

    sim::SettingsRecord provisioned = original;
    provisioned[1] = 1;
    provisioned[kCharDelayByte] = 15;
    provisioned[kInterfaceByte] = 1;
    for (std::size_t slot = 0; slot < 5; ++slot) {
        EXPECT_EQ(Record(slot), slot == 1 ? original : provisioned) << "slot " << slot;
    }

    std::ifstream in(report_);
    std::vector<json> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(json::parse(line));
    }
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t slot = 0; slot < 5; ++slot) {
        const json& line = lines[slot];
        EXPECT_EQ(line["path"], "sim:hidraw" + std::to_string(slot));
        EXPECT_EQ(line["readerType"], 0);
        EXPECT_TRUE(fs::exists(line["backup"].get<std::string>()));
        EXPECT_FALSE(line["time"].get<std::string>().empty());
        EXPECT_EQ(line["result"], slot == 1 ? "failed" : "ok");
        EXPECT_EQ(line["changes"].size(), slot == 1 ? 0u : 2u);
    }
    EXPECT_EQ(lines[0]["changes"][0],
              json({{"field", "CharDelay"}, {"before", "0 ms"}, {"after", "150 ms"}}));
    EXPECT_TRUE(Contains(lines[1]["reason"].get<std::string>(), "simulated fault"));
}

TEST_F(ProvisionCommand, ASetInParallelIsNeitherUndoneNorUndoes) {
    // Slow transfers keep the provisioning of the reader open long enough for the `set`.
    OnBus([](hid::SimulatedBus& bus) {
        bus.Reader(0).Link().latency = std::chrono::milliseconds(200);
    });
    const sim::SettingsRecord original = Record(0);
    const fs::path backups = dir_ / "state";

    BackgroundRun run(Provision({"--count", "1"}));
    // The backup comes between provision's read and its write.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto backedUp = [&] {
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(backups, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_regular_file()) {
                return true;
            }
        }
        return false;
    };
    while (!backedUp() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(backedUp());
    const CliResult set = RunCli({"--simulate=" + state_, "set", "Suffix=2"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    const CliResult provisioned = run.Finish();
    EXPECT_EQ(provisioned.out, "reader sim:hidraw0: ok\n") << provisioned.err;

    const sim::SettingsRecord record = Record(0);
    EXPECT_EQ(record[kCharDelayByte], 15) << "the set undid the provisioning";
    EXPECT_NE(record[kSuffixByte], original[kSuffixByte]) << "the provisioning undid the set";
}

TEST_F(ProvisionCommand, CtrlCEndsTheRunAfterTheReaderInHand) {
    OnBus([](hid::SimulatedBus&) {});
    BackgroundRun run(Provision({"--report", report_}));
    ASSERT_TRUE(run.WaitForOutput("reader sim:hidraw0: ok\n"));
    const CliResult result = run.Finish(SIGINT);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "reader sim:hidraw0: ok\n");
    EXPECT_TRUE(result.err.empty()) << result.err;
    EXPECT_EQ(Record(0)[kCharDelayByte], 15);
}

TEST_F(ProvisionCommand, RefusesABadProfileOrUpdateFileBeforeAnyReaderIsTouched) {
    OnBus([](hid::SimulatedBus&) {});
    const sim::SettingsRecord original = Record(0);
    std::ofstream(profile_) << R"({"CharDelay": 150, "LegicLength": 300})";
    const CliResult refused = RunCli(Provision({"--count", "1", "--report", report_}));
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(Contains(refused.err, "LegicLength must be a whole number from 1 to 200"))
        << refused.err;

    std::ofstream(profile_) << R"({"CharDelay": 150})";
    const std::string empty = (dir_ / "empty.hex").string();
    std::ofstream(empty) << "";
    EXPECT_EQ(RunCli(Provision({"--count", "1", "--firmware", empty})).exitCode, 1);
    EXPECT_EQ(RunCli(Provision({"--count", "1", "--firmware", profile_})).exitCode, 2);
    EXPECT_EQ(RunCli(Provision({"--count", "0"})).exitCode, 2);
    EXPECT_EQ(RunCli(Provision({"--count", "1", "--all"})).exitCode, 2);

    EXPECT_EQ(Record(0), original);
    EXPECT_FALSE(fs::exists(report_));
    EXPECT_TRUE(BackupFiles(dir_ / "state").empty());
}

// A record that could not be written in full (here a file size limit in the middle of it), or
// the half line of a run killed while writing, must not join the next run's record.
TEST_F(ProvisionCommand, AReportLineCutShortIsDroppedBeforeTheNextRecord) {
    OnBus([](hid::SimulatedBus&) {});
    // Earlier records, longer than the bus's state file, so that the limit below stops only the
    // report.
    std::string earlier;
    while (earlier.size() < 8000) {
        earlier += R"({"time": "earlier", "result": "ok"})"
                   "\n";
    }
    const struct {
        const char* name;
        std::string leftover;  // what a killed run left after the earlier records
        std::optional<std::uint64_t> limit;
    } cases[] = {
        {"half line from a killed run", R"({"time": "2026-12-)", std::nullopt},
        {"write fails at the size limit", "", earlier.size() + 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(report_, std::ios::binary | std::ios::trunc) << earlier << c.leftover;
        if (c.limit) {
            CliSetup limited;
            limited.fileSizeLimit = c.limit;
            const CliResult cut = RunCli(Provision({"--count", "1", "--report", report_}), limited);
            EXPECT_EQ(cut.exitCode, 1);
            EXPECT_TRUE(Contains(cut.err, "could not be written; provisioning stopped")) << cut.err;
            std::ifstream in(report_, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), earlier);
        }
        const CliResult next = RunCli(Provision({"--count", "1", "--report", report_}));
        EXPECT_EQ(next.exitCode, 0) << next.err;
        std::ifstream in(report_, std::ios::binary);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(text.substr(0, earlier.size()), earlier);
        const std::vector<std::string> added = Lines(text.substr(earlier.size()));
        ASSERT_EQ(added.size(), 1u) << text.substr(earlier.size());
        EXPECT_EQ(json::parse(added[0])["result"], "ok");
        EXPECT_EQ(text.back(), '\n');
    }
}

TEST_F(ProvisionCommand, ReportsInCsvForSpreadsheets) {
    OnBus([](hid::SimulatedBus& bus) { bus.Add(std::make_unique<sim::ReaderModel>()); });
    const std::string csv = (dir_ / "site.csv").string();
    for (int run = 0; run < 2; ++run) {
        const CliResult result =
            RunCli(Provision({"--count", "2", "--report", csv, "--report-format", "csv"}));
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    std::ifstream in(csv, std::ios::binary);
    const std::vector<std::string> lines =
        Lines(std::string(std::istreambuf_iterator<char>(in), {}));
    // One header for the file, then one record per reader and run.
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "time,path,readerType,backup,changes,result,reason\r");
    EXPECT_TRUE(Contains(lines[1], ",sim:hidraw0,0,")) << lines[1];
    EXPECT_TRUE(Contains(lines[1],
                         ",CharDelay: 0 ms -> 150 ms; Interface: 0 (USB-HID-Keyboard) -> "
                         "1 (USB-VCOM),ok,\r"))
        << lines[1];
    // The second run finds the fields already set: nothing changes.
    EXPECT_TRUE(Contains(lines[3], ",,ok,\r")) << lines[3];

    EXPECT_EQ(RunCli(Provision({"--count", "1", "--report-format", "xml"})).exitCode, 2);
}

}  // namespace
}  // namespace zm880::test
