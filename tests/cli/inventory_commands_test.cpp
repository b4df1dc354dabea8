#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/BusFile.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Three default readers on a bus kept in a state file, and a profile that two fields name.
class InventoryCommandsTest : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        state_ = (dir_ / "bus.json").string();
        profile_ = (dir_ / "site.json").string();
        UseStateHome(dir_ / "state");
        ChangeBusFile(state_, [](hid::SimulatedBus& bus) {
            bus.Add(std::make_unique<sim::ReaderModel>());
            bus.Add(std::make_unique<sim::ReaderModel>());
        });
        WriteFile(profile_, R"({"CharDelay": 0, "Suffix": "Enter"})");
    }

    static void WriteFile(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }

    CliResult Run(std::vector<std::string> args) {
        args.push_back("--simulate=" + state_);
        return RunCli(args);
    }

    std::string state_;
    std::string profile_;
};

TEST_F(InventoryCommandsTest, CheckNamesTheReaderChangedByHandUntilItIsLoadedAgain) {
    ASSERT_EQ(Run({"set", "--device", "1", "CharDelay=50"}).exitCode, 0);

    const CliResult differs = Run({"check", profile_, "--all"});
    EXPECT_EQ(differs.exitCode, 1) << differs.err;
    EXPECT_EQ(differs.out,
              "reader sim:hidraw0: matches\n"
              "reader sim:hidraw1: differs: CharDelay 50 (profile 0)\n"
              "reader sim:hidraw2: matches\n");

    const CliResult json = Run({"check", profile_, "--all", "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const nlohmann::json document = nlohmann::json::parse(json.out);
    ASSERT_EQ(document.size(), 3u);
    EXPECT_EQ(document[1]["path"], "sim:hidraw1");
    EXPECT_EQ(document[1]["matches"], false);
    EXPECT_EQ(document[1]["differences"],
              nlohmann::json::parse(R"([{"field": "CharDelay", "reader": 50, "profile": 0}])"));
    EXPECT_EQ(document[0]["matches"], true);

    // Without --all the one reader --device names, else the first.
    EXPECT_EQ(Run({"check", profile_}).exitCode, 0);
    EXPECT_EQ(Run({"check", profile_, "--device", "sim:hidraw1"}).exitCode, 1);

    ASSERT_EQ(Run({"load", profile_, "--device", "sim:hidraw1"}).exitCode, 0);
    const CliResult matches = Run({"check", profile_, "--all"});
    EXPECT_EQ(matches.exitCode, 0) << matches.out << matches.err;
}

TEST_F(InventoryCommandsTest, ARefusedProfileReadsNoReader) {
    const std::string trace = (dir_ / "trace.txt").string();
    for (const char* text : {R"({"NoSuchField": 1})", "not json", R"({"CharDelay": 99999})"}) {
        WriteFile(profile_, text);
        const CliResult refused = Run({"check", profile_, "--all", "--trace", trace});
        EXPECT_EQ(refused.exitCode, 2) << text << ": " << refused.err;
        EXPECT_TRUE(refused.out.empty()) << refused.out;
        EXPECT_FALSE(fs::exists(trace) && fs::file_size(trace) > 0) << text;
    }
}

TEST_F(InventoryCommandsTest, InventoryListsEveryReaderAndWhyOneCouldNotBeRead) {
    ChangeBusFile(state_, [](hid::SimulatedBus& bus) {
        bus.Reader(0).Identity().product = "Desk \"A\", left";
        bus.Reader(1).Faults().failGet.insert(3);
    });
    ASSERT_EQ(Run({"set", "--device", "2", "Suffix=Tab"}).exitCode, 0);

    const CliResult csv = Run({"inventory", "--csv"});
    EXPECT_EQ(csv.exitCode, 1) << csv.err;
    std::istringstream lines(csv.out);
    std::string header;
    std::getline(lines, header);
    // CR LF ends every line; on Windows the test harness turns line ends into "\n" first.
#ifndef _WIN32
    ASSERT_TRUE(header.ends_with('\r')) << header;
    header.pop_back();
#endif
    EXPECT_EQ(header,
              "index,path,text,manufacturer,product,release,recordVersion,readerType,"
              "readerTypeName,featureReportLength,accessible,inLoader,digest,error");
    std::string first;
    std::getline(lines, first);
    EXPECT_TRUE(Contains(first, ",\"Desk \"\"A\"\", left\",0100,")) << first;

    const CliResult json = Run({"inventory", "--json"});
    EXPECT_EQ(json.exitCode, 1);
    const nlohmann::json rows = nlohmann::json::parse(json.out);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["readerType"], 0);
    EXPECT_EQ(rows[0]["readerTypeName"], "ZM-880");
    EXPECT_EQ(rows[0]["inLoader"], false);
    EXPECT_EQ(rows[0]["digest"].get<std::string>().size(), 64u);
    EXPECT_TRUE(rows[1]["digest"].is_null());
    EXPECT_TRUE(Contains(rows[1]["error"].get<std::string>(), "reading")) << rows[1]["error"];
    EXPECT_NE(rows[2]["digest"], rows[0]["digest"]);

    // A reader set like another shares its digest.
    ASSERT_EQ(Run({"set", "--device", "0", "Suffix=Tab"}).exitCode, 0);
    const nlohmann::json again = nlohmann::json::parse(Run({"inventory", "--json"}).out);
    EXPECT_EQ(again[2]["digest"], again[0]["digest"]);

    const CliResult text = Run({"inventory"});
    EXPECT_TRUE(Contains(text.out, "1  sim:hidraw1  ")) << text.out;
    EXPECT_TRUE(Contains(text.out, "not read: ")) << text.out;
}

TEST_F(InventoryCommandsTest, InventoryNeverWritesToAReader) {
    const std::string trace = (dir_ / "trace.txt").string();
    ASSERT_EQ(Run({"inventory", "--trace", trace}).exitCode, 0);
    ASSERT_EQ(Run({"check", profile_, "--all", "--trace", trace}).exitCode, 0);
    std::ifstream in(trace);
    std::string line;
    int reads = 0;
    while (std::getline(in, line)) {
        EXPECT_FALSE(Contains(line, "SET")) << line;
        reads += Contains(line, "GET") ? 1 : 0;
    }
    EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace zm880::test
