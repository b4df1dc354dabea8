#include "provision/Provisioner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/HexFiles.h"
#include "support/TestFolders.h"

namespace zm880::provision {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using json = nlohmann::ordered_json;

constexpr std::size_t kCharDelayByte = 6;
constexpr std::size_t kInterfaceByte = 11;

sim::SettingsRecord ReadFile(const fs::path& path) {
    sim::SettingsRecord record{};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(record.size()));
    EXPECT_EQ(in.gcount(), static_cast<std::streamsize>(record.size()));
    return record;
}

// A run on its own thread; the test waits for its results and changes the bus meanwhile.
class BackgroundRun {
  public:
    BackgroundRun(Provisioner& provisioner, std::size_t limit)
        : thread_([this, &provisioner, limit] {
              returned_ = provisioner.Run(
                  [this](const ProvisionResult& result) {
                      std::lock_guard lock(mutex_);
                      results_.push_back(result);
                      arrived_.notify_all();
                  },
                  limit);
          }) {}
    ~BackgroundRun() { Join(); }

    bool WaitForResults(std::size_t count) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, 10s, [&] { return results_.size() >= count; });
    }
    std::size_t Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return returned_;
    }
    std::vector<ProvisionResult> Results() {
        std::lock_guard lock(mutex_);
        return results_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<ProvisionResult> results_;
    std::size_t returned_ = 0;
    std::thread thread_;
};

class ProvisionerTest : public test::TempFolderTest {
  protected:
    ProvisionPlan Plan(json profile = {{"CharDelay", 150}, {"Interface", 1}}) const {
        return {std::move(profile), {}, dir_ / "backups"};
    }

    std::size_t AddReader() {
        auto reader = std::make_unique<sim::ReaderModel>();
        reader->Settings()[40] = 0x77;  // a byte no field owns, to show that it stays
        return bus_->Add(std::move(reader));
    }

    // Whether the reader holds the plan's profile on top of its own record.
    bool Provisioned(std::size_t slot, const sim::SettingsRecord& before) {
        sim::SettingsRecord expected = before;
        expected[1] = 1;
        expected[kCharDelayByte] = 15;
        expected[kInterfaceByte] = 1;
        return bus_->Reader(slot).Settings() == expected;
    }

    std::shared_ptr<hid::SimulatedBus> bus_ = std::make_shared<hid::SimulatedBus>();
};

TEST_F(ProvisionerTest, HandlesTheReadersPresentAndThosePluggedLaterAndReportsTheFaultyOne) {
    for (int i = 0; i < 3; ++i) {
        AddReader();
    }
    bus_->Reader(1).Faults().failSet = {3};
    const sim::SettingsRecord original = bus_->Reader(0).Settings();

    Provisioner provisioner(bus_, Plan());
    BackgroundRun run(provisioner, 5);
    ASSERT_TRUE(run.WaitForResults(3));
    AddReader();
    AddReader();
    EXPECT_EQ(run.Join(), 5u);

    const std::vector<ProvisionResult> results = run.Results();
    ASSERT_EQ(results.size(), 5u);
    for (std::size_t slot = 0; slot < 5; ++slot) {
        const ProvisionResult& result = results[slot];
        SCOPED_TRACE(result.path + ": " + result.reason);
        EXPECT_EQ(result.path, bus_->PathOf(slot));
        EXPECT_EQ(result.readerType, 0);
        EXPECT_FALSE(result.time.empty());
        // Every reader was backed up before anything was written to it.
        ASSERT_FALSE(result.backupPath.empty());
        EXPECT_EQ(ReadFile(result.backupPath), original);
        if (slot == 1) {
            EXPECT_FALSE(result.ok);
            EXPECT_NE(result.reason.find("simulated fault"), std::string::npos);
            EXPECT_TRUE(result.changes.empty());
            EXPECT_EQ(bus_->Reader(slot).Settings(), original);
            continue;
        }
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(Provisioned(slot, original));
        ASSERT_EQ(result.changes.size(), 2u);
        EXPECT_EQ(result.changes[0], (FieldChange{"CharDelay", "0 ms", "150 ms"}));
        EXPECT_EQ(result.changes[1], (FieldChange{"Interface", "0 (USB-HID-Keyboard)",
                                                  "1 (USB-VCOM)"}));
    }
    const json line = ResultToJson(results[1]);
    EXPECT_EQ(line["result"], "failed");
    EXPECT_EQ(line["path"], bus_->PathOf(1));
    EXPECT_EQ(ResultToJson(results[0])["changes"][0]["field"], "CharDelay");
    EXPECT_TRUE(ResultToJson(results[0])["reason"].is_null());
}

TEST_F(ProvisionerTest, HandlesAReaderOncePerPlug) {
    const std::size_t first = AddReader();
    AddReader();
    Provisioner provisioner(bus_, Plan());
    BackgroundRun run(provisioner, 3);
    ASSERT_TRUE(run.WaitForResults(2));
    // The reader still plugged in is left alone; the replugged one is handled again.
    bus_->Unplug(first);
    bus_->Plug(first);
    EXPECT_EQ(run.Join(), 3u);
    const std::vector<ProvisionResult> results = run.Results();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[2].path, bus_->PathOf(first));
    // Already provisioned: the second pass changes nothing, and says so.
    EXPECT_TRUE(results[2].ok);
    EXPECT_TRUE(results[2].changes.empty());
}

TEST_F(ProvisionerTest, StopEndsAWaitingRunFromAnotherThread) {
    Provisioner provisioner(bus_, Plan());
    const auto start = std::chrono::steady_clock::now();
    BackgroundRun run(provisioner, 0);
    std::this_thread::sleep_for(50ms);
    provisioner.Stop();
    EXPECT_EQ(run.Join(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // Once stopped, a run ends before the first reader.
    AddReader();
    EXPECT_EQ(provisioner.Run(nullptr), 0u);
}

TEST_F(ProvisionerTest, ARefusedProfileOrAFailedUpdateWritesNoSettings) {
    const std::size_t legic = AddReader();
    bus_->Reader(legic).SetReaderType(3);
    const sim::SettingsRecord legicBefore = bus_->Reader(legic).Settings();
    Provisioner refused(bus_, Plan({{"LfTags", {"EM4102"}}}));
    BackgroundRun first(refused, 1);
    first.Join();
    ASSERT_EQ(first.Results().size(), 1u);
    const ProvisionResult& refusal = first.Results()[0];
    EXPECT_FALSE(refusal.ok);
    EXPECT_NE(refusal.reason.find("LfTags is not stored for reader type 3"), std::string::npos)
        << refusal.reason;
    EXPECT_TRUE(refusal.backupPath.empty());
    EXPECT_EQ(bus_->Reader(legic).Settings(), legicBefore);
    bus_->Unplug(legic);

    // A firmware update first; its failure leaves the settings as they were.
    const std::size_t updated = AddReader();
    const fs::path hex = dir_ / "update.hex";
    std::ofstream(hex) << test::kSmallUpdateFile;
    ProvisionPlan plan = Plan();
    plan.firmwareFile = hex.string();
    Provisioner withFirmware(bus_, plan);
    BackgroundRun second(withFirmware, 1);
    second.Join();
    ASSERT_EQ(second.Results().size(), 1u);
    EXPECT_TRUE(second.Results()[0].ok) << second.Results()[0].reason;
    EXPECT_EQ(bus_->Reader(updated).Flash(), test::SmallUpdateImage());
    EXPECT_EQ(bus_->Reader(updated).Settings()[kInterfaceByte], 1);

    bus_->Unplug(updated);
    const std::size_t broken = AddReader();
    bus_->Reader(broken).Faults().wrongChecksumPage = 0;
    const sim::SettingsRecord brokenBefore = bus_->Reader(broken).Settings();
    Provisioner failing(bus_, plan);
    BackgroundRun third(failing, 1);
    third.Join();
    ASSERT_EQ(third.Results().size(), 1u);
    EXPECT_FALSE(third.Results()[0].ok);
    EXPECT_NE(third.Results()[0].reason.find("firmware update failed"), std::string::npos)
        << third.Results()[0].reason;
    EXPECT_EQ(bus_->Reader(broken).Settings(), brokenBefore);
}

}  // namespace
}  // namespace zm880::provision
