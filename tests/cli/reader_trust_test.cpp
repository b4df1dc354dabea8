#include <gtest/gtest.h>
#include "support/BusFile.h"
#include "support/TestFolders.h"
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/RunCli.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One simulated bus in a state file per test, backups in the test's own folder.
class ReaderTrust : public testing::Test {
  protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(testing::TempDir()) / ("zm880_reader_trust_" + std::string(info->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        state_ = (dir_ / "bus.json").string();
        UseStateHome(dir_ / "state");
        MakeBus([](hid::SimulatedBus&) {});
    }
    void TearDown() override { fs::remove_all(dir_); }

    void MakeBus(const std::function<void(hid::SimulatedBus&)>& setup) {
        ChangeBusFile(state_, setup);
    }

    sim::SettingsRecord ReaderRecord(std::size_t slot = 0) const {
        return ReaderRecordInBusFile(state_, slot);
    }

    CliResult Run(std::vector<std::string> args) const {
        args.push_back("--simulate=" + state_);
        return RunCli(args);
    }

    std::vector<fs::path> Backups() const { return BackupFiles(dir_ / "state"); }

    std::string WriteFile(const std::string& name, const Bytes& bytes) const {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path dir_;
    std::string state_;
};

// Bytes 26 to 63 are no field's, so a load through the fields cannot bring them back.
TEST_F(ReaderTrust, RestoreWritesTheSavedRecordByteForByteAndVerifiesIt) {
    MakeBus([](hid::SimulatedBus& bus) {
        for (std::size_t i = 26; i < 64; ++i) {
            bus.Reader(0).Settings()[i] = static_cast<std::uint8_t>(i * 3);
        }
    });
    const sim::SettingsRecord original = ReaderRecord();
    const CliResult set = Run({"set", "Suffix=Tab"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    ASSERT_EQ(Backups().size(), 1u);
    const fs::path backup = Backups().front();
    EXPECT_TRUE(Contains(set.out, "(undo with: zm880ctl restore " + backup.string() + ")"));

    ASSERT_EQ(Run({"raw", "set", "03", "01", "15"}).exitCode, 0);  // every other byte now 00
    const CliResult restore = Run({"restore", backup.string()});
    ASSERT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_TRUE(Contains(restore.out, "record restored and verified (64 bytes)"));
    EXPECT_EQ(ReaderRecord(), original);
    EXPECT_EQ(Backups().size(), 2u);  // the record it replaced is kept, too
}

#ifndef _WIN32
// The printed undo command works as printed, also for a path with blanks and quotes.
TEST_F(ReaderTrust, TheUndoCommandWorksInAShell) {
    UseStateHome(dir_ / "it's my state");
    const sim::SettingsRecord original = ReaderRecord();
    const CliResult set = Run({"set", "Suffix=Tab"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const std::string lead = "(undo with: zm880ctl ";
    const std::size_t start = set.out.find(lead);
    ASSERT_NE(start, std::string::npos) << set.out;
    const std::size_t end = set.out.find(")\n", start);
    const std::string undo = set.out.substr(start + lead.size(), end - start - lead.size());
    EXPECT_TRUE(undo.starts_with("restore '")) << undo;
    const std::string command =
        std::string(ZM880CTL_PATH) + " " + undo + " --simulate=" + state_ + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReaderRecord(), original);
}
#endif

TEST_F(ReaderTrust, RestoreRefusesWhatIsNotASavedRecordAndWritesNothing) {
    Bytes other(64, 0);
    other[0] = 5;
    const sim::SettingsRecord before = ReaderRecord();
    const std::string shortFile = WriteFile("short.cfg", Bytes(10, 3));
    const std::string otherFile = WriteFile("other.cfg", other);
    struct Case {
        std::string file;
        std::string error;
    };
    for (const Case& c :
         {Case{shortFile, shortFile + " holds 10 bytes; a saved settings record has 64"},
          Case{otherFile, otherFile + " holds no settings record (byte 0 is 5, not 3)"}}) {
        const CliResult result = Run({"restore", c.file});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "zm880ctl: " + c.error + "\n");
    }
    EXPECT_EQ(ReaderRecord(), before);
    EXPECT_TRUE(Backups().empty());
}

TEST_F(ReaderTrust, LoadRefusesAFileOfAnotherReaderTypeUnlessForced) {
    const std::string file = (dir_ / "saved.cfg").string();
    ASSERT_EQ(Run({"save", file}).exitCode, 0);
    Bytes bytes = ReadBytes(file);
    bytes[8] = 3;
    bytes[4] = 2;  // Suffix Tab
    WriteFile("saved.cfg", bytes);
    const sim::SettingsRecord before = ReaderRecord();

    const CliResult refused = Run({"load", file});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "zm880ctl: " + file +
                               " is for reader type 3, the reader is type 0; --force writes it "
                               "anyway\n");
    EXPECT_EQ(ReaderRecord(), before);

    const CliResult forced = Run({"load", file, "--force"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(ReaderRecord()[8], 3);
}

// A report too short for the settings would leave the fields to the program's own buffer.
TEST_F(ReaderTrust, AReaderWithATooShortReportIsRefusedNamingTheLength) {
    MakeBus([](hid::SimulatedBus& bus) { bus.Reader(0).SetFeatureReportLength(10); });
    const sim::SettingsRecord before = ReaderRecord();
    for (const std::vector<std::string>& args : {std::vector<std::string>{"show"},
                                                 {"set", "Suffix=Tab"},
                                                 {"defaults"},
                                                 {"save", (dir_ / "x.cfg").string()}}) {
        SCOPED_TRACE(args.front());
        const CliResult result = Run(args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  "zm880ctl: the reader's feature report is 10 bytes long; the settings record "
                  "needs 26\n");
        EXPECT_FALSE(Contains(result.out, "verified"));
    }
    EXPECT_EQ(ReaderRecord(), before);
    EXPECT_FALSE(fs::exists(dir_ / "x.cfg"));
}

TEST_F(ReaderTrust, JsonModePrintsExactlyOneDocumentAlsoForAllAndForErrors) {
    MakeBus([](hid::SimulatedBus& bus) {
        auto second = std::make_unique<sim::ReaderModel>();
        second->Faults().failGet.insert(3);
        bus.Add(std::move(second));
    });
    const CliResult all = Run({"--all", "show", "--json"});
    EXPECT_EQ(all.exitCode, 1);
    const nlohmann::json results = nlohmann::json::parse(all.out);  // throws on anything extra
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["path"], "sim:hidraw0");
    EXPECT_EQ(results[0]["ok"], true);
    EXPECT_EQ(results[0]["settings"]["Baud"], 9600);
    EXPECT_EQ(results[1]["path"], "sim:hidraw1");
    EXPECT_EQ(results[1]["ok"], false);
    EXPECT_EQ(results[1]["error"]["exitCode"], 1);
    EXPECT_TRUE(results[1]["error"]["message"].is_string());

    const CliResult raw = Run({"raw", "get", "03", "--json", "--all"});
    EXPECT_EQ(nlohmann::json::parse(raw.out)[0]["report"]["reportId"], 3);

    const CliResult missing = Run({"show", "--json", "--device", "7"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(nlohmann::json::parse(missing.out),
              (nlohmann::json{
                  {"error", {{"message", "no reader 7 (see 'zm880ctl list')"}, {"exitCode", 2}}}}));
    EXPECT_EQ(missing.err, "zm880ctl: no reader 7 (see 'zm880ctl list')\n");
}

// show --json prints every key in the documented order, also for --all; cfg show --json prints
// the complete profile in that order (no ReaderVersion: a profile cannot set it).
TEST_F(ReaderTrust, JsonKeysComeInTheDocumentedOrder) {
    std::istringstream order(
        "ReaderVersion Baud Suffix AddType UsedAltKey CharDelay DoubleTimeout ReaderType "
        "ReaderTypeName ByteMirror BitMirror Interface UserCmd LfTags HfTags LegicReadData "
        "MultiLegicSegment MultiLegicOffset MultiLegicCount LegicStartAddr LegicLength "
        "LegicSegment MaxLength Tags125");
    const std::vector<std::string> documented{std::istream_iterator<std::string>(order),
                                              std::istream_iterator<std::string>()};
    const auto keys = [](const nlohmann::ordered_json& object) {
        std::vector<std::string> names;
        for (const auto& item : object.items()) {
            names.push_back(item.key());
        }
        return names;
    };
    const CliResult one = Run({"show", "--json"});
    ASSERT_EQ(one.exitCode, 0) << one.err;
    EXPECT_EQ(keys(nlohmann::ordered_json::parse(one.out)), documented);
    const CliResult all = Run({"--all", "show", "--json"});
    ASSERT_EQ(all.exitCode, 0) << all.err;
    const nlohmann::ordered_json results = nlohmann::ordered_json::parse(all.out);
    EXPECT_EQ(keys(results.at(0)), (std::vector<std::string>{"index", "path", "ok", "settings"}));
    EXPECT_EQ(keys(results.at(0).at("settings")), documented);

    const fs::path cfg = dir_ / "reader.cfg";
    ASSERT_EQ(Run({"save", cfg.string()}).exitCode, 0);
    const CliResult file = RunCli({"cfg", "show", cfg.string(), "--json"});
    ASSERT_EQ(file.exitCode, 0) << file.err;
    const std::vector<std::string> profile = keys(nlohmann::ordered_json::parse(file.out));
    std::vector<std::string> expected;
    std::copy_if(documented.begin() + 1, documented.end(), std::back_inserter(expected),
                 [&](const std::string& key) {
                     return std::find(profile.begin(), profile.end(), key) != profile.end();
                 });
    EXPECT_EQ(profile, expected);
    EXPECT_EQ(profile.front(), "Baud");
}

TEST_F(ReaderTrust, UsageMistakesAreNamedAndIoFailuresExitOne) {
    const sim::SettingsRecord before = ReaderRecord();
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string error;
    };
    const Case cases[] = {
        {{"raw", "set", "3", "100"}, 2, "hexadecimal byte 100 is above FF"},
        {{"raw", "get", "100"}, 2, "hexadecimal report ID 100 is above FF"},
        {{"raw", "set", "103"}, 2, "hexadecimal report ID 103 is above FF"},
        {{"show", "--all", "--device", "0"},
         2,
         "--all and --device exclude each other: --all uses every reader"},
        {{"lsit"}, 2, "unknown command 'lsit' (see --help)"},
        {{"nosuch", "--help"}, 2, "unknown command 'nosuch' (see --help)"},
        {{"--simulate", "bus.json", "nosuch", "--help"}, 2, "unknown command 'nosuch' (see --help)"},
        {{"cfg", "shwo", "--help"}, 2, "unknown command 'shwo' (see --help)"},
        // Options a command does not take are refused, wherever they stand.
        {{"list", "--device", "0"}, 2, "list shows every reader: --device and --all do not apply"},
        {{"--all", "list"}, 2, "list shows every reader: --device and --all do not apply"},
        {{"watch", "--all"}, 2, "watch reports every reader: --device and --all do not apply"},
        {{"--device", "0", "watch"},
         2,
         "watch reports every reader: --device and --all do not apply"},
        {{"--device", "1", "inventory"},
         2,
         "inventory lists every reader: --device and --all do not apply"},
        {{"inventory", "--all"}, 2, "inventory lists every reader: --device and --all do not apply"},
        {{"save", (dir_ / "one.cfg").string(), "--all"},
         2,
         "save writes one FILE: --all would write every reader to it in turn; choose the reader "
         "with --device"},
        {{"--all", "save", (dir_ / "one.json").string()},
         2,
         "save writes one FILE: --all would write every reader to it in turn; choose the reader "
         "with --device"},
        // Negative and zero counts in plain words.
        {{"sim", "plug", "-1"},
         2,
         "SLOT: must be a slot number (0 or more), not '-1' (see --help)"},
        {{"sim", "unplug", "x"},
         2,
         "SLOT: must be a slot number (0 or more), not 'x' (see --help)"},
        {{"provision", (dir_ / "p.json").string(), "--count", "0"},
         2,
         "--count: must be a number of readers (1 or more), not '0' (see --help)"},
        {{"provision", (dir_ / "p.json").string(), "--count", "-2"},
         2,
         "--count: must be a number of readers (1 or more), not '-2' (see --help)"},
        {{"--device", "0", "cfg", "shwo"}, 2, "unknown command 'shwo' (see --help)"},
        {{"show", "--trace", (dir_ / "no-folder" / "t.txt").string()},
         1,
         "cannot open trace file " + (dir_ / "no-folder" / "t.txt").string() +
             ": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliResult result = Run(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.err, "zm880ctl: " + c.error + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_FALSE(fs::exists(dir_ / "one.cfg"));
    EXPECT_FALSE(fs::exists(dir_ / "one.json"));
    EXPECT_EQ(ReaderRecord(), before);
    EXPECT_EQ(Run({"raw", "get", "003"}).exitCode, 0);  // leading zeros are still one byte
}

TEST_F(ReaderTrust, DeviceStringsAreEscapedInTextAndKeptInJson) {
    // C0 and C1 controls (U+009B starts a terminal sequence, too) and DEL are escaped, other
    // characters are kept.
    const std::string product = "Évil\x1b]0;owned\x07\nfake line\x7f\u009B2J";
    MakeBus([&](hid::SimulatedBus& bus) { bus.Reader(0).Identity().product = product; });
    const CliResult list = Run({"list"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_TRUE(Contains(list.out, "Évil\\x1B]0;owned\\x07\\x0Afake line\\x7F\\xC2\\x9B2J"))
        << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1);

    const CliResult json = Run({"list", "--json"});
    EXPECT_TRUE(Contains(nlohmann::json::parse(json.out)[0]["text"].get<std::string>(), product));
}

#ifndef _WIN32
// As root every folder can be searched, so the command runs as "nobody".
TEST_F(ReaderTrust, AnUnsearchableBackupFolderFailsWithOneLine) {
    const fs::path backups = dir_ / "state" / "zm880" / "backups";
    fs::create_directories(backups);
    fs::permissions(backups, fs::perms::owner_all);
    fs::permissions(dir_, fs::perms::all);
    fs::permissions(state_, fs::perms::all);
    const sim::SettingsRecord before = ReaderRecord();

    CliSetup unprivileged;
    unprivileged.unprivileged = true;
    const CliResult result = RunCli({"set", "Suffix=Tab", "--simulate=" + state_}, unprivileged);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(
        result.err.starts_with("zm880ctl: backup failed: cannot create " + backups.string()))
        << result.err;
    EXPECT_TRUE(result.err.ends_with(": Permission denied; nothing written\n")) << result.err;
    EXPECT_EQ(ReaderRecord(), before);
}
#endif

// Runs started together share a time stamp; each must still get its own backup.
TEST_F(ReaderTrust, SimultaneousWritesNeverShareABackup) {
    constexpr int kRuns = 8;
    std::vector<std::string> states;
    for (int i = 0; i < kRuns; ++i) {
        states.push_back((dir_ / ("bus" + std::to_string(i) + ".json")).string());
        hid::SimulatedBus bus(states.back());
        bus.Reader(0).Settings()[40] = static_cast<std::uint8_t>(i);
        bus.Save();
    }
    std::vector<std::future<CliResult>> runs;
    for (const std::string& state : states) {
        runs.push_back(std::async(std::launch::async, [state] {
            return RunCli({"set", "Suffix=Tab", "--simulate=" + state});
        }));
    }
    for (auto& run : runs) {
        const CliResult result = run.get();
        EXPECT_EQ(result.exitCode, 0) << result.err;
    }
    std::set<std::uint8_t> marks;
    for (const fs::path& backup : Backups()) {
        marks.insert(ReadBytes(backup).at(40));
    }
    EXPECT_EQ(marks.size(), static_cast<std::size_t>(kRuns));
}

TEST(ReaderTrustVersion, VersionIsTheProjectVersion) {
    const CliResult version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("zm880ctl ") + ZM880_PROJECT_VERSION + "\n");
}

}  // namespace
}  // namespace zm880::test
