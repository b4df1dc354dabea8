#include "support/BusFile.h"

namespace zm880::test {

void ChangeBusFile(const std::string& state,
                   const std::function<void(hid::SimulatedBus&)>& change) {
    hid::SimulatedBus bus(state);
    change(bus);
    bus.Save();
}

sim::SettingsRecord ReaderRecordInBusFile(const std::string& state, std::size_t slot) {
    hid::SimulatedBus bus(state);
    return bus.Reader(slot).Settings();
}

}  // namespace zm880::test
