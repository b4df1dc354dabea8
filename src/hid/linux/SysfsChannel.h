#pragma once

#include "hid/Platform.h"
#include "hid/linux/SysfsNode.h"

#include <utility>

namespace zm880::hid::hidraw {

// Stands in for a hidraw node the user may not open: identity, descriptor and strings come
// from world-readable sysfs, so the reader can still be listed as present but not accessible.
class SysfsChannel final : public Channel {
  public:
    explicit SysfsChannel(SysfsNode node) : node_(std::move(node)) {}

    std::optional<Attributes> GetAttributes() override;
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override;
    std::optional<std::string> GetManufacturerString() override { return node_.manufacturer; }
    std::optional<std::string> GetProductString() override { return node_.product; }
    bool GetFeature(std::span<std::uint8_t>) override { return false; }
    bool SetFeature(std::span<const std::uint8_t>) override { return false; }
    TransferError LastTransferError() const override {
        return {TransferError::Kind::AccessDenied, {}};
    }
    std::optional<int> GetNumInputBuffers() override { return std::nullopt; }
    bool SetNumInputBuffers(int) override { return false; }
    InputRead ReadInput(std::span<std::uint8_t>, std::chrono::milliseconds) override;
    bool AccessDenied() const override { return true; }

  private:
    SysfsNode node_;
};

}  // namespace zm880::hid::hidraw
