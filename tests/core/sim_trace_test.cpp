#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "hid/TracingPlatform.h"
#include "hid/sim/SimulatedBus.h"

namespace zm880::hid {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class SimTrace : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("zm880-trace-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        tracePath_ = (dir_ / "trace.txt").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string TraceText() const {
        std::ifstream in(tracePath_);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    std::string tracePath_;
};

TEST_F(SimTrace, WritesOneLinePerFeatureTransfer) {
    std::ofstream(tracePath_) << "earlier run\n";
    auto bus = std::make_unique<SimulatedBus>();
    const std::size_t slot = bus->Add(std::make_unique<sim::ReaderModel>());
    sim::ReaderModel& reader = bus->Reader(slot);
    reader.Faults().failGet = {4};
    reader.Faults().failSet = {6};
    reader.SetVersionByte(0xAB);
    // Reports move only at their declared length: a 4-byte settings report keeps the lines short.
    reader.SetFeatureReportLength(4);
    const std::string path = bus->PathOf(slot);

    TracingPlatform tracing(std::move(bus), tracePath_);
    OpenError error = OpenError::None;
    auto channel = tracing.Open(path, OpenMode::ReadWrite, error);
    ASSERT_TRUE(channel);

    Bytes settings = {3, 0, 0, 0};
    EXPECT_TRUE(channel->GetFeature(settings));
    EXPECT_TRUE(channel->SetFeature(Bytes{2, 0x34, 0, 0}));
    Bytes checksum = {4, 0, 0};
    EXPECT_FALSE(channel->GetFeature(checksum));
    EXPECT_FALSE(channel->SetFeature(Bytes{6, 0, 0, 0}));
    EXPECT_TRUE(channel->GetAttributes().has_value());

    EXPECT_EQ(TraceText(),
              "earlier run\n"
              "GET 03 01 AB 08\n"
              "SET 02 34 00 00\n"
              "FAIL GET 04 00 00\n"
              "FAIL SET 06 00 00 00\n");
}

TEST_F(SimTrace, RefusesATraceFileItCannotOpen) {
    EXPECT_THROW(TracingPlatform(MakeSimulatedPlatform(""), (dir_ / "no" / "such.txt").string()),
                 std::runtime_error);
}

}  // namespace
}  // namespace zm880::hid
