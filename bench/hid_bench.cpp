#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"

// Host-side cost of the transport on the zero-latency simulated bus. Each transport figure has
// a floor next to it: the same platform work done directly, without the transport.
namespace zm880::hid {
namespace {

constexpr int kBusDevices = 50;

std::shared_ptr<SimulatedBus> BusWithReaders(int count) {
    auto bus = std::make_shared<SimulatedBus>();
    for (int i = 0; i < count; ++i) {
        bus->Add(std::make_unique<sim::ReaderModel>());
    }
    return bus;
}

void RunNow(std::function<void()> task) {
    task();
}

// The platform work every reconciliation needs: walk, open each interface, read its identity.
void BM_BareWalk(benchmark::State& state) {
    const auto bus = BusWithReaders(kBusDevices);
    for (auto _ : state) {
        for (const auto& entry : bus->PresentInterfaces()) {
            OpenError error = OpenError::None;
            auto channel = bus->Open(entry.path, OpenMode::ReadWrite, error);
            benchmark::DoNotOptimize(channel->GetAttributes());
        }
    }
}
BENCHMARK(BM_BareWalk);

// First reconciliation of a new controller: 50 device objects built and listed.
void BM_FirstReconciliation(benchmark::State& state) {
    const auto bus = BusWithReaders(kBusDevices);
    for (auto _ : state) {
        THidDeviceController controller(bus, RunNow);
        benchmark::DoNotOptimize(controller.DeviceCount());
    }
}
BENCHMARK(BM_FirstReconciliation);

// A change notification with nothing changed: 50 objects built and discarded as duplicates.
void BM_UnchangedReconciliation(benchmark::State& state) {
    const auto bus = BusWithReaders(kBusDevices);
    THidDeviceController controller(bus, RunNow);
    controller.Loaded();
    for (auto _ : state) {
        controller.Notify(0);
    }
}
BENCHMARK(BM_UnchangedReconciliation);

// The device walk as discovery runs it: identity of each device, claim and product string of
// each reader, then release of all of them.
void BM_EnumerateAndClaim(benchmark::State& state) {
    const auto bus = BusWithReaders(kBusDevices);
    THidDeviceController controller(bus, RunNow);
    std::vector<DeviceRef> claimed;
    controller.SetOnEnumerate([&](THidDevice& device, int index) {
        if (device.Attributes().VendorID == sim::kReaderVendorId) {
            claimed.push_back(controller.ClaimDevice(index));
            benchmark::DoNotOptimize(claimed.back()->ProductText());
        }
        return true;
    });
    for (auto _ : state) {
        benchmark::DoNotOptimize(controller.EnumerateDevices());
        claimed.clear();
    }
}
BENCHMARK(BM_EnumerateAndClaim);

std::vector<std::uint8_t> SettingsRequest() {
    std::vector<std::uint8_t> report(sim::kDefaultFeatureReportLength, 0);
    report[0] = sim::report::Data;
    return report;
}

void BM_FeatureGetDirect(benchmark::State& state) {
    const auto bus = BusWithReaders(1);
    OpenError error = OpenError::None;
    auto channel = bus->Open(bus->PathOf(0), OpenMode::ReadWrite, error);
    auto report = SettingsRequest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(channel->GetFeature(report));
        bus->Device(0).ClearTransferLog();
    }
}
BENCHMARK(BM_FeatureGetDirect);

void BM_FeatureGetThroughDevice(benchmark::State& state) {
    const auto bus = BusWithReaders(1);
    THidDeviceController controller(bus, RunNow);
    const DeviceRef device = controller.ClaimDevice(0);
    auto report = SettingsRequest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(device->GetFeatureReport(report));
        bus->Device(0).ClearTransferLog();
    }
}
BENCHMARK(BM_FeatureGetThroughDevice);

}  // namespace
}  // namespace zm880::hid
