#include "support/FakeHidPlatform.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace zm880::testing {
namespace {

class FakeChannel : public hid::Channel {
  public:
    FakeChannel(std::shared_ptr<FakeInterface> device, hid::OpenMode mode)
        : device_(std::move(device)), mode_(mode) {
        ++device_->openChannels;
    }
    ~FakeChannel() override { --device_->openChannels; }

    std::optional<hid::Attributes> GetAttributes() override {
        return device_->gone ? std::nullopt : device_->attributes;
    }
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override {
        ++device_->descriptorQueries;
        return device_->gone ? std::nullopt : device_->descriptor;
    }
    std::optional<std::string> GetManufacturerString() override {
        ++device_->manufacturerQueries;
        return device_->gone ? std::nullopt : device_->manufacturer;
    }
    std::optional<std::string> GetProductString() override {
        ++device_->productQueries;
        return device_->gone ? std::nullopt : device_->product;
    }

    bool GetFeature(std::span<std::uint8_t> report) override {
        if (!Transfers()) {
            return false;
        }
        const auto found = device_->features.find(report[0]);
        if (found == device_->features.end()) {
            lastError_ = {hid::TransferError::Kind::Failed, "no such report"};
            return false;
        }
        const auto& stored = found->second;
        std::copy_n(stored.begin(), std::min(stored.size(), report.size()), report.begin());
        return true;
    }
    bool SetFeature(std::span<const std::uint8_t> report) override {
        if (!Transfers()) {
            return false;
        }
        device_->featuresSet.emplace_back(report.begin(), report.end());
        device_->features[report[0]].assign(report.begin(), report.end());
        return true;
    }

    hid::TransferError LastTransferError() const override { return lastError_; }

    std::optional<int> GetNumInputBuffers() override { return std::nullopt; }
    bool SetNumInputBuffers(int) override { return false; }

    hid::InputRead ReadInput(std::span<std::uint8_t> buffer,
                             std::chrono::milliseconds timeout) override {
        std::unique_lock lock(device_->inputMutex);
        device_->inputArrived.wait_for(lock, timeout,
                                       [&] { return device_->gone || !device_->inputs.empty(); });
        if (device_->gone) {
            return {false, 0, 19};
        }
        if (device_->inputs.empty()) {
            return {true, 0, 0};
        }
        const auto report = std::move(device_->inputs.front());
        device_->inputs.pop_front();
        const auto size = std::min(report.size(), buffer.size());
        std::copy_n(report.begin(), size, buffer.begin());
        return {true, size, 0};
    }

    bool AccessDenied() const override {
        return mode_ == hid::OpenMode::QueryOnly && device_->queryOnlyDeniesAccess;
    }

  private:
    // Whether a transfer may run; records the cause when not.
    bool Transfers() {
        using Kind = hid::TransferError::Kind;
        lastError_ = {};
        if (device_->gone) {
            lastError_ = {Kind::Removed, {}};
        } else if (mode_ != hid::OpenMode::ReadWrite) {
            lastError_ = {Kind::Failed, "open for queries only"};
        } else if (device_->transferFault) {
            lastError_ = *device_->transferFault;
        }
        return lastError_.kind == Kind::None;
    }

    std::shared_ptr<FakeInterface> device_;
    hid::OpenMode mode_;
    hid::TransferError lastError_;
};

}  // namespace

void FakeInterface::PushInput(std::vector<std::uint8_t> report) {
    {
        std::lock_guard lock(inputMutex);
        inputs.push_back(std::move(report));
    }
    inputArrived.notify_all();
}

bool FakeInterface::InputQueueEmpty() {
    std::lock_guard lock(inputMutex);
    return inputs.empty();
}

std::shared_ptr<FakeInterface> FakeHidPlatform::Plug(const std::string& identity) {
    auto device = std::make_shared<FakeInterface>();
    device->identity = identity;
    device->path = "/dev/fake/" + identity;
    present_.push_back(device);
    return device;
}

void FakeHidPlatform::Unplug(const std::string& identity) {
    std::erase_if(present_, [&](const std::shared_ptr<FakeInterface>& device) {
        if (device->identity != identity) {
            return false;
        }
        {
            std::lock_guard lock(device->inputMutex);
            device->gone = true;
        }
        device->inputArrived.notify_all();
        return true;
    });
}

std::vector<hid::InterfaceEntry> FakeHidPlatform::PresentInterfaces() {
    ++walks;
    if (onWalk) {
        onWalk();
    }
    std::vector<hid::InterfaceEntry> entries;
    for (const auto& device : present_) {
        entries.push_back({device->identity, device->path});
    }
    return entries;
}

std::unique_ptr<hid::Channel> FakeHidPlatform::Open(const std::string& path, hid::OpenMode mode,
                                                    hid::OpenError& error) {
    const auto found = std::find_if(present_.begin(), present_.end(),
                                    [&](const auto& device) { return device->path == path; });
    if (found == present_.end()) {
        error = hid::OpenError::NotFound;
        return nullptr;
    }
    auto& device = *found;
    const bool refused = mode == hid::OpenMode::ReadWrite
                             ? device->readWriteRefusal != hid::OpenError::None
                             : !device->queryOnlyOpens;
    if (refused) {
        error =
            mode == hid::OpenMode::ReadWrite ? device->readWriteRefusal : hid::OpenError::Failed;
        return nullptr;
    }
    ++device->opens;
    error = hid::OpenError::None;
    return std::make_unique<FakeChannel>(device, mode);
}

int FakeHidPlatform::TakeChanges() {
    return std::exchange(pendingChanges_, 0);
}

void TaskQueue::Post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
}

int TaskQueue::RunPending() {
    int ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return ran;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
    }
}

bool TaskQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        {
            std::unique_lock lock(mutex_);
            if (!posted_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) {
                return done();
            }
        }
        RunPending();
    }
    return true;
}

}  // namespace zm880::testing
