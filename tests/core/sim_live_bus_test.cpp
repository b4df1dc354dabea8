#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "hid/OsServices.h"
#include "hid/sim/SimulatedBus.h"
#include "hid/sim/StateFileAccess.h"
#include "sim/BusState.h"

namespace zm880::hid {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Kind = TransferError::Kind;

bool Readable(Waitable waitable) {
    return WaitSignalled(waitable, std::chrono::milliseconds(0));
}

// Waits for something another bus's watcher makes true.
bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::unique_ptr<Channel> OpenSlot(SimulatedBus& bus, std::size_t slot) {
    OpenError error = OpenError::Failed;
    auto channel = bus.Open(bus.PathOf(slot), OpenMode::ReadWrite, error);
    EXPECT_EQ(error, OpenError::None);
    return channel;
}

Bytes SettingsWithByte3(std::uint8_t value) {
    Bytes report(65, 0);
    const sim::SettingsRecord record = sim::ReaderModel::DefaultSettings();
    std::copy(record.begin(), record.end(), report.begin());
    report[3] = value;
    return report;
}

bool GetSettings(Channel& channel) {
    Bytes report(65, 0);
    report[0] = 3;
    return channel.GetFeature(report);
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SimLiveBus : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("zm880-live-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        state_ = (dir_ / "bus.json").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& text) const { std::ofstream(state_) << text; }

    fs::path dir_;
    std::string state_;
};

TEST_F(SimLiveBus, AnotherBusOnTheFileHearsOfPlugsAndUnplugs) {
    SimulatedBus first(state_);
    SimulatedBus second(state_);
    second.TakeChanges();

    first.Add(std::make_unique<sim::ReaderModel>());
    ASSERT_TRUE(WaitFor([&] { return Readable(second.ChangeWaitable()); }));
    second.TakeChanges();
    EXPECT_EQ(second.PresentInterfaces().size(), 2u);

    first.Unplug(0);
    ASSERT_TRUE(WaitFor([&] { return Readable(second.ChangeWaitable()); }));
    second.TakeChanges();
    const auto present = second.PresentInterfaces();
    ASSERT_EQ(present.size(), 1u);
    EXPECT_EQ(present[0].path, second.PathOf(1));

    // A settings change is no plug: nobody is told to rebuild the device list.
    ASSERT_TRUE(OpenSlot(first, 1)->SetFeature(SettingsWithByte3(0x33)));
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(Readable(second.ChangeWaitable()));
}

TEST_F(SimLiveBus, ChangesOfBusesWithAnOldViewAllSurvive) {
    {
        SimulatedBus setup(state_);
        setup.Add(std::make_unique<sim::ReaderModel>());
    }
    SimulatedBus first(state_);
    SimulatedBus second(state_);
    auto firstChannel = OpenSlot(first, 0);
    auto secondChannel = OpenSlot(second, 1);

    ASSERT_TRUE(firstChannel->SetFeature(SettingsWithByte3(0x11)));
    first.Add(std::make_unique<sim::ReaderModel>());
    // `second` loaded the file before both changes and writes without waiting for its watcher.
    ASSERT_TRUE(secondChannel->SetFeature(SettingsWithByte3(0x22)));
    second.Unplug(1);

    SimulatedBus after(state_);
    ASSERT_EQ(after.DeviceCount(), 3u);
    EXPECT_EQ(after.Reader(0).Settings()[3], 0x11);
    EXPECT_EQ(after.Reader(1).Settings()[3], 0x22);
    EXPECT_FALSE(after.IsPlugged(1));
    EXPECT_TRUE(after.IsPlugged(2));
}

TEST_F(SimLiveBus, AHoldMakesOthersWaitAndSavesOnceAtItsEnd) {
    SimulatedBus holder(state_);
    SimulatedBus other(state_);
    auto channel = OpenSlot(holder, 0);
    const std::string before = ReadText(state_);

    auto hold = std::make_unique<SimulatedBus::Hold>(holder);
    ASSERT_TRUE(channel->SetFeature(SettingsWithByte3(0x44)));
    ASSERT_TRUE(GetSettings(*channel));
    std::atomic<bool> added = false;
    std::thread adder([&] {
        other.Add(std::make_unique<sim::ReaderModel>());
        added = true;
    });
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(added) << "another bus changed the file during the hold";
    EXPECT_EQ(ReadText(state_), before) << "saved before the hold ended";

    hold->Commit();
    adder.join();
    SimulatedBus after(state_);
    ASSERT_EQ(after.DeviceCount(), 2u);
    EXPECT_EQ(after.Reader(0).Settings()[3], 0x44);
}

TEST_F(SimLiveBus, TransfersOnAWorkerThreadGoOnWhilePlugsComeFromEverywhere) {
    {
        SimulatedBus setup(state_);
        setup.Add(std::make_unique<sim::ReaderModel>());
        setup.Add(std::make_unique<sim::ReaderModel>());
    }
    SimulatedBus bus(state_);
    SimulatedBus otherProcess(state_);
    auto channel = OpenSlot(bus, 0);
    std::atomic<bool> stop = false;
    std::atomic<int> failures = 0;
    std::thread worker([&] {
        for (std::uint8_t value = 0; !stop; ++value) {
            if (!channel->SetFeature(SettingsWithByte3(value)) || !GetSettings(*channel)) {
                ++failures;
            }
        }
    });
    for (int round = 0; round < 20; ++round) {
        bus.Unplug(1);
        otherProcess.Unplug(2);
        bus.PresentInterfaces();
        bus.Plug(1);
        otherProcess.Plug(2);
        bus.TakeChanges();
    }
    stop = true;
    worker.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(SimulatedBus(state_).PresentInterfaces().size(), 3u);
}

TEST(SimTransferErrors, EachFailureSaysWhy) {
    SimulatedBus bus;
    const std::size_t slot = bus.Add(std::make_unique<sim::ReaderModel>());
    bus.Reader(slot).Faults().failGet = {3};
    bus.Reader(slot).Faults().failSet = {3};
    auto channel = OpenSlot(bus, slot);

    EXPECT_FALSE(GetSettings(*channel));
    EXPECT_EQ(channel->LastTransferError().kind, Kind::Failed);
    EXPECT_EQ(channel->LastTransferError().detail, "simulated fault");
    EXPECT_FALSE(channel->SetFeature(SettingsWithByte3(1)));
    EXPECT_EQ(channel->LastTransferError().detail, "simulated fault");

    const Bytes status = {5, 0};
    Bytes answer = status;
    EXPECT_TRUE(channel->GetFeature(answer));
    EXPECT_EQ(channel->LastTransferError().kind, Kind::None);

    bus.Unplug(slot);
    EXPECT_FALSE(GetSettings(*channel));
    EXPECT_EQ(channel->LastTransferError().kind, Kind::Removed);
}

TEST_F(SimLiveBus, AFileThatCannotBeSavedFailsTheTransferWithTheSystemsReason) {
    const fs::path folder = dir_ / "gone";
    fs::create_directories(folder);
    SimulatedBus bus((folder / "bus.json").string());
    auto channel = OpenSlot(bus, 0);
    fs::remove_all(folder);

    EXPECT_FALSE(channel->SetFeature(SettingsWithByte3(0x55)));
    const TransferError error = channel->LastTransferError();
    EXPECT_EQ(error.kind, Kind::Failed);
    EXPECT_EQ(error.detail, "the state file could not be saved: No such file or directory");
    EXPECT_THROW(bus.Plug(0), simfile::SaveError);
}

TEST_F(SimLiveBus, RefusesFilesThatAreNoRegularFilesOrTooLarge) {
    ASSERT_EQ(::mkfifo(state_.c_str(), 0600), 0);
    try {
        SimulatedBus bus(state_);
        ADD_FAILURE() << "a FIFO was taken as a state file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
    fs::remove(state_);

    {
        std::ofstream grow(state_);
    }
    fs::resize_file(state_, simfile::kMaxStateFileSize + 1);
    EXPECT_THROW(SimulatedBus bus(state_), std::runtime_error);
}

TEST_F(SimLiveBus, SavesThroughALinkAndNeverThroughAPlantedTemporary) {
    const fs::path target = dir_ / "real.json";
    std::ofstream(target) << R"({"devices": [{}]})";
    fs::create_symlink(target, state_);
    const fs::path victim = dir_ / "victim";
    std::ofstream(victim) << "keep";
    // The name an earlier version wrote its temporary under.
    fs::create_symlink(victim, state_ + ".tmp" + std::to_string(::getpid()));

    {
        SimulatedBus bus(state_);
        ASSERT_TRUE(OpenSlot(bus, 0)->SetFeature(SettingsWithByte3(0x66)));
    }
    EXPECT_TRUE(fs::is_symlink(state_));
    EXPECT_EQ(ReadText(victim), "keep");
    EXPECT_EQ(SimulatedBus(target.string()).Reader(0).Settings()[3], 0x66);
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "bus.json" || name == "real.json" || name == "real.json.lock" ||
                    name == "victim" || name == "bus.json.tmp" + std::to_string(::getpid()))
            << "left behind: " << name;
    }
}

TEST_F(SimLiveBus, IdentitiesStartOverAtTheLimitSoTheFileStaysReadable) {
    Write(R"({"nextIdentity": 1000000000000,
              "devices": [{"identity": "sim-1"}, {"plugged": false}]})");
    SimulatedBus bus(state_);
    bus.Plug(1);
    bus.Unplug(1);
    bus.Plug(1);

    SimulatedBus next(state_);
    const auto present = next.PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].identity, "sim-1");
    EXPECT_EQ(present[1].identity, "sim-2") << "skips the identity still in use";
}

TEST_F(SimLiveBus, TheFileHoldsOnlyWhatDiffersAndOldFilesStillLoad) {
    const std::string erased(1024, 'F');
    std::string pages;
    for (int page = 0; page < 20; ++page) {
        pages += (page == 0 ? "" : ",") + ("\"" + (page == 3 ? std::string(1024, '0') : erased) +
                                           "\"");
    }
    Write(R"({"nextIdentity": 2, "devices": [{"kind": "reader", "identity": "sim-1",
              "plugged": true, "vendorId": "0x169B", "productId": "0x0710",
              "versionNumber": "0x0100", "featureReportLength": 65,
              "faults": {"open": "none", "unplugAfterTransfers": null, "latencyMs": 0,
                         "failGet": [], "failSet": [], "wrongChecksumPage": null,
                         "statusAnswers": []},
              "flash": [)" + pages + "]}]}");
    {
        SimulatedBus bus(state_);
        EXPECT_EQ(bus.Reader(0).Flash()[3 * 512], 0x00);
        EXPECT_EQ(bus.Reader(0).Flash()[0], 0xFF);
        ASSERT_TRUE(OpenSlot(bus, 0)->SetFeature(SettingsWithByte3(0x77)));
    }
    const auto saved = sim::StateJson::parse(ReadText(state_));
    const auto& device = saved["devices"][0];
    EXPECT_FALSE(device.contains("faults"));
    EXPECT_FALSE(device.contains("vendorId"));
    ASSERT_TRUE(device.contains("flash"));
    EXPECT_TRUE(device["flash"][0].is_null());
    EXPECT_TRUE(device["flash"][3].is_string());
    EXPECT_TRUE(device.contains("settings"));
    EXPECT_EQ(SimulatedBus(state_).Reader(0).Settings()[3], 0x77);
}

TEST_F(SimLiveBus, AReaderLeftInItsLoaderStaysThereForTheNextProcess) {
    {
        SimulatedBus bus(state_);
        const Bytes loaderStart = {2, 0x34, 0, 0};
        ASSERT_TRUE(OpenSlot(bus, 0)->SetFeature(loaderStart));
    }
    EXPECT_TRUE(SimulatedBus(state_).Reader(0).Loader().active);
}

}  // namespace
}  // namespace zm880::hid
