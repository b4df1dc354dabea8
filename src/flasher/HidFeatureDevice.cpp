#include "flasher/HidFeatureDevice.h"

#include <utility>

namespace zm880::flasher {

namespace {

class HidFeatureDevice final : public FeatureDevice {
  public:
    explicit HidFeatureDevice(hid::DeviceRef reader) : reader_(std::move(reader)) {}

    bool GetFeatureReport(std::span<std::uint8_t> report) override {
        return reader_->GetFeatureReport(report);
    }
    bool SetFeatureReport(std::span<const std::uint8_t> report) override {
        return reader_->SetFeatureReport(report);
    }
    hid::TransferError LastTransferError() const override { return reader_->LastTransferError(); }
    std::optional<std::size_t> DeclaredLength(std::uint8_t reportId) override {
        return reader_->DeclaredFeatureLength(reportId);
    }

  private:
    hid::DeviceRef reader_;
};

}  // namespace

std::shared_ptr<FeatureDevice> FeatureDeviceOf(hid::DeviceRef reader) {
    if (!reader) {
        return nullptr;
    }
    return std::make_shared<HidFeatureDevice>(std::move(reader));
}

}  // namespace zm880::flasher
