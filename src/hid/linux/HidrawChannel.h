#pragma once

#include <chrono>

#include "hid/Platform.h"
#include "hid/linux/SysfsNode.h"

namespace zm880::hid::hidraw {

// A channel on an opened /dev/hidrawN node. Identity and strings come from sysfs (`node`),
// the rest from the node's ioctls. A query-only channel refuses transfers and reads.
class HidrawChannel final : public Channel {
  public:
    HidrawChannel(int fd, SysfsNode node, OpenMode mode);
    ~HidrawChannel() override;
    HidrawChannel(const HidrawChannel&) = delete;
    HidrawChannel& operator=(const HidrawChannel&) = delete;

    std::optional<Attributes> GetAttributes() override;
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override;
    std::optional<std::string> GetManufacturerString() override;
    std::optional<std::string> GetProductString() override;
    bool GetFeature(std::span<std::uint8_t> report) override;
    bool SetFeature(std::span<const std::uint8_t> report) override;
    TransferError LastTransferError() const override { return lastError_; }
    // hidraw keeps a fixed kernel queue per open file; there is no ring size to read or set.
    std::optional<int> GetNumInputBuffers() override { return std::nullopt; }
    bool SetNumInputBuffers(int) override { return false; }
    InputRead ReadInput(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;

  private:
    bool CanTransfer(std::size_t length);
    // Records why the feature ioctl started at `started` failed with `error`; returns false.
    bool Fail(int error, std::chrono::steady_clock::time_point started);
    // True when the node answers that its device is gone, within a short grace time.
    bool DeviceGone() const;

    int fd_;
    SysfsNode node_;
    bool transfers_;
    TransferError lastError_;
};

}  // namespace zm880::hid::hidraw
