#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "reader/ReaderSession.h"
#include "sim/PlainHidDevice.h"
#include "sim/ReaderModel.h"

namespace zm880 {
namespace {

// A session on a simulated bus whose device list is rebuilt by hand, as a device change would.
class ReaderSessionTest : public ::testing::Test {
  protected:
    sim::ReaderModel& AddReader(const std::function<void(sim::ReaderModel&)>& setup = {}) {
        auto reader = std::make_unique<sim::ReaderModel>();
        if (setup) {
            setup(*reader);
        }
        sim::ReaderModel& model = *reader;
        slots_.push_back(bus_->Add(std::move(reader)));
        return model;
    }

    void Rebuild() {
        controller_.DeviceChange();
        session_.RebuildDeviceList();
    }

    static std::vector<std::uint8_t> LastTransfer(const sim::ReaderModel& model) {
        return model.TransferLog().empty() ? std::vector<std::uint8_t>{}
                                           : model.TransferLog().back().bytes;
    }

    std::shared_ptr<hid::SimulatedBus> bus_ = std::make_shared<hid::SimulatedBus>();
    hid::THidDeviceController controller_{bus_, [](std::function<void()>) {}};
    ReaderSession session_{controller_};
    std::vector<std::size_t> slots_;
};

TEST(ReaderSessionText, EntryTextsUseUpperCaseFourDigitIds) {
    struct Case {
        std::uint16_t vid, pid;
        const char* product;
        const char* text;
    };
    const Case cases[] = {
        {0x169B, 0x0710, "ZM-880 RFID Reader", "ZM-880 RFID Reader - VID=169B PID=0710"},
        {0x169B, 0x0710, "", "Not Supported Device VID=169B PID=0710"},
        {0x000a, 0x00ff, "", "Not Supported Device VID=000A PID=00FF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReaderSession::EntryText(c.vid, c.pid, c.product), c.text);
    }
}

TEST_F(ReaderSessionTest, ListsAndClaimsEveryReaderButNoOtherDevice) {
    AddReader();
    bus_->Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
    AddReader([](sim::ReaderModel& reader) { reader.Identity().product.clear(); });
    Rebuild();

    const std::vector<DeviceEntry>& entries = session_.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].Text, "ZM-880 RFID Reader - VID=169B PID=0710");
    EXPECT_EQ(entries[1].Text, "Not Supported Device VID=169B PID=0710");
    for (const DeviceEntry& entry : entries) {
        ASSERT_NE(entry.Device, nullptr);
        EXPECT_TRUE(entry.Device->Claimed());
    }
    EXPECT_EQ(session_.SelectedDevice(), entries[0].Device);

    // A reader without a product string is read like any other.
    session_.Select(1);
    EXPECT_TRUE(session_.ReadConfig().Ok);
    EXPECT_EQ(session_.Buffer()[0], 3);
}

// A bus of its own with one reader of the given feature report length, already listed.
struct OneReaderBus {
    explicit OneReaderBus(std::size_t featureLength)
        : bus(std::make_shared<hid::SimulatedBus>()),
          controller(bus, [](std::function<void()>) {}),
          session(controller),
          reader(AddReader(*bus, featureLength)) {
        controller.DeviceChange();
        session.RebuildDeviceList();
    }

    static sim::ReaderModel& AddReader(hid::SimulatedBus& target, std::size_t featureLength) {
        auto owned = std::make_unique<sim::ReaderModel>();
        sim::ReaderModel& model = *owned;
        model.SetFeatureReportLength(featureLength);
        target.Add(std::move(owned));
        return model;
    }

    std::shared_ptr<hid::SimulatedBus> bus;
    hid::THidDeviceController controller;
    ReaderSession session;
    sim::ReaderModel& reader;
};

TEST_F(ReaderSessionTest, TransfersMoveTheFeatureLengthWithTheReportIdInByteZero) {
    for (const std::size_t length : {std::size_t{65}, kMinSettingsReportLength}) {
        SCOPED_TRACE(length);
        OneReaderBus one(length);
        ReaderSession& session = one.session;
        sim::ReaderModel& reader = one.reader;

        session.Buffer().fill(0xEE);
        const TransferResult read = session.ReadReport(3);
        EXPECT_TRUE(read.Ok) << read.Message;
        EXPECT_EQ(read.Length, length);
        ASSERT_EQ(LastTransfer(reader).size(), length);
        EXPECT_EQ(LastTransfer(reader)[0], 3);
        EXPECT_EQ(session.Buffer()[0], 3);
        for (std::size_t i = 1; i < kReportBufferSize; ++i) {
            const std::uint8_t held = i < reader.Settings().size() ? reader.Settings()[i] : 0;
            const std::uint8_t expected = i < length ? held : 0xEE;
            EXPECT_EQ(session.Buffer()[i], expected) << "byte " << i;
        }

        session.Buffer()[1] = 0x42;
        const TransferResult write = session.WriteReport(3);
        EXPECT_TRUE(write.Ok) << write.Message;
        EXPECT_EQ(LastTransfer(reader),
                  std::vector<std::uint8_t>(session.Buffer().begin(),
                                            session.Buffer().begin() + static_cast<long>(length)));
        EXPECT_EQ(session.CurrentDevice(), session.SelectedDevice());
    }
}

TEST_F(ReaderSessionTest, UnusableFeatureLengthsAreListedButRefused) {
    for (const std::size_t length : {std::size_t{0}, std::size_t{66}, std::size_t{200}}) {
        SCOPED_TRACE(length);
        OneReaderBus one(length);
        ReaderSession& session = one.session;
        sim::ReaderModel& reader = one.reader;
        ASSERT_EQ(session.Entries().size(), 1u);

        session.Buffer().fill(0xEE);
        const ReportBuffer before = session.Buffer();
        const TransferResult read = session.ReadReport(3);
        const TransferResult write = session.WriteReport(3);
        for (const TransferResult& result : {read, write}) {
            EXPECT_TRUE(result.Selected);
            EXPECT_FALSE(result.Ok);
            EXPECT_FALSE(result.Message.empty());
        }
        EXPECT_TRUE(reader.TransferLog().empty());
        EXPECT_TRUE(std::equal(before.begin() + 1, before.end(), session.Buffer().begin() + 1));
    }
}

// The record's fields reach up to byte 25: a shorter report would be "written" without them and
// read back as zeros.
TEST_F(ReaderSessionTest, SettingsNeedAReportLongEnoughForTheRecord) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{4}, std::size_t{25}}) {
        SCOPED_TRACE(length);
        OneReaderBus one(length);
        ReaderSession& session = one.session;
        session.Buffer().fill(0xEE);

        const TransferResult read = session.ReadReport(3);
        const TransferResult write = session.WriteReport(3);
        for (const TransferResult& result : {read, write}) {
            EXPECT_TRUE(result.Selected);
            EXPECT_FALSE(result.Ok);
            const std::string named = " " + std::to_string(length) + " byte";
            EXPECT_NE(result.Message.find(named), std::string::npos) << result.Message;
        }
        EXPECT_TRUE(one.reader.TransferLog().empty());
        EXPECT_TRUE(std::all_of(session.Buffer().begin() + 1, session.Buffer().end(),
                                [](std::uint8_t b) { return b == 0xEE; }));

        // Reports other than the settings record still move at that length.
        session.Buffer()[1] = 0;
        EXPECT_TRUE(session.WriteReport(6).Ok);
    }
}

TEST_F(ReaderSessionTest, FailedTransfersAreReportedAndKeepTheBuffer) {
    sim::ReaderModel& reader = AddReader([](sim::ReaderModel& model) {
        model.Faults().failGet.insert(3);
        model.Faults().failSet.insert(3);
    });
    Rebuild();
    session_.Buffer().fill(0xEE);

    const TransferResult read = session_.ReadReport(3);
    EXPECT_TRUE(read.Selected);
    EXPECT_FALSE(read.Ok);
    EXPECT_NE(read.Message.find("failed"), std::string::npos);
    EXPECT_EQ(session_.Buffer()[0], 3);
    EXPECT_TRUE(std::all_of(session_.Buffer().begin() + 1, session_.Buffer().end(),
                            [](std::uint8_t b) { return b == 0xEE; }));

    const TransferResult write = session_.WriteReport(3);
    EXPECT_FALSE(write.Ok);
    EXPECT_TRUE(write.Message.starts_with("writing feature report 03 failed: ")) << write.Message;
    EXPECT_EQ(write.Message.find("loader"), std::string::npos) << write.Message;
    EXPECT_NE(reader.Settings()[5], 0xEE);
}

TEST_F(ReaderSessionTest, RemovedReaderIsNamedAsRemoved) {
    AddReader();
    Rebuild();
    ASSERT_TRUE(session_.ReadConfig().Ok);
    bus_->Unplug(slots_[0]);
    controller_.DeviceChange();

    EXPECT_EQ(session_.WriteReport(3).Message,
              "writing feature report 03 failed: the reader was removed");
    EXPECT_EQ(session_.ReadReport(3).Message,
              "reading feature report 03 failed: the reader was removed");
}

// Drives a reader's loader as an update does, up to the point where the update was cut off.
void SendToLoader(sim::ReaderModel& reader, std::vector<std::uint8_t> report) {
    if (report[0] == sim::report::Data) {
        report.resize(65, 0xFF);
    }
    reader.SetFeature(report);
}

// An update cut short leaves the loader running, at whatever step it was. A record sent to it
// would be taken as page data and programmed into the firmware, so every settings write asks
// first and is refused without sending anything; reads say the same.
TEST_F(ReaderSessionTest, ReaderLeftInItsLoaderIsToldToBeUpdatedAgain) {
    using Report = std::vector<std::uint8_t>;
    const Report start{2, 0x34, 0, 0};
    const Report prepare{2, 0x01, 11, 0};
    const Report check{2, 0x02, 11, 0};
    const Report write{2, 0x03, 11, 0};
    const Report data{3, 0x11};
    const Report checksum{2, 0x04, 0, 0};
    struct Case {
        const char* state;
        std::vector<Report> sent;
    };
    const std::vector<Case> cases{
        {"just started", {start}},
        {"after the page commands", {start, prepare, check}},
        {"page write announced", {start, prepare, check, write}},
        {"2 of 9 data reports", {start, write, data, data}},
        {"8 of 9 data reports", {start, write, data, data, data, data, data, data, data, data}},
        {"page complete", {start, write, data, data, data, data, data, data, data, data, data}},
        {"checksum asked", {start, write, data, data, data, data, data, data, data, data, data,
                            checksum}},
        {"a command refused", {start, {2, 0x01, 40, 0}}},
        {"cut off at the start", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        sim::ReaderModel& reader = AddReader();
        Rebuild();
        session_.Select(session_.Entries().size() - 1);
        // The window read the reader before the update; its Apply writes without reading again.
        ASSERT_TRUE(session_.ReadConfig().Ok);
        if (c.sent.empty()) {
            // The loader state a state file can hold without any command sent.
            reader.Loader().active = true;
            reader.Loader().status = sim::kStatusAccepted;
        }
        for (const Report& report : c.sent) {
            SendToLoader(reader, report);
        }
        const sim::LoaderState loader = reader.Loader();
        const sim::FlashImage flash = reader.Flash();
        reader.ClearTransferLog();

        const TransferResult written = session_.WriteReport(3);
        EXPECT_FALSE(written.Ok);
        EXPECT_EQ(written.Message,
                  "writing feature report 03 refused: the reader is still in its firmware loader "
                  "(an update did not finish); run the firmware update again");
        for (const sim::Transfer& transfer : reader.TransferLog()) {
            EXPECT_EQ(transfer.kind, sim::Transfer::Kind::Get);
        }
        EXPECT_EQ(reader.Loader(), loader);
        EXPECT_EQ(reader.Flash(), flash);

        EXPECT_EQ(session_.ReadReport(3).Message,
                  "reading feature report 03 failed: the reader is still in its firmware loader "
                  "(an update did not finish); run the firmware update again");
    }
}

// The firmware after an update answers the status report as the loader did, but hands out its
// settings record: it is not taken for a loader, and writes go through with one read before.
TEST_F(ReaderSessionTest, FirmwareIsNotTakenForALoader) {
    struct Case {
        const char* state;
        std::vector<std::vector<std::uint8_t>> sent;
    };
    const std::vector<Case> cases{
        {"never updated", {}},
        {"after an update", {{2, 0x34, 0, 0}, {2, 0x06, 0, 0}}},
        {"after a loader command it does not run", {{2, 0x01, 10, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        sim::ReaderModel& reader = AddReader();
        Rebuild();
        session_.Select(session_.Entries().size() - 1);
        for (const auto& report : c.sent) {
            SendToLoader(reader, report);
        }
        EXPECT_FALSE(ReaderSession::IsInFirmwareLoader(session_.SelectedDevice()));
        ASSERT_TRUE(session_.ReadConfig().Ok);
        session_.Buffer()[6] = 7;
        const TransferResult written = session_.WriteReport(3);
        EXPECT_TRUE(written.Ok) << written.Message;
        EXPECT_EQ(reader.Settings()[6], 7);
    }
}

TEST_F(ReaderSessionTest, ReaderWithoutPermissionSaysWhatToDo) {
    AddReader([](sim::ReaderModel& model) { model.Link().open = sim::OpenFault::AccessDenied; });
    Rebuild();
    ASSERT_EQ(session_.Entries().size(), 1u);

    const TransferResult read = session_.ReadConfig();
    EXPECT_FALSE(read.Ok);
    EXPECT_NE(read.Message.find("not accessible"), std::string::npos);
    EXPECT_NE(read.Message.find(kAccessHint), std::string::npos);
    EXPECT_EQ(ReaderSession::AccessProblem(session_.SelectedDevice()), read.Message);
}

TEST_F(ReaderSessionTest, RebuildReleasesEntriesAndForgetsTheLastDevice) {
    AddReader();
    Rebuild();
    ASSERT_TRUE(session_.ReadConfig().Ok);
    const std::weak_ptr<hid::THidDevice> first = session_.Entries()[0].Device;
    ASSERT_NE(session_.CurrentDevice(), nullptr);

    Rebuild();
    EXPECT_TRUE(first.expired());
    EXPECT_EQ(session_.CurrentDevice(), nullptr);
    EXPECT_EQ(controller_.ClaimedCount(), 1);

    bus_->Unplug(slots_[0]);
    Rebuild();
    EXPECT_FALSE(session_.HasReader());
    session_.Buffer().fill(0xEE);
    const TransferResult read = session_.ReadReport(3);
    EXPECT_FALSE(read.Selected);
    EXPECT_EQ(session_.WriteReport(3).Length, 0u);
    EXPECT_TRUE(std::all_of(session_.Buffer().begin(), session_.Buffer().end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
}

TEST_F(ReaderSessionTest, EncodeAfterARawReadWritesOverThatReport) {
    sim::ReaderModel& reader = AddReader([](sim::ReaderModel& model) {
        model.Settings()[19] = 0x19;
        model.Settings()[40] = 0x40;
    });
    Rebuild();
    ASSERT_TRUE(session_.ReadConfig().Ok);
    ReaderSettings settings;
    ASSERT_TRUE(session_.Decode(settings));

    ASSERT_TRUE(session_.ReadReport(5).Ok);
    session_.Encode(settings);
    ASSERT_TRUE(session_.WriteReport(3).Ok);

    const std::vector<std::uint8_t> sent = LastTransfer(reader);
    EXPECT_EQ(sent[0], 3);
    EXPECT_EQ(sent[3], 8);   // encoded: 9600 baud
    EXPECT_EQ(sent[19], 0);  // not encoded: from report 5
    EXPECT_EQ(sent[40], 0);  // not encoded: from report 5
    EXPECT_EQ(reader.Settings()[40], 0);
}

TEST_F(ReaderSessionTest, ReadBackNamesEncodedBytesTheReaderDidNotKeep) {
    sim::ReaderModel& reader = AddReader();
    Rebuild();
    ASSERT_TRUE(session_.ReadConfig().Ok);
    const ReportBuffer written = session_.Buffer();
    ASSERT_TRUE(session_.WriteReport(3).Ok);
    reader.Settings()[4] ^= 0x01;   // encoded for every type
    reader.Settings()[19] ^= 0x01;  // never encoded: not compared
    reader.Settings()[24] ^= 0x01;  // encoded for the multi-technology types only
    ASSERT_TRUE(session_.ReadConfig().Ok);

    EXPECT_EQ(DifferingEncodedBytes(written, session_.Buffer(), 0, 65),
              (std::vector<std::size_t>{4, 24}));
    EXPECT_EQ(DifferingEncodedBytes(written, session_.Buffer(), 1, 65),
              (std::vector<std::size_t>{4}));
    EXPECT_TRUE(DifferingEncodedBytes(written, session_.Buffer(), 0, 4).empty());
}

TEST(EncodedBytes, AreExactlyTheBytesTheEncodeWrites) {
    for (int type = 0; type <= 5; ++type) {
        SCOPED_TRACE(type);
        const auto readerType = static_cast<std::uint8_t>(type);
        ReportBuffer zeros{};
        ReportBuffer ones;
        ones.fill(0xFF);
        EncodeSettings(ReaderSettings{}, readerType, zeros);
        EncodeSettings(ReaderSettings{}, readerType, ones);
        std::vector<std::size_t> written;
        for (std::size_t i = 0; i < kReportBufferSize; ++i) {
            // Byte 25 keeps its upper bits, so only its bit 0 shows as written here.
            const bool partly = IsMultiTechnologyType(type) && i == 25;
            if (zeros[i] == ones[i] || partly) {
                written.push_back(i);
            }
        }
        EXPECT_EQ(EncodedByteIndices(readerType), written);
    }
}

}  // namespace
}  // namespace zm880
