#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sim/DeviceModel.h"

namespace zm880::kernel {

// One device model made real for the kernel through /dev/uhid: the kernel sees a HID device with
// the model's descriptor and identity, and its feature transfers are answered by the model.
class UhidDevice {
  public:
    // `uniq` becomes the device's HID_UNIQ, by which its hidraw node is found. Throws
    // std::runtime_error when /dev/uhid cannot be opened or refuses the device.
    UhidDevice(std::unique_ptr<sim::DeviceModel> model, const std::string& uniq, std::uint16_t bus);
    ~UhidDevice();
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    int Fd() const { return fd_; }
    const std::string& Uniq() const { return uniq_; }
    sim::DeviceModel& Model() { return *model_; }

    // Handles one event of the kernel; false when the device is gone or should be removed.
    bool Serve();

    // Requests are read but left unanswered, as by a device that hangs.
    void SetAnswering(bool answering) { answering_ = answering; }
    // The device drops off the bus at the transfer after `count` more, without answering it.
    void RemoveAfterTransfers(int count) { transfersLeft_ = count; }
    std::size_t Transfers() const { return transfers_; }

  private:
    bool CountTransfer();
    void AnswerGet(std::uint32_t id, std::uint8_t reportId);
    void AnswerSet(std::uint32_t id, const std::uint8_t* data, std::size_t size);

    std::unique_ptr<sim::DeviceModel> model_;
    std::string uniq_;
    int fd_ = -1;
    bool answering_ = true;
    std::optional<int> transfersLeft_;
    std::size_t transfers_ = 0;
    std::map<std::uint8_t, std::size_t> replyLengths_;  // per feature report ID
};

// The hidraw node ("/dev/hidrawN") of the HID device whose HID_UNIQ is `uniq`; empty when it has
// none (yet).
std::string FindHidrawNode(const std::string& uniq);

}  // namespace zm880::kernel
