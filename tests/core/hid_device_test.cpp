#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hid/HidDeviceController.h"
#include "hid/HidDeviceReadThread.h"
#include "support/FakeHidPlatform.h"

namespace zm880::hid {
namespace {

using namespace std::chrono_literals;
using testing::FakeHidPlatform;
using testing::FakeInterface;
using testing::TaskQueue;
using Bytes = std::vector<std::uint8_t>;

// Input report 1 (8 bytes), feature reports 2 (7 bytes) and 3 (64 bytes), output report 4
// (16 bytes): lengths 9, 17 and 65 with the report ID byte.
const Bytes kDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00,
    0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x85, 0x02, 0x09, 0x02, 0x95, 0x07, 0xB1, 0x02, 0x85, 0x03,
    0x09, 0x03, 0x96, 0x40, 0x00, 0xB1, 0x02, 0x85, 0x04, 0x09, 0x04, 0x95, 0x10, 0x91, 0x02, 0xC0,
};
const Caps kCaps{9, 17, 65};

// One reader behind a started controller. `unclaimed` is the listed object as the controller
// holds it, for checking what an inaccessible device answers.
class HidDeviceTest : public ::testing::Test {
  protected:
    HidDeviceTest() {
        reader->descriptor = kDescriptor;
        reader->manufacturer = "Maker";
        reader->product = "ZM-880";
        Bytes settings(65, 0);
        settings[0] = 3;
        settings[1] = 0xA5;
        settings[64] = 0x5A;
        reader->features[3] = settings;
    }

    void Start() {
        controller = std::make_unique<THidDeviceController>(platform, queue.Poster());
        controller->SetOnArrival([this](THidDevice& device) { unclaimed = &device; });
        controller->Loaded();
        queue.RunPending();
        ASSERT_NE(unclaimed, nullptr);
    }

    void Unplug() {
        platform->Unplug("reader");
        platform->AnnounceChange();
        controller->HandlePlatformChanges();
    }

    std::shared_ptr<FakeHidPlatform> platform = std::make_shared<FakeHidPlatform>();
    std::shared_ptr<FakeInterface> reader = platform->Plug("reader");
    TaskQueue queue;
    std::unique_ptr<THidDeviceController> controller;
    THidDevice* unclaimed = nullptr;
};

TEST_F(HidDeviceTest, NewDeviceIsIdentifiedAndHoldsNoChannel) {
    reader->attributes = Attributes{0x169B, 0x0710, 0x0203};
    Start();
    EXPECT_EQ(unclaimed->Attributes().VendorID, 0x169B);
    EXPECT_EQ(unclaimed->Attributes().ProductID, 0x0710);
    EXPECT_EQ(unclaimed->Attributes().VersionNumber, 0x0203);
    EXPECT_EQ(unclaimed->PnPInfo().DevicePath, "/dev/fake/reader");
    EXPECT_TRUE(unclaimed->Present());
    EXPECT_FALSE(unclaimed->Claimed());
    EXPECT_TRUE(unclaimed->ReadWriteAccess());
    EXPECT_EQ(reader->openChannels, 0);
}

TEST_F(HidDeviceTest, InaccessibleDeviceAnswersNothingThatNeedsTheChannel) {
    Start();
    const int opens = reader->opens;
    Bytes report{3, 0};
    EXPECT_EQ(unclaimed->QueryCaps(), Caps{});
    EXPECT_EQ(unclaimed->ProductText(), "");
    EXPECT_EQ(unclaimed->ManufacturerText(), "");
    EXPECT_FALSE(unclaimed->GetFeatureReport(report));
    EXPECT_FALSE(unclaimed->SetFeatureReport(report));
    EXPECT_EQ(reader->opens, opens);
}

TEST_F(HidDeviceTest, CapsComeFromTheDescriptorFetchedOnceForTheObjectsLife) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    EXPECT_EQ(device->QueryCaps(), kCaps);
    EXPECT_EQ(device->QueryCaps(), kCaps);
    EXPECT_EQ(reader->descriptorQueries, 1);
    EXPECT_EQ(reader->openChannels, 0);

    Unplug();
    EXPECT_EQ(device->QueryCaps(), kCaps);
}

TEST_F(HidDeviceTest, DeviceWithoutUsableDescriptorReportsZeroLengths) {
    for (const auto& descriptor : {std::optional<Bytes>{}, std::optional<Bytes>{Bytes{0xB1}}}) {
        reader->descriptor = descriptor;
        unclaimed = nullptr;
        Start();
        DeviceRef device = controller->ClaimDevice(0);
        EXPECT_EQ(device->QueryCaps(), Caps{});
    }
}

TEST_F(HidDeviceTest, TextsAreCutAtNulAnd254Characters) {
    struct Case {
        std::string raw;
        std::string expected;
    };
    const std::string e = "\xC3\xA9";  // one character, two bytes
    std::string accented;
    for (int i = 0; i < 260; ++i) {
        accented += e;
    }
    std::string accented254;
    for (int i = 0; i < 254; ++i) {
        accented254 += e;
    }
    const Case cases[] = {
        {"ZM-880 Reader", "ZM-880 Reader"},
        {std::string("abc\0def", 7), "abc"},
        {std::string(253, 'x'), std::string(253, 'x')},
        {std::string(254, 'x'), std::string(254, 'x')},
        {std::string(300, 'x'), std::string(254, 'x')},
        {accented, accented254},
    };
    Start();
    for (const Case& c : cases) {
        reader->product = c.raw;
        reader->manufacturer = c.raw;
        DeviceRef device = controller->ClaimDevice(0);
        EXPECT_EQ(device->ProductText(), c.expected);
        EXPECT_EQ(device->ManufacturerText(), c.expected);
    }
}

TEST_F(HidDeviceTest, EmptyTextIsAskedAgainAndAnAnswerIsKept) {
    struct Case {
        std::optional<std::string> product;
        int expectedQueries;
    };
    const Case cases[] = {{std::nullopt, 3}, {std::string(), 3}, {"ZM-880", 1}};
    for (const Case& c : cases) {
        reader->product = c.product;
        reader->manufacturer = c.product;
        reader->productQueries = 0;
        reader->manufacturerQueries = 0;
        unclaimed = nullptr;
        Start();
        DeviceRef device = controller->ClaimDevice(0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(device->ProductText(), c.product.value_or(""));
            EXPECT_EQ(device->ManufacturerText(), c.product.value_or(""));
        }
        EXPECT_EQ(reader->productQueries, c.expectedQueries);
        EXPECT_EQ(reader->manufacturerQueries, c.expectedQueries);
    }
}

TEST_F(HidDeviceTest, FeatureTransfersMoveExactlyTheCallersSpan) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);

    Bytes full(65, 0);
    full[0] = 3;
    ASSERT_TRUE(device->GetFeatureReport(full));
    EXPECT_EQ(full, reader->features[3]);

    // The device's report is longer than the caller's buffer: nothing past it is written.
    Bytes guarded(12, 0xEE);
    guarded[0] = 3;
    ASSERT_TRUE(device->GetFeatureReport(std::span(guarded).first(8)));
    EXPECT_EQ(guarded[1], 0xA5);
    EXPECT_EQ(guarded[8], 0xEE);

    const Bytes reset{6, 0, 0, 0};
    EXPECT_TRUE(device->SetFeatureReport(reset));
    EXPECT_EQ(reader->featuresSet, std::vector<Bytes>{reset});

    Bytes unknown{9, 0};
    EXPECT_FALSE(device->GetFeatureReport(unknown));
    EXPECT_FALSE(device->GetFeatureReport({}));
    EXPECT_FALSE(device->SetFeatureReport({}));
    EXPECT_EQ(device->NumInputBuffers(), 0) << "the platform keeps no input ring";
}

TEST_F(HidDeviceTest, UnpluggedDeviceRefusesTransfers) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    Bytes report{3, 0};
    ASSERT_TRUE(device->GetFeatureReport(report));
    Unplug();
    EXPECT_EQ(reader->openChannels, 0);
    EXPECT_FALSE(device->GetFeatureReport(report));
    EXPECT_FALSE(device->SetFeatureReport(report));
}

TEST_F(HidDeviceTest, TransferFailuresCarryTheirCause) {
    using Kind = TransferError::Kind;
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    Bytes report{3, 0};

    for (const TransferError& fault :
         {TransferError{Kind::NoAnswer, {}}, TransferError{Kind::Busy, {}},
          TransferError{Kind::Failed, "Broken pipe"}}) {
        reader->transferFault = fault;
        EXPECT_FALSE(device->GetFeatureReport(report));
        EXPECT_EQ(device->LastTransferError().kind, fault.kind);
        EXPECT_EQ(device->LastTransferError().detail, fault.detail);
        EXPECT_FALSE(device->SetFeatureReport(report));
        EXPECT_EQ(device->LastTransferError().kind, fault.kind);
    }
    reader->transferFault.reset();
    ASSERT_TRUE(device->GetFeatureReport(report));
    EXPECT_EQ(device->LastTransferError().kind, Kind::None);

    Bytes unknown{9, 0};
    EXPECT_FALSE(device->GetFeatureReport(unknown));
    EXPECT_EQ(device->LastTransferError().kind, Kind::Failed);
    EXPECT_FALSE(device->SetFeatureReport({}));
    EXPECT_EQ(device->LastTransferError().kind, Kind::Failed);

    // Pulled out while the channel is open, then noticed by the controller.
    platform->Unplug("reader");
    EXPECT_FALSE(device->GetFeatureReport(report));
    EXPECT_EQ(device->LastTransferError().kind, Kind::Removed);
    platform->AnnounceChange();
    controller->HandlePlatformChanges();
    EXPECT_FALSE(device->SetFeatureReport(report));
    EXPECT_EQ(DescribeTransferError(device->LastTransferError()), "the reader was removed");
}

TEST_F(HidDeviceTest, QueryOnlyDeviceAnswersQueriesButMovesNothing) {
    struct Case {
        const char* name;
        OpenError refusal;
        bool lockedView;
        bool accessDenied;
        TransferError::Kind cause;
    };
    const Case cases[] = {
        {"refused with access denied", OpenError::AccessDenied, false, true,
         TransferError::Kind::AccessDenied},
        {"a locked node's stand-in view", OpenError::Failed, true, true,
         TransferError::Kind::AccessDenied},
        {"refused otherwise", OpenError::Failed, false, false, TransferError::Kind::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reader->readWriteRefusal = c.refusal;
        reader->queryOnlyDeniesAccess = c.lockedView;
        unclaimed = nullptr;
        Start();
        bool dataCalled = false;
        DeviceRef device = controller->ClaimDevice(0);
        device->SetDataHandler([&](THidDevice&, std::uint8_t, auto) { dataCalled = true; });

        EXPECT_FALSE(device->ReadWriteAccess());
        EXPECT_EQ(device->AccessDenied(), c.accessDenied);
        EXPECT_EQ(device->Attributes().VendorID, 0x169B);
        EXPECT_EQ(device->QueryCaps(), kCaps);
        EXPECT_EQ(device->ProductText(), "ZM-880");
        Bytes report{3, 0};
        EXPECT_FALSE(device->GetFeatureReport(report));
        EXPECT_EQ(device->LastTransferError().kind, c.cause);
        EXPECT_FALSE(device->ReadThreadRunning());
    }
}

TEST_F(HidDeviceTest, SleepTimeTakesOnlyValuesInRange) {
    Start();
    for (const auto& [value, expected] :
         std::vector<std::pair<int, int>>{{9, 100}, {10, 10}, {10000, 10000}, {10001, 100}}) {
        DeviceRef device = controller->ClaimDevice(0);
        device->SetSleepTime(100);
        device->SetSleepTime(value);
        EXPECT_EQ(device->SleepTime(), expected) << value;
    }
}

class HidReadThreadTest : public HidDeviceTest {
  protected:
    struct Received {
        std::uint8_t reportId;
        Bytes data;
        std::thread::id thread;
    };

    THidDataEvent Collector() {
        return [this](THidDevice&, std::uint8_t reportId, std::span<const std::uint8_t> data) {
            received.push_back(
                {reportId, Bytes(data.begin(), data.end()), std::this_thread::get_id()});
        };
    }

    std::vector<Received> received;
};

TEST_F(HidReadThreadTest, StartsOnlyForAClaimedDeviceWithADataHandler) {
    Start();
    controller->SetOnDeviceData(Collector());
    EXPECT_FALSE(unclaimed->ReadThreadRunning());
    DeviceRef device = controller->ClaimDevice(0);
    EXPECT_TRUE(device->ReadThreadRunning());
    device->SetDataHandler(nullptr);
    EXPECT_FALSE(device->ReadThreadRunning());
    device->SetDataHandler(Collector());
    EXPECT_TRUE(device->ReadThreadRunning());
}

TEST_F(HidReadThreadTest, DeliversInputReportsOnTheOwnersThread) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    device->SetSleepTime(10);
    device->SetDataHandler(Collector());
    reader->PushInput({1, 0x10, 0x20, 0x30});
    reader->PushInput({1, 0x40});
    reader->PushInput({1});  // report ID only: an empty payload

    ASSERT_TRUE(queue.RunUntil([&] { return received.size() == 3; }, 5s));
    EXPECT_EQ(received[0].reportId, 1);
    EXPECT_EQ(received[0].data, (Bytes{0x10, 0x20, 0x30}));
    EXPECT_EQ(received[1].data, Bytes{0x40});
    EXPECT_TRUE(received[2].data.empty());
    for (const Received& r : received) {
        EXPECT_EQ(r.thread, std::this_thread::get_id());
    }
}

TEST_F(HidReadThreadTest, ReportsErrorsAfterUnplugUntilReleased) {
    Start();
    std::vector<std::uint32_t> errors;
    controller->SetOnDeviceDataError(
        [&](THidDevice&, std::uint32_t error) { errors.push_back(error); });
    DeviceRef device = controller->ClaimDevice(0);
    device->SetSleepTime(10);
    device->SetDataHandler(Collector());
    Unplug();
    ASSERT_TRUE(queue.RunUntil([&] { return errors.size() >= 2; }, 5s));
    EXPECT_EQ(errors.back(), THidDeviceReadThread::kNoReadChannel);
    device.reset();
    EXPECT_EQ(controller->DeviceCount(), 0);
}

TEST_F(HidReadThreadTest, ReleaseWithAStepStillQueuedLeavesTheStepHarmless) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    device->SetSleepTime(10);
    device->SetDataHandler(Collector());
    reader->PushInput({1, 0x10});
    // Give the thread time to read the report and post its step, but do not run it yet.
    for (int i = 0; i < 500 && !reader->InputQueueEmpty(); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    device.reset();
    controller.reset();
    queue.RunPending();
    EXPECT_TRUE(received.empty());
}

TEST_F(HidReadThreadTest, HandlerMayReleaseTheDeviceFromInsideTheStep) {
    Start();
    DeviceRef device = controller->ClaimDevice(0);
    device->SetSleepTime(10);
    std::weak_ptr<THidDevice> watcher = device;
    device->SetDataHandler(
        [&](THidDevice&, std::uint8_t, std::span<const std::uint8_t>) { device.reset(); });
    reader->PushInput({1, 0x10});
    ASSERT_TRUE(queue.RunUntil([&] { return watcher.expired(); }, 5s));
    EXPECT_EQ(controller->DeviceCount(), 1);
}

}  // namespace
}  // namespace zm880::hid
