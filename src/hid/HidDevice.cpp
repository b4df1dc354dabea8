#include "hid/HidDevice.h"

#include <algorithm>
#include <utility>

#include "hid/HidDeviceController.h"
#include "hid/HidDeviceReadThread.h"

namespace zm880::hid {
namespace {

bool IsUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0u) == 0x80u;
}

// Cuts at the first NUL, then after kMaxTextLength characters without splitting one.
std::string CutText(std::string text) {
    text.resize(std::min(text.find('\0'), text.size()));
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsUtf8Continuation(text[i])) {
            continue;
        }
        if (characters == THidDevice::kMaxTextLength) {
            text.resize(i);
            break;
        }
        ++characters;
    }
    return text;
}

// The cause of a transfer that could not run because the channel did not open for it.
TransferError CauseOfOpenFailure(OpenError error) {
    switch (error) {
        case OpenError::NotFound:
            return {TransferError::Kind::Removed, {}};
        case OpenError::AccessDenied:
            return {TransferError::Kind::AccessDenied, {}};
        case OpenError::None:
        case OpenError::Failed:
            break;
    }
    return {TransferError::Kind::Failed, "the reader could not be opened for transfers"};
}

}  // namespace

THidDevice::THidDevice(std::shared_ptr<Platform> platform, THidPnPInfo info, Setup setup,
                       THidDeviceController* controller)
    : platform_(std::move(platform)),
      controller_(controller),
      pnpInfo_(std::move(info)),
      dataHandler_(std::move(setup.dataHandler)),
      dataErrorHandler_(std::move(setup.dataErrorHandler)),
      unplugHandler_(std::move(setup.unplugHandler)),
      poster_(std::move(setup.poster)) {
    SetSleepTime(setup.sleepTime);
    if (!OpenControl(false)) {
        throw EControllerError("Device cannot be opened");
    }
    const auto attributes = control_->GetAttributes();
    CloseControlChannel();
    if (!attributes) {
        throw EControllerError("Device cannot be identified");
    }
    attributes_ = *attributes;
}

THidDevice::~THidDevice() {
    StopReadThread();
    CloseControlChannel();
}

bool THidDevice::OpenControlChannel() {
    return Accessible() && OpenControl(true);
}

bool THidDevice::OpenControl(bool applyBufferCounts) {
    if (control_) {
        return true;
    }
    OpenError error = OpenError::None;
    control_ = platform_->Open(pnpInfo_.DevicePath, OpenMode::ReadWrite, error);
    readWriteAccess_ = control_ != nullptr;
    readWriteOpenError_ = control_ ? OpenError::None : error;
    const bool refused = !control_ && error == OpenError::AccessDenied;
    if (!control_) {
        control_ = platform_->Open(pnpInfo_.DevicePath, OpenMode::QueryOnly, error);
    }
    if (!control_) {
        // The read-write refusal says more than the query-only one that followed it.
        openError_ = readWriteOpenError_ != OpenError::Failed ? readWriteOpenError_ : error;
        return false;
    }
    accessDenied_ = refused || control_->AccessDenied();
    if (applyBufferCounts) {
        if (requestedControlBuffers_ != 0) {
            control_->SetNumInputBuffers(requestedControlBuffers_);
        }
        controlBuffers_ = control_->GetNumInputBuffers().value_or(0);
    }
    return true;
}

void THidDevice::CloseControlChannel() {
    control_.reset();
    controlBuffers_ = 0;
}

Caps THidDevice::QueryCaps() {
    if (!caps_ && OpenControlChannel()) {
        if (auto caps = control_->GetCaps()) {
            caps_ = *caps;
        }
        CloseControlChannel();
    }
    return caps_.value_or(Caps{});
}

std::optional<std::size_t> THidDevice::DeclaredFeatureLength(std::uint8_t reportId) {
    const bool wasOpen = control_ != nullptr;
    if (!featureLengths_ && OpenControlChannel()) {
        // A system that does not hand out the descriptor, or one that cannot be parsed, counts as
        // fetched too: asking again would give the same.
        const auto descriptor = control_->GetReportDescriptor();
        featureLengths_ = descriptor ? ComputeFeatureLengths(*descriptor).value_or(FeatureLengths{})
                                     : FeatureLengths{};
        if (!wasOpen) {
            CloseControlChannel();
        }
    }
    if (!featureLengths_) {
        return std::nullopt;
    }
    const auto declared = featureLengths_->find(reportId);
    if (declared == featureLengths_->end()) {
        return std::nullopt;
    }
    return declared->second;
}

std::string THidDevice::ManufacturerText() {
    return ReadText(manufacturerText_, false);
}

std::string THidDevice::ProductText() {
    return ReadText(productText_, true);
}

std::string THidDevice::ReadText(std::string& cache, bool product) {
    if (cache.empty() && OpenControlChannel()) {
        const auto text =
            product ? control_->GetProductString() : control_->GetManufacturerString();
        if (text) {
            cache = CutText(*text);
        }
        CloseControlChannel();
    }
    return cache;
}

bool THidDevice::GetFeatureReport(std::span<std::uint8_t> report) {
    return StartTransfer(report.size()) && FinishTransfer(control_->GetFeature(report));
}

bool THidDevice::SetFeatureReport(std::span<const std::uint8_t> report) {
    return StartTransfer(report.size()) && FinishTransfer(control_->SetFeature(report));
}

bool THidDevice::StartTransfer(std::size_t length) {
    using Kind = TransferError::Kind;
    lastTransferError_ = {};
    if (length == 0) {
        lastTransferError_ = {Kind::Failed, "an empty report cannot be moved"};
    } else if (!present_) {
        lastTransferError_ = {Kind::Removed, {}};
    } else if (!Accessible()) {
        lastTransferError_ = {Kind::Failed, "the device object is not claimed"};
    } else if (!OpenControl(true)) {
        lastTransferError_ = CauseOfOpenFailure(openError_);
    }
    return lastTransferError_.kind == Kind::None;
}

bool THidDevice::FinishTransfer(bool ok) {
    if (ok) {
        return true;
    }
    // A query-only channel refuses every transfer; the refused read-write open is the cause.
    if (readWriteAccess_) {
        lastTransferError_ = control_->LastTransferError();
        if (lastTransferError_.kind == TransferError::Kind::None) {
            lastTransferError_.kind = TransferError::Kind::Failed;
        }
    } else if (accessDenied_) {
        lastTransferError_ = {TransferError::Kind::AccessDenied, {}};
    } else {
        lastTransferError_ = CauseOfOpenFailure(readWriteOpenError_);
    }
    return false;
}

void THidDevice::SetSleepTime(int milliseconds) {
    if (milliseconds >= kMinSleepTime && milliseconds <= kMaxSleepTime) {
        sleepTime_ = milliseconds;
    }
}

void THidDevice::SetDataHandler(THidDataEvent handler) {
    if (!handler) {
        StopReadThread();
    }
    dataHandler_ = std::move(handler);
    StartReadThread();
}

void THidDevice::StartReadThread() {
    if (!dataHandler_ || !present_ || !claimed_ || !readWriteAccess_ || readThread_ || !poster_) {
        return;
    }
    const std::size_t inputLength = QueryCaps().InputReportByteLength;
    OpenError error = OpenError::None;
    auto channel = platform_->Open(pnpInfo_.DevicePath, OpenMode::ReadWrite, error);
    if (channel) {
        if (requestedReadBuffers_ != 0) {
            channel->SetNumInputBuffers(requestedReadBuffers_);
        }
        readBuffers_ = channel->GetNumInputBuffers().value_or(0);
    }
    readThread_ =
        std::make_unique<THidDeviceReadThread>(*this, std::move(channel), inputLength, poster_);
}

void THidDevice::StopReadThread() {
    readThread_.reset();
    readBuffers_ = 0;
}

void THidDevice::Unplug() {
    CloseControlChannel();
    if (readThread_) {
        readThread_->CloseChannel();
    }
    readBuffers_ = 0;
    present_ = false;
    const auto handler = std::exchange(unplugHandler_, nullptr);
    if (handler) {
        handler(*this);
    }
}

void THidDevice::Release() {
    Setup kept{dataHandler_, dataErrorHandler_, unplugHandler_, SleepTime(), poster_};
    SetDataHandler(nullptr);
    unplugHandler_ = nullptr;
    CloseControlChannel();
    caps_.reset();
    if (controller_) {
        controller_->Release(*this, std::move(kept));
    }
}

void THidDevice::RunDataStep(std::span<const std::uint8_t> report) {
    // The handler may release this device; nothing here touches it afterwards.
    const auto handler = dataHandler_;
    if (handler && !report.empty()) {
        handler(*this, report.front(), report.subspan(1));
    }
}

void THidDevice::RunDataErrorStep(std::uint32_t error) {
    const auto handler = dataErrorHandler_;
    if (handler) {
        handler(*this, error);
    }
}

}  // namespace zm880::hid
