#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/DeviceModel.h"

namespace zm880::sim {

// One device known to the simulated bus; `identity` is empty while it has never been plugged.
struct BusDevice {
    std::unique_ptr<DeviceModel> model;
    bool plugged = true;
    std::string identity;
};

// Everything the simulated bus keeps: what separate runs share through a state file.
struct BusState {
    std::vector<BusDevice> devices;
    std::uint64_t nextIdentity = 1;
};

// The highest identity counter a state file may hold.
inline constexpr std::uint64_t kMaxIdentity = 1'000'000'000'000;

// The bus with one default reader plugged in.
BusState DefaultBusState();

// Keys keep the order they are written in, so that a state file reads from kind to faults.
using StateJson = nlohmann::ordered_json;

// Only what differs from default devices is written; a missing key stands for its default.
StateJson ToJson(const BusState& state);
// Throws std::runtime_error naming the offending key and why it is wrong.
BusState BusStateFromJson(const StateJson& document);

}  // namespace zm880::sim
