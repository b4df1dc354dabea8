#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "diag/RawConsole.h"
#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"

namespace zm880 {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Repeated(const std::string& text, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(HistoryLine, HeadThenEveryPayloadByteInUpperCase) {
    struct Case {
        char kind;
        Bytes report;
        std::string line;
    };
    const Case cases[] = {
        {'R', {0x03, 0x0A, 0xFF, 0x00}, "R 03  0A FF 00 "},
        {'W', {0x05}, "W 05  "},
        {'R', Bytes(65, 0xab), "R AB  " + Repeated("AB ", 64)},  // 198 characters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistoryLine(c.kind, c.report), c.line);
    }
}

TEST(RawConsoleCells, VisibleCellsAndWriteFollowTheFeatureLength) {
    struct Case {
        std::size_t length;
        std::size_t cells;
        bool writable;
    };
    for (const Case& c : {Case{0, 0, false}, Case{1, 0, true}, Case{4, 3, true}, Case{65, 64, true},
                          Case{66, 0, false}}) {
        EXPECT_EQ(RawConsole::VisibleCells(c.length), c.cells) << c.length;
        EXPECT_EQ(RawConsole::CanWrite(c.length), c.writable) << c.length;
    }
}

class RawConsoleTest : public ::testing::Test {
  protected:
    sim::ReaderModel& Attach(std::size_t featureLength) {
        auto owned = std::make_unique<sim::ReaderModel>();
        sim::ReaderModel& reader = *owned;
        reader.SetFeatureReportLength(featureLength);
        slot_ = bus_->Add(std::move(owned));
        Rebuild();
        return reader;
    }

    void Rebuild() {
        controller_.DeviceChange();
        session_.RebuildDeviceList();
        console_.ClearHistory();
    }

    std::shared_ptr<hid::SimulatedBus> bus_ = std::make_shared<hid::SimulatedBus>();
    hid::THidDeviceController controller_{bus_, [](std::function<void()>) {}};
    ReaderSession session_{controller_};
    RawConsole console_{session_};
    std::vector<std::string> cells_ = std::vector<std::string>(kByteCellCount, "keep");
    std::size_t slot_ = 0;
};

TEST_F(RawConsoleTest, ReadFillsTheCellsOfTheReportAndAddsItsLine) {
    sim::ReaderModel& reader = Attach(4);
    reader.Settings()[1] = 0x01;
    reader.Settings()[2] = 0x15;
    reader.Settings()[3] = 0x0a;

    EXPECT_TRUE(console_.Read("3", cells_).Ok);
    EXPECT_EQ(cells_[0], "01");
    EXPECT_EQ(cells_[1], "15");
    EXPECT_EQ(cells_[2], "0A");
    EXPECT_EQ(cells_[3], "keep");
    ASSERT_EQ(console_.History().size(), 1u);
    EXPECT_EQ(console_.History().back(), "R 03  01 15 0A ");
}

TEST_F(RawConsoleTest, WriteNormalisesTheCellsAndSendsToTheLastDevice) {
    sim::ReaderModel& reader = Attach(4);
    std::string reportId = "3";
    ASSERT_TRUE(console_.Read(reportId, cells_).Ok);
    cells_[0] = "1ff";
    cells_[1] = "";
    cells_[2] = "a";
    cells_[3] = "zz";

    const TransferResult result = console_.Write(reportId, cells_);
    EXPECT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(reportId, "03");
    EXPECT_EQ(reader.TransferLog().back().bytes, (Bytes{0x03, 0xFF, 0x00, 0x0A}));
    EXPECT_EQ(cells_[0], "FF");
    EXPECT_EQ(cells_[1], "00");
    EXPECT_EQ(cells_[2], "0A");
    EXPECT_EQ(cells_[3], "zz");
    EXPECT_EQ(console_.History().back(), "W 03  FF 00 0A ");
}

TEST_F(RawConsoleTest, WriteNeedsALastDeviceThatSurvivedNoRebuild) {
    sim::ReaderModel& reader = Attach(65);
    std::string reportId = "03";
    EXPECT_FALSE(console_.Write(reportId, cells_).Selected);

    ASSERT_TRUE(console_.Read(reportId, cells_).Ok);
    Rebuild();
    reader.ClearTransferLog();
    EXPECT_FALSE(console_.Write(reportId, cells_).Selected);
    EXPECT_TRUE(reader.TransferLog().empty());
    EXPECT_TRUE(console_.History().empty());
}

TEST_F(RawConsoleTest, FailedTransfersAddNoLineAndSayWhy) {
    sim::ReaderModel& reader = Attach(65);
    std::string reportId = "03";
    ASSERT_TRUE(console_.Read(reportId, cells_).Ok);
    reader.Faults().failSet.insert(3);
    reader.Faults().failGet.insert(3);

    const TransferResult write = console_.Write(reportId, cells_);
    EXPECT_FALSE(write.Ok);
    EXPECT_FALSE(write.Message.empty());
    cells_[0] = "keep";
    EXPECT_FALSE(console_.Read(reportId, cells_).Ok);
    EXPECT_EQ(cells_[0], "keep");
    EXPECT_EQ(console_.History().size(), 1u);
}

TEST_F(RawConsoleTest, ResetSendsItsOwnFourBytesAndAddsNoLine) {
    EXPECT_FALSE(console_.Reset().Selected);

    sim::ReaderModel& reader = Attach(65);
    session_.Buffer().fill(0xEE);
    const TransferResult result = console_.Reset();
    EXPECT_TRUE(result.Ok) << result.Message;
    EXPECT_EQ(reader.TransferLog().back().bytes, (Bytes{0x06, 0x00, 0x00, 0x00}));
    EXPECT_EQ(session_.CurrentDevice(), session_.SelectedDevice());
    EXPECT_TRUE(console_.History().empty());
}

}  // namespace
}  // namespace zm880
