#pragma once

#include <cstdint>
#include <vector>

#include "sim/DeviceModel.h"

namespace zm880::sim {

// Any other HID device on the bus (a keyboard, a mouse): it has an identity and a report
// descriptor but answers no feature transfer.
class PlainHidDevice : public DeviceModel {
  public:
    PlainHidDevice(DeviceIdentity identity, std::vector<std::uint8_t> descriptor)
        : DeviceModel(std::move(identity)), descriptor_(std::move(descriptor)) {}

    std::vector<std::uint8_t> ReportDescriptor() const override { return descriptor_; }

  protected:
    bool AnswerGet(std::span<std::uint8_t>) override { return false; }
    bool TakeSet(std::span<const std::uint8_t>) override { return false; }

  private:
    std::vector<std::uint8_t> descriptor_;
};

// A boot keyboard: 8-byte input report, 1-byte LED output report, no feature report.
std::vector<std::uint8_t> KeyboardReportDescriptor();

// A keyboard of another vendor, as found next to a reader on most desks.
PlainHidDevice MakeKeyboard();

}  // namespace zm880::sim
