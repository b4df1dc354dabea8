#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/RunCli.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A 64-byte settings record whose uninterpreted bytes (26 to 63) carry a pattern.
Bytes Record(std::uint8_t readerType) {
    Bytes bytes(64, 0);
    bytes[0] = 3;
    bytes[1] = 1;
    bytes[2] = 42;
    bytes[3] = 16;  // 19200
    bytes[7] = 10;  // double timeout
    bytes[8] = readerType;
    bytes[12] = 0x01;  // Legic address 0x0102 or multi segment 1
    bytes[13] = 0x02;
    bytes[14] = 6;
    bytes[15] = 0x05;  // 125 kHz EM4x02 and EM4x50 / Legic segment 5
    bytes[16] = 0x01;  // EM4102
    bytes[24] = 255;
    for (std::size_t i = 26; i < 64; ++i) {
        bytes[i] = static_cast<std::uint8_t>(0xC0 + i);
    }
    return bytes;
}

class CfgCommands : public testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("zm880-cfgcli-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static Bytes Read(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(CfgCommands, ShowPrintsTheFieldsOfTheReaderType) {
    const std::string path = Write("legic.cfg", Record(3));
    const CliResult text = RunCli({"cfg", "show", path});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* line : {"ReaderVersion       042\n", "Baud                19200\n",
                             "ReaderType          3 (Legic)\n", "LegicStartAddr      258\n",
                             "LegicSegment        5\n"}) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "in\n" << text.out;
    }
    EXPECT_EQ(text.out.find("LfTags"), std::string::npos);

    const CliResult json = RunCli({"cfg", "show", path, "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    // A complete profile of the type: what load takes back, so no field the type does not store.
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_EQ(j["ReaderType"], 3);
    EXPECT_EQ(j["ReaderTypeName"], "Legic");
    EXPECT_EQ(j["LegicStartAddr"], 258);
    EXPECT_EQ(j["LegicSegment"], 5);
    for (const char* absent : {"ReaderVersion", "Tags125", "LfTags", "UserCmd", "MaxLength"}) {
        EXPECT_FALSE(j.contains(absent)) << absent;
    }
}

TEST_F(CfgCommands, ShowRefusesWhatIsNotASettingsRecordOrCannotBeRead) {
    Bytes other = Record(0);
    other[0] = 5;
    const std::string notRecord = Write("raw.cfg", other);
    const CliResult refused = RunCli({"cfg", "show", notRecord});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "zm880ctl: cfg show: " + notRecord +
                               " is not a settings record (byte 0 is 5, not 3)\n");
    EXPECT_TRUE(refused.out.empty());

    for (const std::string& path : {PathOf("missing.cfg"), dir_.string()}) {
        const CliResult missing = RunCli({"cfg", "show", path, "--json"});
        EXPECT_EQ(missing.exitCode, 1);
        EXPECT_EQ(missing.err, "zm880ctl: cfg show: file not found: " + path + "\n");
    }
}

TEST_F(CfgCommands, SetWritesTheChangedRecordToOutAndLeavesFileAlone) {
    const Bytes original = Record(0);
    const std::string path = Write("multi.cfg", original);
    const std::string out = PathOf("out.cfg");

    const CliResult result = RunCli({"cfg", "set", path, "Baud=115200", "LfTags=HITAG2,AWID",
                                     "HfTags=MIFARE", "UserCmd=4", "CharDelay=25", "-o", out});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "Baud: 19200 -> 115200\n"
              "CharDelay: 0 ms -> 20 ms\n"
              "UserCmd: off -> 4\n"
              "LfTags: EM4102 -> HITAG2,AWID\n"
              "HfTags: none -> MIFARE\n");
    EXPECT_EQ(Read(path), original);

    Bytes expected = original;
    expected[3] = 96;
    expected[6] = 2;  // 25 ms to the even neighbour
    expected[15] = 0;
    expected[16] = 0x04;
    expected[17] = 0x80;
    expected[20] = 0x01;
    expected[24] = 4;
    EXPECT_EQ(Read(out), expected);
}

TEST_F(CfgCommands, SetInPlaceFillsAShortFileTo64Bytes) {
    const Bytes shortFile = {3, 0, 9, 8, 1, 0, 0, 5, 1, 0};  // a 125 kHz reader, 10 bytes
    const std::string path = Write("short.cfg", shortFile);

    const CliResult result = RunCli({"cfg", "set", path, "MaxLength=12", "Tags125=q5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    Bytes expected(64, 0);
    std::copy(shortFile.begin(), shortFile.end(), expected.begin());
    expected[1] = 1;
    expected[14] = 12;
    expected[15] = 32;
    EXPECT_EQ(Read(path), expected);
}

TEST_F(CfgCommands, SetRefusalsWriteNothing) {
    const Bytes original = Record(1);
    const std::string path = Write("single.cfg", original);
    const std::string out = PathOf("out.cfg");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Baud=1200", "Baud must be one of 9600, 19200, 38400, 115200, not \"1200\""},
        {"MaxLength=100", "MaxLength must be a whole number from 0 to 99, not \"100\""},
        {"Tags125=EM4102",
         "unknown Tags125 caption \"EM4102\"; captions: EM4x02, EM4x05 (FXDB), "
         "EM4x50, HITAG1/S, HITAG2, Q5, TIRIS (empty for none)"},
        {"LfTags=EM4102",
         "LfTags is not stored for reader type 1 (125/134kHz), only for reader "
         "types 0 and 4"},
        {"ReaderType=3",
         "ReaderType is shown only: the reader reports it and writing the "
         "settings never changes it"},
    };
    for (const auto& [assignment, message] : cases) {
        const CliResult result = RunCli({"cfg", "set", path, "Baud=9600", assignment, "-o", out});
        EXPECT_EQ(result.exitCode, 2) << assignment;
        EXPECT_EQ(result.err, "zm880ctl: cfg set: " + path + ": " + message + "\n");
        EXPECT_TRUE(result.out.empty());
        EXPECT_FALSE(fs::exists(out));
    }
    EXPECT_EQ(Read(path), original);

    const CliResult noAssignment = RunCli({"cfg", "set", path});
    EXPECT_EQ(noAssignment.exitCode, 2);
    EXPECT_NE(noAssignment.err.find("give either FIELD=VALUE assignments or --profile"),
              std::string::npos);
}

TEST_F(CfgCommands, FailedWriteIsReportedAndLeavesFileAlone) {
    const Bytes original = Record(0);
    const std::string path = Write("multi.cfg", original);
    const std::string out = PathOf("no-such-folder/out.cfg");
    const CliResult result = RunCli({"cfg", "defaults", path, "-o", out});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "zm880ctl: cfg defaults: cannot write " + out + ": No such file or directory\n");
    EXPECT_EQ(Read(path), original);
}

TEST_F(CfgCommands, DefaultsResetBytes3To25AndKeepTheRest) {
    const Bytes original = Record(0);
    const std::string path = Write("multi.cfg", original);

    const CliResult result = RunCli({"cfg", "defaults", path});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("DoubleTimeout: 10 s -> 5 s\n"), std::string::npos) << result.out;

    Bytes expected = original;
    const Bytes defaults = {
        8,   1,   0,    0,   5,   0 /*type*/, 0,   0,   0,   0, 5, 2, 0 /*cleared*/,
        255, 255, 0x0F, 255, 255, 255,        255, 255, 255, 0};
    std::copy(defaults.begin(), defaults.end(), expected.begin() + 3);
    EXPECT_EQ(Read(path), expected);
}

TEST_F(CfgCommands, HelpDescribesEveryCommand) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {{"cfg", "--help"}, {"show", "set", "defaults"}},
        {{"cfg", "show", "--help"}, {"--json", "FILE", "Exit status"}},
        {{"cfg", "set", "--help"}, {"FIELD=VALUE", "-o,--output OUT", "LfTags=EM4102,HITAG2"}},
        {{"cfg", "defaults", "--help"}, {"bytes 3 to 25", "-o,--output OUT"}},
    };
    for (const auto& [args, mentions] : cases) {
        const CliResult help = RunCli(args);
        EXPECT_EQ(help.exitCode, 0);
        for (const std::string& mention : mentions) {
            EXPECT_NE(help.out.find(mention), std::string::npos) << args[1] << ": " << mention;
        }
    }
}

}  // namespace
}  // namespace zm880::test
