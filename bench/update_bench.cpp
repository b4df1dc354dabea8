// Firmware update timing on the simulated reader: what the host adds per transfer, and how close
// an update on a bus with 1 ms per transfer comes to the time the bus and the pause need anyway.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "flasher/FirmwareImage.h"
#include "flasher/HidFeatureDevice.h"
#include "flasher/UpdateRun.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "reader/ReaderSession.h"

namespace {

using namespace zm880;
using Clock = std::chrono::steady_clock;

constexpr double kTransfersPerUpdate = 1 + flasher::kPageCount * 16 + 2;

// The steady clock, except that the pause after the loader start passes at once.
class PauseSkippingClock final : public flasher::UpdateClock {
  public:
    TimePoint Now() override { return Clock::now() + skipped_; }
    void WaitUntil(TimePoint until) override {
        const TimePoint now = Now();
        if (until > now) {
            skipped_ += until - now;
        }
    }

  private:
    Clock::duration skipped_{};
};

// A full image: every byte of every page comes from the file.
std::string WriteUpdateFile() {
    const auto path = std::filesystem::temp_directory_path() / "zm880-update-bench.hex";
    std::ofstream out(path, std::ios::binary);
    char line[64];
    for (std::size_t offset = 0; offset < flasher::kImageSize; offset += 16) {
        const auto address = static_cast<unsigned>(flasher::kImageBase + offset);
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        std::string text = ":10";
        std::snprintf(line, sizeof line, "%04X00", address);
        text += line;
        for (std::size_t i = 0; i < 16; ++i) {
            const auto byte = static_cast<unsigned>((offset + i) * 13 & 0xFF);
            sum += byte;
            std::snprintf(line, sizeof line, "%02X", byte);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out << text << line;
    }
    out << ":00000001FF\n";
    return path.string();
}

// One simulated reader, claimed through a session as the main window claims it.
struct SimulatedReader {
    std::shared_ptr<hid::SimulatedBus> bus = std::make_shared<hid::SimulatedBus>();
    std::deque<std::function<void()>> posted;
    std::unique_ptr<hid::THidDeviceController> controller;
    std::unique_ptr<ReaderSession> session;

    explicit SimulatedReader(std::chrono::milliseconds latency) {
        bus->Add(std::make_unique<sim::ReaderModel>());
        controller = std::make_unique<hid::THidDeviceController>(
            bus, [this](std::function<void()> task) { posted.push_back(std::move(task)); });
        session = std::make_unique<ReaderSession>(*controller);
        controller->SetOnDeviceChange(
            [this](hid::THidDeviceController&) { session->RebuildDeviceList(); });
        controller->Loaded();
        while (!posted.empty()) {
            auto task = std::move(posted.front());
            posted.pop_front();
            task();
        }
        bus->Reader(0).Link().latency = latency;
    }
    ~SimulatedReader() {
        session.reset();
        controller.reset();
    }
};

// Runs updates and returns the mean time of one run. Between runs, untimed, the loader's transfer
// log is emptied (so that it does not grow with the iterations) and `untimed` runs.
double TimedUpdates(benchmark::State& state, SimulatedReader& reader, flasher::UpdateClock& clock,
                    const std::function<void()>& untimed = {}) {
    const std::string file = WriteUpdateFile();
    double total = 0;
    for (auto _ : state) {
        flasher::UpdateRun run(flasher::FeatureDeviceOf(reader.session->SelectedDevice()), nullptr,
                               &clock);
        const auto start = Clock::now();
        const flasher::UpdateResult result = run.Run(file);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!result.ok()) {
            state.SkipWithError(result.message.c_str());
            break;
        }
        state.SetIterationTime(seconds);
        total += seconds;
        reader.bus->Reader(0).ClearTransferLog();
        if (untimed) {
            untimed();
        }
    }
    std::filesystem::remove(file);
    return total / static_cast<double>(state.iterations());
}

// Host overhead per transfer with a bus that takes no time and the pause skipped.
void BM_UpdateHostOverhead(benchmark::State& state) {
    SimulatedReader reader(std::chrono::milliseconds(0));
    PauseSkippingClock clock;
    const double perRun = TimedUpdates(state, reader, clock);
    state.counters["us_per_transfer"] = perRun / kTransfersPerUpdate * 1e6;
}
BENCHMARK(BM_UpdateHostOverhead)->UseManualTime()->Unit(benchmark::kMillisecond);

// The floor as this machine reaches it: the bus's sleeps alone (1 ms per transfer) and the pause.
double SleepFloorSeconds() {
    const auto start = Clock::now();
    for (int i = 0; i < static_cast<int>(kTransfersPerUpdate); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(flasher::kLoaderStartPause);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A bus with 1 ms per transfer and the real 100 ms pause, against its floor: the nominal one
// (323 x 1 ms + 100 ms) and the one the same sleeps reach here, timed between the runs.
void BM_UpdateAtOneMsPerTransfer(benchmark::State& state) {
    SimulatedReader reader(std::chrono::milliseconds(1));
    double measuredFloor = 0;
    const double perRun = TimedUpdates(state, reader, flasher::SteadyUpdateClock(),
                                       [&] { measuredFloor += SleepFloorSeconds(); });
    const double nominalFloor = kTransfersPerUpdate * 1e-3 + 0.1;
    state.counters["ratio_to_floor"] = perRun / nominalFloor;
    state.counters["ratio_to_measured_floor"] =
        perRun / (measuredFloor / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_UpdateAtOneMsPerTransfer)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace
