#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "flasher/FirmwareImage.h"
#include "hid/sim/SimulatedBus.h"
#include "support/BackgroundRun.h"
#include "support/BusFile.h"
#include "support/HexFiles.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

using namespace std::chrono_literals;

// Ctrl+C or SIGTERM during an update: the page in flight is finished, the loader ended, and the
// usual failure line says which pages were replaced; the exit status is the shell's 128 + signal.
class FlashSignal : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        state_ = (dir_ / "bus.json").string();
        hexFile_ = (dir_ / "fw.hex").string();
        trace_ = (dir_ / "trace.txt").string();
        std::ofstream(hexFile_, std::ios::binary) << kSmallUpdateFile;
        ChangeBusFile(state_, [](hid::SimulatedBus& bus) {
            bus.Reader(0).Flash().fill(0x5A);
            // Slow enough that the signal arrives while pages are still to come.
            bus.Reader(0).Link().latency = 25ms;
        });
    }

    std::string state_;
    std::string hexFile_;
    std::string trace_;
};

TEST_F(FlashSignal, StopsAtAPageBoundaryEndsTheLoaderAndNamesThePagesReplaced) {
    struct Case {
        int signal;
        int exitCode;
    };
    for (const Case c : {Case{SIGINT, 130}, Case{SIGTERM, 143}}) {
        SCOPED_TRACE(c.signal);
        ChangeBusFile(state_, [](hid::SimulatedBus& bus) { bus.Reader(0).Flash().fill(0x5A); });
        BackgroundRun run({"flash", hexFile_, "--allow-partial", "--simulate=" + state_,
                           "--trace", trace_});
        // Page 3 has started, so pages 1 and 2 went through.
        ASSERT_TRUE(run.WaitForOutput("page 3/20"));
        const CliResult result = run.Finish(c.signal);

        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        std::smatch match;
        const std::regex line(
            "zm880ctl: update stopped - interrupted before page ([0-9]+) of 20; pages 1 to "
            "([0-9]+) of 20 were replaced; the update must be run again\n");
        ASSERT_TRUE(std::regex_search(result.err, match, line)) << result.err;
        const std::size_t replaced = std::stoul(match[2]);
        EXPECT_EQ(std::stoul(match[1]), replaced + 1);
        EXPECT_GE(replaced, 2u);
        EXPECT_LT(replaced, 20u);

        // What the run changed was kept: the pages sent, and the loader ended.
        hid::SimulatedBus bus(state_);
        const flasher::FirmwareImage& flash = bus.Reader(0).Flash();
        flasher::FirmwareImage expected = SmallUpdateImage();
        std::fill(expected.begin() + static_cast<std::ptrdiff_t>(replaced * flasher::kPageSize),
                  expected.end(), std::uint8_t{0x5A});
        EXPECT_TRUE(flash == expected);
        EXPECT_FALSE(bus.Reader(0).Loader().active);

        std::ifstream in(trace_);
        const std::string traced(std::istreambuf_iterator<char>(in), {});
        EXPECT_TRUE(traced.ends_with("SET 02 06 00 00\nGET 05 01\n")) << traced.substr(
            traced.size() - std::min<std::size_t>(traced.size(), 200));
    }
}

}  // namespace
}  // namespace zm880::test
