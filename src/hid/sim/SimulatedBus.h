#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "hid/Platform.h"
#include "sim/DeviceModel.h"
#include "sim/ReaderModel.h"

namespace zm880::hid {

class SimulatedBusCore;

// A platform whose HID interfaces are simulated devices. Tests plug and unplug devices at run
// time; with a state file the whole bus is shared by separate runs of the program.
//
// Each plug gives the device a fresh identity, as a real bus does. Channels opened before an
// unplug stay dead after a replug: their transfers and queries fail.
class SimulatedBus : public Platform {
  public:
    // An empty bus in memory.
    SimulatedBus();
    // The bus kept in `stateFile`: loaded from it (created with one default reader when missing)
    // and written back, atomically, after every change. Throws std::runtime_error naming the
    // file and what is wrong with it.
    explicit SimulatedBus(const std::string& stateFile);
    ~SimulatedBus() override;

    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    // Adds a device, plugs it in and returns its slot.
    std::size_t Add(std::unique_ptr<sim::DeviceModel> device);
    void Plug(std::size_t slot);
    void Unplug(std::size_t slot);
    bool IsPlugged(std::size_t slot) const;
    std::size_t DeviceCount() const;
    // The path the device's interface has while plugged in.
    std::string PathOf(std::size_t slot) const;

    sim::DeviceModel& Device(std::size_t slot);
    // Throws std::logic_error when the slot holds no reader.
    sim::ReaderModel& Reader(std::size_t slot);

    // Writes the state file after a caller changed a model directly; no-op in memory.
    void Save();

    std::vector<InterfaceEntry> PresentInterfaces() override;
    std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                  OpenError& error) override;
    int ChangeFd() const override;
    int TakeChanges() override;

  private:
    std::shared_ptr<SimulatedBusCore> core_;
};

// "" gives a bus in memory with one default reader; otherwise the bus of that state file.
std::unique_ptr<Platform> MakeSimulatedPlatform(const std::string& stateFile);

}  // namespace zm880::hid
