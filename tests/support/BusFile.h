#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"

namespace zm880::test {

// The simulated bus kept in the state file `state`, as tests prepare it before a run of the
// program and look at it afterwards.
void ChangeBusFile(const std::string& state, const std::function<void(hid::SimulatedBus&)>& change);
sim::SettingsRecord ReaderRecordInBusFile(const std::string& state, std::size_t slot = 0);

}  // namespace zm880::test
