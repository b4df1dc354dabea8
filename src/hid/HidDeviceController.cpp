#include "hid/HidDeviceController.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace zm880::hid {
namespace {

// Marks a device as being shown to an application handler.
class EnumeratingScope {
  public:
    explicit EnumeratingScope(bool& flag) : flag_(flag) { flag_ = true; }
    EnumeratingScope(const EnumeratingScope&) = delete;
    EnumeratingScope& operator=(const EnumeratingScope&) = delete;
    ~EnumeratingScope() { flag_ = false; }

  private:
    bool& flag_;
};

class ReconcilingScope {
  public:
    explicit ReconcilingScope(bool& flag) : flag_(flag) { flag_ = true; }
    ReconcilingScope(const ReconcilingScope&) = delete;
    ReconcilingScope& operator=(const ReconcilingScope&) = delete;
    ~ReconcilingScope() { flag_ = false; }

  private:
    bool& flag_;
};

}  // namespace

// What a DeviceRef points into: the last copy going away releases the device.
struct THidDeviceController::ClaimHold {
    explicit ClaimHold(std::shared_ptr<THidDevice> claimed) : device(std::move(claimed)) {}
    ClaimHold(const ClaimHold&) = delete;
    ClaimHold& operator=(const ClaimHold&) = delete;
    ~ClaimHold() { ReleaseClaim(*device); }

    std::shared_ptr<THidDevice> device;
};

// Lets a posted notification find out whether the controller still exists.
struct THidDeviceController::Anchor {
    THidDeviceController* controller;
};

THidDeviceController::THidDeviceController(std::shared_ptr<Platform> platform, Poster poster)
    : platform_(std::move(platform)),
      poster_(std::move(poster)),
      anchor_(std::make_shared<Anchor>(Anchor{this})) {
    if (platform_ && poster_) {
        poster_([anchor = std::weak_ptr<Anchor>(anchor_)] {
            if (const auto alive = anchor.lock()) {
                alive->controller->Notify(kFirstNotification);
            }
        });
    }
}

THidDeviceController::~THidDeviceController() {
    onDeviceChange_ = nullptr;
    onDeviceUnplug_ = nullptr;
    onEnumerate_ = nullptr;
    anchor_.reset();
    const auto devices = std::exchange(devices_, {});
    for (const auto& device : devices) {
        device->controller_ = nullptr;
        if (device->claimed_) {
            device->Unplug();
        }
    }
}

void THidDeviceController::Notify(int param) {
    if (reconciling_) {
        return;
    }
    lastNotification_ = param;
    DeviceChange();
}

Waitable THidDeviceController::ChangeWaitable() const {
    return platform_ ? platform_->ChangeWaitable() : kNoWaitable;
}

void THidDeviceController::HandlePlatformChanges() {
    if (!platform_) {
        return;
    }
    for (int changes = platform_->TakeChanges(); changes > 0; --changes) {
        Notify(0);
    }
}

void THidDeviceController::DeviceChange() {
    // A handler that asks for another reconciliation while one runs would have the list
    // rebuilt under the running one.
    if (reconciling_ || !platform_) {
        return;
    }
    ReconcilingScope scope(reconciling_);
    Reconcile();
}

void THidDeviceController::Reconcile() {
    bool changed = lastNotification_ == kFirstNotification;
    auto walked = WalkPresentInterfaces();
    RemoveGoneDevices(walked, changed);
    AppendArrivals(std::move(walked), changed);
    Recount();
    if (changed && onDeviceChange_) {
        onDeviceChange_(*this);
    }
}

// The platform returns a finite list, so the walk always ends.
std::vector<std::shared_ptr<THidDevice>> THidDeviceController::WalkPresentInterfaces() {
    std::vector<std::shared_ptr<THidDevice>> walked;
    for (auto& entry : platform_->PresentInterfaces()) {
        try {
            walked.push_back(MakeDevice({std::move(entry.identity), std::move(entry.path)}));
        } catch (const EControllerError&) {
            // Interfaces that cannot be opened or identified are simply not listed.
        }
    }
    return walked;
}

std::shared_ptr<THidDevice> THidDeviceController::MakeDevice(THidPnPInfo info) {
    THidDevice::Setup setup{onDeviceData_, onDeviceDataError_, onDeviceUnplug_, devThreadSleepTime_,
                            poster_};
    return std::shared_ptr<THidDevice>(
        new THidDevice(platform_, std::move(info), std::move(setup), this));
}

void THidDeviceController::RemoveGoneDevices(const std::vector<std::shared_ptr<THidDevice>>& walked,
                                             bool& changed) {
    // Looked up by instance, so that a walk costs time in proportion to the devices.
    std::unordered_map<std::string_view, const THidDevice*> walkedByInstance;
    for (const auto& candidate : walked) {
        walkedByInstance.emplace(candidate->pnpInfo_.DevInst, candidate.get());
    }
    // Handlers may release devices meanwhile, so once one ran, positions are looked up afresh.
    bool handlersRan = false;
    const auto listed = devices_;
    for (auto it = listed.rbegin(); it != listed.rend(); ++it) {
        THidDevice& device = **it;
        if (handlersRan && PositionOf(device) < 0) {
            continue;
        }
        const auto found = walkedByInstance.find(device.pnpInfo_.DevInst);
        const THidDevice* fresh = found == walkedByInstance.end() ? nullptr : found->second;
        // Permission on a node often comes after the node itself (the device manager grants it
        // after the kernel announced the device), so a device first seen as not accessible is
        // replaced by its fresh object once that one may be opened.
        const bool accessGranted =
            fresh != nullptr && device.AccessDenied() && !fresh->AccessDenied();
        const bool stillThere = device.present_ && fresh != nullptr && !accessGranted;
        if (stillThere) {
            continue;
        }
        handlersRan = true;
        device.Unplug();
        if (onRemoval_) {
            EnumeratingScope scope(device.enumerating_);
            onRemoval_(device);
        }
        const auto position = PositionOf(device);
        if (!device.claimed_ && position >= 0) {
            devices_.erase(devices_.begin() + position);
        }
        changed = true;
    }
}

void THidDeviceController::AppendArrivals(std::vector<std::shared_ptr<THidDevice>> walked,
                                          bool& changed) {
    std::unordered_set<std::string_view> present;
    for (const auto& device : devices_) {
        if (device->present_) {
            present.insert(device->pnpInfo_.DevInst);
        }
    }
    std::erase_if(walked, [&](const std::shared_ptr<THidDevice>& fresh) {
        const bool known = present.contains(fresh->pnpInfo_.DevInst);
        if (known) {
            fresh->controller_ = nullptr;
        }
        return known;
    });
    for (const auto& device : walked) {
        device->listPosition_ = devices_.size();
        devices_.push_back(device);
        changed = true;
        if (onArrival_) {
            EnumeratingScope scope(device->enumerating_);
            onArrival_(*device);
        }
        if (!device->claimed_) {
            device->CloseControlChannel();
        }
    }
}

void THidDeviceController::Recount() {
    const auto count = [&](auto predicate) {
        return static_cast<int>(
            std::count_if(devices_.begin(), devices_.end(),
                          [&](const auto& device) { return predicate(*device); }));
    };
    releasedCount_ = count([](const THidDevice& device) { return !device.claimed_; });
    unpluggedCount_ = count([](const THidDevice& device) { return !device.present_; });
    claimedCount_ =
        count([](const THidDevice& device) { return device.claimed_; }) - unpluggedCount_;
}

int THidDeviceController::EnumerateDevices() {
    int visited = 0;
    const std::size_t length = devices_.size();
    for (std::size_t i = 0; i < length && i < devices_.size(); ++i) {
        const auto device = devices_[i];
        if (!device->present_) {
            continue;
        }
        ++visited;
        bool goOn = false;
        {
            EnumeratingScope scope(device->enumerating_);
            goOn = onEnumerate_ && onEnumerate_(*device, static_cast<int>(i));
        }
        if (!device->claimed_) {
            device->CloseControlChannel();
        }
        if (!goOn) {
            break;
        }
    }
    return visited;
}

DeviceRef THidDeviceController::ClaimDevice(int index) {
    if (index < 0 || index >= DeviceCount()) {
        return nullptr;
    }
    const auto& device = devices_[static_cast<std::size_t>(index)];
    if (device->claimed_) {
        return nullptr;
    }
    // A released device becomes a claimed one; counting them all again would make enumerating
    // a long list cost the square of its length.
    device->claimed_ = true;
    --releasedCount_;
    ++claimedCount_;
    device->StartReadThread();
    auto hold = std::make_shared<ClaimHold>(device);
    if (holds_.size() >= holdsSweepAt_) {
        std::erase_if(holds_, [](const auto& entry) { return entry.second.expired(); });
        holdsSweepAt_ = 2 * holds_.size() + 16;
    }
    holds_.insert_or_assign(device.get(), hold);
    return DeviceRef(hold, hold->device.get());
}

DeviceRef THidDeviceController::ClaimOrShare(int index) {
    if (index < 0 || index >= DeviceCount()) {
        return nullptr;
    }
    const THidDevice* device = devices_[static_cast<std::size_t>(index)].get();
    if (!device->claimed_) {
        return ClaimDevice(index);
    }
    const auto found = holds_.find(device);
    if (found != holds_.end()) {
        if (const auto hold = found->second.lock()) {
            return DeviceRef(hold, hold->device.get());
        }
    }
    return nullptr;
}

void THidDeviceController::ReleaseClaim(THidDevice& device) {
    device.Release();
}

void THidDeviceController::Release(THidDevice& device, THidDevice::Setup kept) {
    const auto position = PositionOf(device);
    if (position < 0) {
        return;
    }
    const auto slot = devices_.begin() + position;
    if (device.present_) {
        try {
            auto fresh = std::shared_ptr<THidDevice>(
                new THidDevice(platform_, device.pnpInfo_, std::move(kept), this));
            fresh->listPosition_ = static_cast<std::size_t>(position);
            *slot = std::move(fresh);
            // A claimed, present device became a released one: counting them all again would
            // make enumerating a long list cost the square of its length.
            ++releasedCount_;
            --claimedCount_;
            return;
        } catch (const EControllerError&) {
            // The interface can no longer be opened: it leaves the list like an unplugged one.
            devices_.erase(slot);
        }
    } else {
        devices_.erase(slot);
    }
    Recount();
}

std::ptrdiff_t THidDeviceController::PositionOf(const THidDevice& device) const {
    // The remembered position holds unless a device before it left the list since.
    if (device.listPosition_ < devices_.size() && devices_[device.listPosition_].get() == &device) {
        return static_cast<std::ptrdiff_t>(device.listPosition_);
    }
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [&](const auto& listed) { return listed.get() == &device; });
    return it == devices_.end() ? -1 : it - devices_.begin();
}

void THidDeviceController::SetOnDeviceChange(TNotifyEvent handler) {
    const bool differs = !(handler == onDeviceChange_);
    onDeviceChange_ = std::move(handler);
    if (differs && !loading_) {
        DeviceChange();
    }
}

void THidDeviceController::SetOnDeviceData(THidDataEvent handler) {
    if (handler == onDeviceData_) {
        return;
    }
    for (const auto& device : devices_) {
        if (device->dataHandler_ == onDeviceData_) {
            device->SetDataHandler(handler);
        }
    }
    onDeviceData_ = std::move(handler);
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent handler) {
    if (handler == onDeviceDataError_) {
        return;
    }
    for (const auto& device : devices_) {
        if (device->dataErrorHandler_ == onDeviceDataError_) {
            device->SetDataErrorHandler(handler);
        }
    }
    onDeviceDataError_ = std::move(handler);
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent handler) {
    if (handler == onDeviceUnplug_) {
        return;
    }
    for (const auto& device : devices_) {
        if (device->unplugHandler_ == onDeviceUnplug_) {
            device->SetUnplugHandler(handler);
        }
    }
    onDeviceUnplug_ = std::move(handler);
}

void THidDeviceController::SetDevThreadSleepTime(int milliseconds) {
    if (milliseconds == devThreadSleepTime_) {
        return;
    }
    for (const auto& device : devices_) {
        if (device->SleepTime() == devThreadSleepTime_) {
            device->SetSleepTime(milliseconds);
        }
    }
    devThreadSleepTime_ = milliseconds;
}

}  // namespace zm880::hid
