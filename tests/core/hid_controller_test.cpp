#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hid/HidDeviceController.h"
#include "support/FakeHidPlatform.h"

namespace zm880::hid {
namespace {

using testing::FakeHidPlatform;
using testing::FakeInterface;
using testing::TaskQueue;

class HidControllerTest : public ::testing::Test {
  protected:
    // Builds the controller the way the window does: handlers assigned while loading, then the
    // loop delivers the posted first notification.
    void Start() {
        controller = std::make_unique<THidDeviceController>(platform, queue.Poster());
        controller->SetOnDeviceChange([this](THidDeviceController&) { ++deviceChanges; });
        controller->SetOnArrival([this](THidDevice& device) { arrivals.push_back(Name(device)); });
        controller->SetOnRemoval([this](THidDevice& device) { removals.push_back(Name(device)); });
        controller->Loaded();
        queue.RunPending();
    }

    void PlugAndNotify(const std::string& identity) {
        platform->Plug(identity);
        Announce();
    }
    void UnplugAndNotify(const std::string& identity) {
        platform->Unplug(identity);
        Announce();
    }
    void Announce() {
        platform->AnnounceChange();
        controller->HandlePlatformChanges();
    }

    static std::string Name(const THidDevice& device) { return device.PnPInfo().DevInst; }

    // DevInst of every present device, in list order.
    std::vector<std::string> PresentDevices() {
        std::vector<std::string> names;
        controller->SetOnEnumerate([&](THidDevice& device, int) {
            names.push_back(Name(device));
            return true;
        });
        controller->EnumerateDevices();
        return names;
    }

    std::shared_ptr<FakeHidPlatform> platform = std::make_shared<FakeHidPlatform>();
    TaskQueue queue;
    std::unique_ptr<THidDeviceController> controller;
    int deviceChanges = 0;
    std::vector<std::string> arrivals;
    std::vector<std::string> removals;
};

TEST_F(HidControllerTest, FirstReconciliationWaitsForThePostedNotificationAndAlwaysReports) {
    controller = std::make_unique<THidDeviceController>(platform, queue.Poster());
    controller->SetOnDeviceChange([this](THidDeviceController&) { ++deviceChanges; });
    controller->Loaded();
    EXPECT_EQ(platform->walks, 0);
    EXPECT_EQ(deviceChanges, 0);

    queue.RunPending();
    EXPECT_EQ(deviceChanges, 1);
    EXPECT_EQ(controller->DeviceCount(), 0);

    // A change elsewhere (say a storage device) reconciles but raises nothing.
    Announce();
    EXPECT_EQ(platform->walks, 2);
    EXPECT_EQ(deviceChanges, 1);
}

TEST_F(HidControllerTest, AssigningOnDeviceChangeAfterLoadingReconcilesOnlyForANewHandler) {
    Start();
    const int walks = platform->walks;
    const TNotifyEvent handler = [](THidDeviceController&) {};
    controller->SetOnDeviceChange(handler);
    EXPECT_EQ(platform->walks, walks + 1);
    controller->SetOnDeviceChange(handler);
    EXPECT_EQ(platform->walks, walks + 1);
}

TEST_F(HidControllerTest, PlugAndUnplugOfUnclaimedDevices) {
    platform->Plug("a");
    Start();
    EXPECT_EQ(arrivals, std::vector<std::string>{"a"});

    PlugAndNotify("b");
    EXPECT_EQ(arrivals, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(deviceChanges, 2);
    EXPECT_EQ(controller->ReleasedCount(), 2);

    UnplugAndNotify("a");
    EXPECT_EQ(removals, std::vector<std::string>{"a"});
    EXPECT_EQ(deviceChanges, 3);
    EXPECT_EQ(PresentDevices(), std::vector<std::string>{"b"});
    EXPECT_EQ(controller->DeviceCount(), 1);
}

TEST_F(HidControllerTest, KnownDevicesAreKeptAcrossReconciliations) {
    platform->Plug("a");
    Start();
    auto claimed = controller->ClaimDevice(0);
    PlugAndNotify("b");
    EXPECT_EQ(arrivals, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(controller->ClaimDevice(0), nullptr) << "the claimed object must stay listed";
    EXPECT_EQ(controller->DeviceCount(), 2);
}

TEST_F(HidControllerTest, ClaimedDeviceUnpluggedStaysListedUntilReleased) {
    platform->Plug("a");
    Start();
    int unplugCalls = 0;
    controller->SetOnDeviceUnplug([&](THidDevice&) { ++unplugCalls; });
    DeviceRef device = controller->ClaimDevice(0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(controller->ClaimedCount(), 1);

    UnplugAndNotify("a");
    EXPECT_EQ(removals, std::vector<std::string>{"a"});
    EXPECT_EQ(deviceChanges, 2);
    EXPECT_EQ(unplugCalls, 1);
    EXPECT_FALSE(device->Present());
    EXPECT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->UnpluggedCount(), 1);
    EXPECT_EQ(controller->ClaimedCount(), 0);

    // Plugged back before the release: a second object with the same identity.
    PlugAndNotify("a");
    EXPECT_EQ(controller->DeviceCount(), 2);
    EXPECT_EQ(PresentDevices(), std::vector<std::string>{"a"});
    EXPECT_FALSE(device->Present());

    device.reset();
    EXPECT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->UnpluggedCount(), 0);
    EXPECT_EQ(controller->ReleasedCount(), 1);
    EXPECT_EQ(unplugCalls, 1);
}

TEST_F(HidControllerTest, ClaimRefusesOutOfRangeAndSecondClaims) {
    platform->Plug("a");
    platform->Plug("b");
    Start();
    const DeviceRef first = controller->ClaimDevice(1);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Name(*first), "b");
    EXPECT_TRUE(first->Claimed());
    for (const int index : {-1, 2, 1}) {
        EXPECT_EQ(controller->ClaimDevice(index), nullptr) << "index " << index;
    }
    EXPECT_EQ(controller->ClaimedCount(), 1);
    EXPECT_EQ(controller->ReleasedCount(), 1);
}

TEST_F(HidControllerTest, EnumerationStopsWhenTheHandlerSaysSo) {
    for (const char* identity : {"a", "b", "c"}) {
        platform->Plug(identity);
    }
    Start();
    std::vector<int> visited;
    controller->SetOnEnumerate([&](THidDevice& device, int index) {
        EXPECT_TRUE(device.Enumerating());
        visited.push_back(index);
        return index < 1;
    });
    EXPECT_EQ(controller->EnumerateDevices(), 2);
    EXPECT_EQ(visited, (std::vector<int>{0, 1}));

    controller->SetOnEnumerate(nullptr);
    EXPECT_EQ(controller->EnumerateDevices(), 1);
}

TEST_F(HidControllerTest, EnumerationSkipsUnpluggedDevicesAndClosesUnclaimedChannels) {
    auto a = platform->Plug("a");
    auto b = platform->Plug("b");
    Start();
    DeviceRef held = controller->ClaimDevice(0);
    UnplugAndNotify("a");

    std::vector<int> visited;
    controller->SetOnEnumerate([&](THidDevice& device, int index) {
        visited.push_back(index);
        std::uint8_t report[2] = {3, 0};
        device.GetFeatureReport(report);  // opens the control channel
        return true;
    });
    EXPECT_EQ(controller->EnumerateDevices(), 1);
    EXPECT_EQ(visited, std::vector<int>{1});
    EXPECT_EQ(b->openChannels, 0);

    // The handler claims what it wants: a claimed device keeps its channel.
    DeviceRef claimed;
    controller->SetOnEnumerate([&](THidDevice& device, int index) {
        claimed = controller->ClaimDevice(index);
        std::uint8_t report[2] = {3, 0};
        device.GetFeatureReport(report);
        return true;
    });
    controller->EnumerateDevices();
    ASSERT_NE(claimed, nullptr);
    EXPECT_EQ(b->openChannels, 1);
}

TEST_F(HidControllerTest, NotificationDuringReconciliationIsDropped) {
    Start();
    const int walks = platform->walks;
    platform->onWalk = [&] {
        platform->onWalk = nullptr;
        controller->Notify(0);
    };
    controller->SetOnDeviceChange([&](THidDeviceController& sender) {
        sender.Notify(0);
        sender.DeviceChange();
    });
    PlugAndNotify("a");
    EXPECT_EQ(platform->walks, walks + 2) << "one for the assignment, one for the change";
    EXPECT_EQ(controller->DeviceCount(), 1);
}

TEST_F(HidControllerTest, InterfacesThatCannotBeOpenedOrIdentifiedAreLeftOut) {
    auto unopenable = platform->Plug("unopenable");
    unopenable->readWriteRefusal = OpenError::Failed;
    unopenable->queryOnlyOpens = false;
    platform->Plug("unidentified")->attributes.reset();
    platform->Plug("locked")->readWriteRefusal = OpenError::AccessDenied;
    platform->Plug("ok");
    Start();
    EXPECT_EQ(PresentDevices(), (std::vector<std::string>{"locked", "ok"}));
}

TEST_F(HidControllerTest, ALockedDeviceIsReplacedOnceItMayBeOpened) {
    auto reader = platform->Plug("reader");
    reader->readWriteRefusal = OpenError::AccessDenied;
    Start();
    ASSERT_EQ(PresentDevices(), (std::vector<std::string>{"reader"}));

    // The permission arrives with a later change event for the same device node.
    reader->readWriteRefusal = OpenError::None;
    Announce();
    EXPECT_EQ(removals, (std::vector<std::string>{"reader"}));
    EXPECT_EQ(arrivals, (std::vector<std::string>{"reader", "reader"}));
    EXPECT_EQ(deviceChanges, 2);
    DeviceRef claimed;
    controller->SetOnEnumerate([&](THidDevice&, int index) {
        claimed = controller->ClaimDevice(index);
        return false;
    });
    controller->EnumerateDevices();
    ASSERT_TRUE(claimed);
    EXPECT_FALSE(claimed->AccessDenied());
    EXPECT_TRUE(claimed->ReadWriteAccess());

    // Nothing changes while it stays accessible.
    claimed.reset();
    Announce();
    EXPECT_EQ(deviceChanges, 2);
}

TEST_F(HidControllerTest, ReleaseReplacesAPresentDeviceAndDropsAGoneOne) {
    struct Case {
        const char* name;
        bool unplugBeforeRelease;
        bool replacementFails;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"present", false, false, {"a", "b", "c"}},
        {"unplugged", true, false, {"a", "c"}},
        {"can no longer be opened", false, true, {"a", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform = std::make_shared<FakeHidPlatform>();
        platform->Plug("a");
        auto b = platform->Plug("b");
        platform->Plug("c");
        Start();
        DeviceRef device = controller->ClaimDevice(1);
        std::weak_ptr<THidDevice> watcher = device;
        if (c.unplugBeforeRelease) {
            UnplugAndNotify("b");
        }
        if (c.replacementFails) {
            b->readWriteRefusal = OpenError::Failed;
            b->queryOnlyOpens = false;
        }
        device.reset();
        EXPECT_TRUE(watcher.expired());
        EXPECT_EQ(PresentDevices(), c.expected);
        EXPECT_EQ(controller->DeviceCount(), static_cast<int>(c.expected.size()));
        EXPECT_EQ(controller->ReleasedCount(), controller->DeviceCount());
        EXPECT_EQ(controller->ClaimedCount(), 0);
        EXPECT_EQ(controller->UnpluggedCount(), 0);
        controller.reset();
    }
}

TEST_F(HidControllerTest, ReleasedReplacementIsAFreshUnclaimedObjectWithTheSameHandlers) {
    platform->Plug("a");
    Start();
    int unplugCalls = 0;
    const THidPlugEvent ownUnplug = [&](THidDevice&) { ++unplugCalls; };
    DeviceRef device = controller->ClaimDevice(0);
    device->SetUnplugHandler(ownUnplug);
    device->SetSleepTime(250);
    const THidDevice* old = device.get();
    std::weak_ptr<THidDevice> watcher = device;
    DeviceRef copy = device;
    device.reset();
    EXPECT_FALSE(watcher.expired()) << "a copy still holds the claim";
    copy.reset();
    EXPECT_TRUE(watcher.expired());

    DeviceRef again = controller->ClaimDevice(0);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again.get(), old);
    EXPECT_EQ(again->SleepTime(), 250);
    EXPECT_EQ(again->UnplugHandler(), ownUnplug);
    again.reset();
    UnplugAndNotify("a");
    EXPECT_EQ(unplugCalls, 1);
}

TEST_F(HidControllerTest, HandlerChangesReachOnlyDevicesStillOnTheControllersHandler) {
    platform->Plug("a");
    platform->Plug("b");
    Start();
    const THidPlugEvent first = [](THidDevice&) {};
    const THidPlugEvent own = [](THidDevice&) {};
    const THidPlugEvent second = [](THidDevice&) {};
    controller->SetOnDeviceUnplug(first);
    DeviceRef a = controller->ClaimDevice(0);
    DeviceRef b = controller->ClaimDevice(1);
    b->SetUnplugHandler(own);
    b->SetSleepTime(500);

    controller->SetOnDeviceUnplug(second);
    controller->SetDevThreadSleepTime(40);
    EXPECT_EQ(a->UnplugHandler(), second);
    EXPECT_EQ(b->UnplugHandler(), own);
    EXPECT_EQ(a->SleepTime(), 40);
    EXPECT_EQ(b->SleepTime(), 500);

    // Devices that arrive later start with the controller's current settings.
    PlugAndNotify("c");
    DeviceRef c = controller->ClaimDevice(2);
    EXPECT_EQ(c->UnplugHandler(), second);
    EXPECT_EQ(c->SleepTime(), 40);
}

TEST_F(HidControllerTest, DestroyingTheControllerDetachesHeldDevices) {
    platform->Plug("a");
    platform->Plug("b");
    Start();
    int unplugCalls = 0;
    controller->SetOnDeviceUnplug([&](THidDevice&) { ++unplugCalls; });
    DeviceRef held = controller->ClaimDevice(1);
    std::weak_ptr<THidDevice> watcher = held;
    controller.reset();

    EXPECT_FALSE(held->Present());
    EXPECT_EQ(unplugCalls, 1);
    std::uint8_t report[2] = {3, 0};
    EXPECT_FALSE(held->GetFeatureReport(report));
    held.reset();
    EXPECT_TRUE(watcher.expired());
}

TEST_F(HidControllerTest, PostedNotificationAfterDestructionDoesNothing) {
    controller = std::make_unique<THidDeviceController>(platform, queue.Poster());
    controller.reset();
    EXPECT_EQ(queue.RunPending(), 1);
    EXPECT_EQ(platform->walks, 0);
}

TEST_F(HidControllerTest, WithoutAPlatformNothingIsListedOrRaised) {
    THidDeviceController silent(nullptr, queue.Poster());
    silent.SetOnDeviceChange([&](THidDeviceController&) { ++deviceChanges; });
    silent.Loaded();
    silent.SetOnDeviceChange([&](THidDeviceController&) { ++deviceChanges; });
    silent.Notify(-1);
    EXPECT_EQ(queue.RunPending(), 0);
    EXPECT_EQ(deviceChanges, 0);
    EXPECT_EQ(silent.EnumerateDevices(), 0);
    EXPECT_EQ(silent.ChangeWaitable(), -1);
    EXPECT_EQ(silent.Version(), "1.0.31");
    EXPECT_EQ(silent.DevThreadSleepTime(), 100);
}

}  // namespace
}  // namespace zm880::hid
