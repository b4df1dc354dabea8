#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "sim/BusState.h"
#include "support/BackgroundRun.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class SimCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(::testing::TempDir()) / ("zm880_sim_command_" + std::string(info->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_ = (dir_ / "bus.json").string();
        UseStateHome(dir_ / "state");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<std::string> On(std::vector<std::string> args) const {
        args.insert(args.begin(), "--simulate=" + state_);
        return args;
    }
    CliResult Run(const std::vector<std::string>& args) const { return RunCli(On(args)); }

    sim::StateJson State() const {
        std::ifstream in(state_);
        return sim::StateJson::parse(in);
    }

    fs::path dir_;
    std::string state_;
};

TEST_F(SimCommandTest, PlugsUnplugsAndAddsDevicesAndRefusesBadUse) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"sim", "add", "--kind", "hid"}, 0, "added: sim:hidraw1\n", ""},
        {{"sim", "add"}, 0, "added: sim:hidraw2\n", ""},
        {{"sim", "unplug", "0"}, 0, "unplugged: sim:hidraw0\n", ""},
        {{"sim", "plug", "0"}, 0, "plugged: sim:hidraw0\n", ""},
        {{"sim", "unplug", "3"}, 2, "", "no slot 3 on the simulated bus (it has 3)"},
        {{"sim", "add", "--kind", "mouse"}, 2, "", "--kind"},
    };
    for (const Case& c : cases) {
        const CliResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.args[1] << ' ' << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_TRUE(Contains(result.err, c.err)) << result.err;
    }
    const auto devices = State()["devices"];
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[1]["kind"], "hid");
    EXPECT_EQ(devices[0]["identity"], "sim-4") << "a replug is a new device instance";

    // The state file may also follow the subcommand, as with every other command.
    const CliResult addedAfter = RunCli({"sim", "add", "--simulate=" + state_});
    EXPECT_EQ(addedAfter.exitCode, 0) << addedAfter.err;
    EXPECT_EQ(addedAfter.out, "added: sim:hidraw3\n");
    const CliResult unpluggedAfter = RunCli({"sim", "unplug", "3", "--simulate", state_});
    EXPECT_EQ(unpluggedAfter.exitCode, 0) << unpluggedAfter.err;

    const CliResult withoutFile = RunCli({"--simulate", "sim", "add"});
    EXPECT_EQ(withoutFile.exitCode, 2);
    EXPECT_TRUE(Contains(withoutFile.err, "--simulate=FILE")) << withoutFile.err;
}

TEST_F(SimCommandTest, ParallelSetsOfDifferentFieldsAllArrive) {
    const std::vector<std::pair<std::string, std::string>> fields = {
        {"Baud", "19200"},         {"Suffix", "2"},           {"AddType", "true"},
        {"UsedAltKey", "true"},    {"CharDelay", "50"},       {"DoubleTimeout", "9"},
        {"ByteMirror", "true"},    {"BitMirror", "true"},     {"Interface", "1"},
        {"UserCmd", "3"},          {"LfTags", "[\"EM4102\"]"}, {"HfTags", "[\"MIFARE\"]"},
        {"MultiLegicSegment", "7"}, {"MultiLegicOffset", "9"}, {"MultiLegicCount", "4"},
    };
    ASSERT_EQ(Run({"list"}).exitCode, 0);
    std::vector<CliResult> results(fields.size());
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string value = fields[i].second;
        if (value.starts_with("[")) {
            value = value.substr(2, value.size() - 4);
        }
        runs.emplace_back([&, i, value] {
            results[i] = Run({"set", fields[i].first + "=" + value});
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(results[i].exitCode, 0) << fields[i].first << ": " << results[i].err;
    }

    const CliResult show = Run({"show", "--json"});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    const auto shown = sim::StateJson::parse(show.out);
    for (const auto& [field, value] : fields) {
        EXPECT_EQ(shown[field], sim::StateJson::parse(value)) << field << " was lost";
    }
}

TEST_F(SimCommandTest, WatchReportsReadersPluggedAndUnpluggedByAnotherRun) {
    ASSERT_EQ(Run({"list"}).exitCode, 0);
    BackgroundRun watch(On({"watch"}));
    // A plug before this line could go unheard; after it, none may.
    ASSERT_TRUE(watch.WaitForError("watching for readers (Ctrl+C ends)"));

    ASSERT_EQ(Run({"sim", "add"}).exitCode, 0);
    EXPECT_TRUE(watch.WaitForOutput("arrived: sim:hidraw1  ZM-880 RFID Reader"));
    ASSERT_EQ(Run({"sim", "unplug", "0"}).exitCode, 0);
    EXPECT_TRUE(watch.WaitForOutput("removed: sim:hidraw0"));

    const CliResult result = watch.Finish(SIGTERM);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(SimCommandTest, AStateFileThatCannotBeSavedIsSaidWithTheReason) {
    const std::string reason = "the state file could not be saved: File too large";
    struct Case {
        std::string prepared;
        std::vector<std::string> args;
    };
    const std::string ready = R"({"nextIdentity": 2, "devices": [{"identity": "sim-1"}]})";
    const std::vector<Case> cases = {
        // A plugged reader without identity must get one, so even a listing writes the file.
        {R"({"devices": [{}]})", {"list"}},
        {ready, {"sim", "unplug", "0"}},
        // Starting the loader changes what the file holds; raw writes make no backup first.
        {ready, {"raw", "set", "02", "34"}},
    };
    for (const Case& c : cases) {
        std::ofstream(state_) << c.prepared;
        BackgroundRun run(On(c.args), true);
        const CliResult result = run.Finish();
        EXPECT_EQ(result.exitCode, 1) << c.args[0] << ": " << result.err;
        EXPECT_TRUE(Contains(result.err, state_ + ": " + reason)) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        std::ifstream in(state_);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.prepared);
    }
}

TEST_F(SimCommandTest, ABusWhoseLockCannotBeTakenIsNeverChangedButMayBeListed) {
    const std::string lock = state_ + ".lock";
    struct Lock {
        const char* kind;
        std::function<void()> make;
        std::string reason;
    };
    const std::vector<Lock> locks = {
        {"folder", [&] { fs::create_directory(lock); }, "it is a folder"},
        {"dangling link", [&] { fs::create_symlink(dir_ / "nothing", lock); },
         "it is a symbolic link"},
        {"link into a missing folder", [&] { fs::create_symlink(dir_ / "gone" / "lock", lock); },
         "it is a symbolic link"},
    };
    const std::string ready = R"({"nextIdentity": 2, "devices": [{"identity": "sim-1"}]})";
    struct Case {
        std::string prepared;
        std::vector<std::string> args;
    };
    const std::vector<Case> changes = {
        {ready, {"set", "Suffix=2"}},
        {ready, {"sim", "add"}},
        {ready, {"sim", "unplug", "0"}},
        // A plugged reader without identity must get one: loading it is a change.
        {R"({"devices": [{}]})", {"list"}},
    };
    for (const Lock& kind : locks) {
        fs::remove_all(lock);
        kind.make();
        for (const Case& c : changes) {
            std::ofstream(state_) << c.prepared;
            const CliResult result = Run(c.args);
            EXPECT_EQ(result.exitCode, 1) << kind.kind << ", " << c.args[0] << ": " << result.err;
            EXPECT_TRUE(Contains(
                result.err, state_ + ": the lock " + lock + " cannot be taken: " + kind.reason))
                << kind.kind << ": " << result.err;
            EXPECT_FALSE(Contains(result.out, "verified")) << result.out;
            std::ifstream in(state_);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.prepared)
                << kind.kind << ", " << c.args[0];
        }
        std::ofstream(state_) << ready;
        const CliResult listed = Run({"list"});
        EXPECT_EQ(listed.exitCode, 0) << kind.kind << ": " << listed.err;
        EXPECT_TRUE(Contains(listed.out, "sim:hidraw0")) << listed.out;
    }
}

}  // namespace
}  // namespace zm880::test
