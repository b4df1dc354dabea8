#include "sim/DeviceModel.h"

namespace zm880::sim {

bool DeviceModel::GetFeature(std::span<std::uint8_t> report) {
    Transfer transfer{Transfer::Kind::Get, {report.begin(), report.end()}, false};
    transfer.ok = !report.empty() && AnswerGet(report);
    log_.push_back(std::move(transfer));
    return log_.back().ok;
}

bool DeviceModel::SetFeature(std::span<const std::uint8_t> report) {
    Transfer transfer{Transfer::Kind::Set, {report.begin(), report.end()}, false};
    transfer.ok = !report.empty() && TakeSet(report);
    log_.push_back(std::move(transfer));
    return log_.back().ok;
}

}  // namespace zm880::sim
