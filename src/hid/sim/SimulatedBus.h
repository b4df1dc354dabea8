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
// time; with a state file the bus is one live bus for every process that names the file.
//
// Each plug gives the device a fresh identity, as a real bus does. Channels opened before an
// unplug stay dead after a replug: their transfers and queries fail.
//
// Every call is safe from any thread. With a state file, each change is a read-modify-write
// under a lock that all processes share: take the lock, reload the file if another process
// changed it, apply, save, release. A watcher thread notices other processes' plugs and unplugs
// and raises the change notification.
class SimulatedBus : public Platform {
  public:
    // An empty bus in memory.
    SimulatedBus();
    // The bus kept in `stateFile` (created with one default reader when missing). Throws
    // simfile::SaveError when the file must be written and cannot be, std::runtime_error naming
    // the file and what is wrong with it otherwise.
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

    // The models themselves, for tests and tools that change them directly (then call Save).
    // With a state file, a reload after another process's change replaces them.
    sim::DeviceModel& Device(std::size_t slot);
    // Throws std::logic_error when the slot holds no reader.
    sim::ReaderModel& Reader(std::size_t slot);

    // Writes the state file after a caller changed a model directly; no-op in memory. Throws
    // simfile::SaveError.
    void Save();

    // Keeps the bus to this process for a whole command: other processes' changes wait, and
    // this process's changes are saved once, when the hold ends, instead of after each transfer.
    class Hold {
      public:
        explicit Hold(SimulatedBus& bus);
        // Saves what is not saved yet; a failure here goes unreported, so call Commit first.
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        // Saves and ends the hold. Throws simfile::SaveError.
        void Commit();

      private:
        std::shared_ptr<SimulatedBusCore> core_;
        bool held_ = true;
    };

    std::vector<InterfaceEntry> PresentInterfaces() override;
    std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                  OpenError& error) override;
    Waitable ChangeWaitable() const override;
    int TakeChanges() override;
    // A Hold; its Commit throws simfile::SaveError, and so does taking it when the lock cannot
    // be taken.
    std::unique_ptr<DeviceHold> HoldDevices() override;

  private:
    std::shared_ptr<SimulatedBusCore> core_;
};

// "" gives a bus in memory with one default reader; otherwise the bus of that state file.
std::unique_ptr<Platform> MakeSimulatedPlatform(const std::string& stateFile);

}  // namespace zm880::hid
