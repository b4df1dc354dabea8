#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "cfgfile/SafeFile.h"
#include "hid/sim/SimulatedBus.h"
#include "provision/Provisioner.h"
#include "sim/ReaderModel.h"

// Provisioning speed against the floor its transfers set: per reader one read for the backup,
// one write and one read-back, each taking 1 ms on the simulated bus. Backups go to the temporary
// folder (TMPDIR), whose file system decides what their syncs cost.
namespace zm880::provision {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReaders = 20;
constexpr int kTransfersPerReader = 3;
constexpr std::size_t kRecordLength = sim::kDefaultFeatureReportLength;

std::shared_ptr<hid::SimulatedBus> BusAtOneMsPerTransfer() {
    auto bus = std::make_shared<hid::SimulatedBus>();
    for (int i = 0; i < kReaders; ++i) {
        auto reader = std::make_unique<sim::ReaderModel>();
        reader->Link().latency = std::chrono::milliseconds(1);
        bus->Add(std::move(reader));
    }
    return bus;
}

// The transfers alone, straight on the bus's channels: read, write it back, read again.
double TransferFloorSeconds(hid::SimulatedBus& bus) {
    const auto start = Clock::now();
    for (const hid::InterfaceEntry& entry : bus.PresentInterfaces()) {
        hid::OpenError error = hid::OpenError::None;
        const std::unique_ptr<hid::Channel> channel =
            bus.Open(entry.path, hid::OpenMode::ReadWrite, error);
        std::array<std::uint8_t, kRecordLength> record{sim::report::Data};
        channel->GetFeature(record);
        channel->SetFeature(record);
        channel->GetFeature(record);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The backups alone: one durable new file per reader, as each backup is written.
double BackupFloorSeconds(const std::filesystem::path& folder, int round) {
    std::filesystem::create_directories(folder);
    const std::array<std::uint8_t, 64> record{sim::report::Data};
    const auto start = Clock::now();
    for (int i = 0; i < kReaders; ++i) {
        bool taken = false;
        cfgfile::CreateFileExclusively(
            folder / ("floor-" + std::to_string(round) + "-" + std::to_string(i) + ".cfg"),
            record, taken);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every reader of the bus provisioned per iteration (a new run handles each present reader
// once), timed against the transfer floor measured between the runs.
void BM_ProvisionAtOneMsPerTransfer(benchmark::State& state) {
    const auto bus = BusAtOneMsPerTransfer();
    const std::filesystem::path backups =
        std::filesystem::temp_directory_path() /
        ("zm880-provision-bench-" + std::to_string(std::random_device{}()));
    ProvisionPlan plan;
    plan.profile = {{"CharDelay", 150}, {"Interface", 1}};
    plan.backupDirectory = backups;

    double total = 0;
    double floor = 0;
    double backupFloor = 0;
    int round = 0;
    for (auto _ : state) {
        Provisioner provisioner(bus, plan);
        bool allOk = true;
        const auto start = Clock::now();
        const std::size_t done = provisioner.Run(
            [&allOk](const ProvisionResult& result) { allOk = allOk && result.ok; }, kReaders);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (done != kReaders || !allOk) {
            state.SkipWithError("a reader was not provisioned");
            break;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        floor += TransferFloorSeconds(*bus);
        backupFloor += BackupFloorSeconds(backups, ++round);
    }
    std::filesystem::remove_all(backups);
    const double runs = static_cast<double>(state.iterations());
    const double perRun = total / runs;
    state.counters["readers_per_minute"] = kReaders * 60.0 / perRun;
    state.counters["floor_readers_per_minute"] = kReaders * 60.0 / (floor / runs);
    state.counters["ratio_to_floor"] = perRun / (floor / runs);
    state.counters["ratio_to_nominal_floor"] = perRun / (kReaders * kTransfersPerReader * 1e-3);
    // With the backups' own file writes (two syncs each, a disk's cost) added to the floor.
    state.counters["ratio_to_floor_with_backups"] = perRun / ((floor + backupFloor) / runs);
}
BENCHMARK(BM_ProvisionAtOneMsPerTransfer)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zm880::provision
