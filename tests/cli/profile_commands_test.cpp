#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <nlohmann/json.hpp>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/BusFile.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kCharDelayByte = 6;
constexpr std::size_t kInterfaceByte = 11;
constexpr std::size_t kUnownedByte = 40;  // no field covers it

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Two readers on a bus in a state file, each with an odd byte that only a byte-exact write keeps.
class ProfileCommands : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        state_ = (dir_ / "bus.json").string();
        UseStateHome(dir_ / "state");
        OnBus([](hid::SimulatedBus& bus) {
            bus.Add(std::make_unique<sim::ReaderModel>());
            for (std::size_t slot = 0; slot < 2; ++slot) {
                bus.Reader(slot).Settings()[kUnownedByte] = static_cast<std::uint8_t>(0x70 + slot);
            }
        });
    }

    void OnBus(const std::function<void(hid::SimulatedBus&)>& change) const {
        ChangeBusFile(state_, change);
    }

    sim::SettingsRecord Record(std::size_t slot) const {
        return ReaderRecordInBusFile(state_, slot);
    }

    CliResult Run(std::vector<std::string> args) const {
        args.push_back("--simulate=" + state_);
        return RunCli(args);
    }

    std::string WriteProfile(const std::string& name, const json& profile) const {
        const fs::path path = dir_ / name;
        std::ofstream(path) << profile.dump(2);
        return path.string();
    }

    std::string state_;
};

TEST_F(ProfileCommands, LoadSetsTheNamedFieldsAndKeepsEveryOtherByte) {
    const sim::SettingsRecord before = Record(0);
    const std::string profile =
        WriteProfile("p.json", {{"CharDelay", 150}, {"Interface", "USB-VCOM"}});
    const CliResult loaded = Run({"load", profile});
    ASSERT_EQ(loaded.exitCode, 0) << loaded.err;
    EXPECT_TRUE(Contains(loaded.out, "backup: ")) << loaded.out;
    EXPECT_TRUE(Contains(loaded.out, "settings written and verified")) << loaded.out;

    sim::SettingsRecord expected = before;
    expected[1] = 1;
    expected[kCharDelayByte] = 15;
    expected[kInterfaceByte] = 1;
    EXPECT_EQ(Record(0), expected);
    EXPECT_EQ(BackupFiles(dir_ / "state").size(), 1u);
}

TEST_F(ProfileCommands, ARefusedProfileWritesNothingAndNamesTheField) {
    const sim::SettingsRecord before = Record(0);
    const Bytes file(before.begin(), before.end());
    const fs::path cfg = dir_ / "reader.cfg";
    std::ofstream(cfg, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    struct Case {
        json profile;
        std::string field;
    };
    const std::vector<Case> cases = {
        {{{"CharDelay", 20}, {"MaxLength", 50}}, "MaxLength is not stored for reader type 0"},
        {{{"DoubleTimeout", 100}}, "DoubleTimeout must be a whole number from 0 to 99"},
        {{{"Speed", 1}}, "unknown field \"Speed\""},
    };
    for (const Case& c : cases) {
        const std::string profile = WriteProfile("bad.json", c.profile);
        const CliResult loaded = Run({"load", profile});
        EXPECT_EQ(loaded.exitCode, 2) << c.field;
        EXPECT_TRUE(Contains(loaded.err, c.field)) << loaded.err;
        EXPECT_TRUE(Contains(loaded.err, "nothing written")) << loaded.err;

        const CliResult set = RunCli({"cfg", "set", cfg.string(), "--profile", profile});
        EXPECT_EQ(set.exitCode, 2) << c.field;
        EXPECT_TRUE(Contains(set.err, c.field)) << set.err;
    }
    EXPECT_EQ(Record(0), before);
    EXPECT_TRUE(BackupFiles(dir_ / "state").empty());
    EXPECT_EQ(ReadBytes(cfg), file);

    const std::string notJson = (dir_ / "broken.json").string();
    std::ofstream(notJson) << "{\"CharDelay\": ";
    EXPECT_EQ(Run({"load", notJson}).exitCode, 2);
    EXPECT_EQ(Run({"load", notJson, "--force"}).exitCode, 2);
    EXPECT_EQ(Record(0), before);
}

// Crafted profile texts: each is refused as bad input naming the key, by every command that takes
// a profile, before anything is touched; none crashes or shows the JSON library's own text.
TEST_F(ProfileCommands, CraftedProfileTextIsRefusedNamingTheKey) {
    const sim::SettingsRecord before = Record(0);
    const fs::path cfg = dir_ / "reader.cfg";
    std::ofstream(cfg, std::ios::binary)
        .write(reinterpret_cast<const char*>(before.data()),
               static_cast<std::streamsize>(before.size()));
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"{\"LfTags\": " + std::string(100000, '['), "field \"LfTags\": values nested more than"},
        {"{\"CharDelay\": 1e400}", "field \"CharDelay\": a number too large"},
        {"{\"Suffix\": \"bogus\", \"Suffix\": 2}", "the key \"Suffix\" appears twice"},
        {"{\"CharDelay\": \"50\"}", "CharDelay must be a whole number from 0 to 2000"},
        {"{\"AddType\": 1}", "AddType must be true or false"},
    };
    const std::string profile = (dir_ / "crafted.json").string();
    for (const auto& c : cases) {
        std::ofstream(profile) << c.text;
        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"load", profile, "--simulate=" + state_},
              std::vector<std::string>{"cfg", "set", cfg.string(), "--profile", profile},
              std::vector<std::string>{"provision", profile, "--count", "1",
                                       "--simulate=" + state_}}) {
            SCOPED_TRACE(command.front() + " " + c.text.substr(0, 40));
            const CliResult result = RunCli(command);
            EXPECT_EQ(result.exitCode, 2) << result.err;
            EXPECT_TRUE(Contains(result.err, c.message)) << result.err;
            EXPECT_FALSE(Contains(result.err, "json.exception")) << result.err;
        }
    }
    EXPECT_EQ(Record(0), before);
    EXPECT_TRUE(BackupFiles(dir_ / "state").empty());
}

// What one reader holds, saved as a profile, makes another reader hold the same settings, while
// each keeps its own bytes that no field covers.
TEST_F(ProfileCommands, SaveThenLoadCarriesTheSettingsToAnotherReader) {
    ASSERT_EQ(Run({"set", "Suffix=Tab", "CharDelay=300", "LfTags=EM4102,AWID", "UserCmd=4",
                   "--device", "0"})
                  .exitCode,
              0);
    const std::string saved = (dir_ / "x.json").string();
    const CliResult save = Run({"save", saved, "--device", "0"});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    const json profile = json::parse(std::ifstream(saved));
    EXPECT_EQ(profile["LfTags"], json({"EM4102", "AWID"}));
    EXPECT_FALSE(profile.contains("MaxLength"));

    const CliResult load = Run({"load", saved, "--device", "1"});
    ASSERT_EQ(load.exitCode, 0) << load.err;
    EXPECT_EQ(Record(1)[kUnownedByte], 0x71);
    const std::string again = (dir_ / "y.json").string();
    ASSERT_EQ(Run({"save", again, "--device", "1"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(again), ReadBytes(saved));

    // A settings file takes the same profile, byte for byte where no field is named.
    const fs::path cfg = dir_ / "blank.cfg";
    Bytes blank(64, 0x00);
    blank[0] = 3;
    blank[kUnownedByte] = 0x99;
    std::ofstream(cfg, std::ios::binary)
        .write(reinterpret_cast<const char*>(blank.data()), static_cast<std::streamsize>(64));
    const CliResult set = RunCli({"cfg", "set", cfg.string(), "--profile", saved});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_TRUE(Contains(set.out, "Suffix: 0 (None) -> 2 (Tab)")) << set.out;
    const CliResult shown = RunCli({"cfg", "show", "--json", cfg.string()});
    EXPECT_EQ(json::parse(shown.out), profile);
    EXPECT_EQ(ReadBytes(cfg)[kUnownedByte], 0x99);
}

}  // namespace
}  // namespace zm880::test
