#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/HidEvent.h"
#include "hid/Platform.h"

namespace zm880::hid {

// Handler of the device walk: the device and its list position; false stops the walk.
using THidEnumerateEvent = HidEvent<bool(THidDevice& device, int index)>;
using TNotifyEvent = HidEvent<void(THidDeviceController& sender)>;

// Keeps one device object per present HID interface, follows plug and unplug, and hands
// devices to the application. Everything runs on the owner's thread.
//
// Start-up: the constructor posts a first notification (parameter -1) through `poster`; the
// first reconciliation runs when the owner's loop delivers it and always raises OnDeviceChange.
// Until Loaded() is called, assigning OnDeviceChange only stores the handler; afterwards
// assigning a different one reconciles at once.
//
// Change notifications: when ChangeWaitable() is signalled the owner calls
// HandlePlatformChanges(). A notification that arrives while a reconciliation runs (from a
// handler) is dropped, not queued.
//
// Without a platform (nullptr) the controller lists nothing and raises nothing.
class THidDeviceController {
  public:
    static constexpr int kDefaultDevThreadSleepTime = 100;
    static constexpr int kFirstNotification = -1;

    THidDeviceController(std::shared_ptr<Platform> platform, Poster poster);
    THidDeviceController(const THidDeviceController&) = delete;
    THidDeviceController& operator=(const THidDeviceController&) = delete;
    // Unclaimed devices die with the controller; claimed ones are unplugged and detached, so a
    // later release of them touches nothing here.
    ~THidDeviceController();

    void Loaded() { loading_ = false; }
    bool Loading() const { return loading_; }

    // One device-change notification carrying `param`.
    void Notify(int param);
    Waitable ChangeWaitable() const;
    // Consumes the platform's pending changes: one notification per change.
    void HandlePlatformChanges();

    // One reconciliation of the device list with the present interfaces.
    void DeviceChange();
    // Calls OnEnumerate for each present device; returns how many were visited.
    int EnumerateDevices();
    // The device at `index`, claimed; nullptr when out of range or already claimed.
    DeviceRef ClaimDevice(int index);
    // Like ClaimDevice, but a device that is already claimed gives another reference to that
    // same claim. Whoever keeps a reference across a device change (a dialog, a firmware
    // update) therefore never keeps the next discovery from reaching the device.
    DeviceRef ClaimOrShare(int index);

    int DeviceCount() const { return static_cast<int>(devices_.size()); }

    int DevThreadSleepTime() const { return devThreadSleepTime_; }
    void SetDevThreadSleepTime(int milliseconds);
    const std::string& Version() const { return version_; }

    int ReleasedCount() const { return releasedCount_; }
    int ClaimedCount() const { return claimedCount_; }
    int UnpluggedCount() const { return unpluggedCount_; }

    const THidPlugEvent& OnArrival() const { return onArrival_; }
    const TNotifyEvent& OnDeviceChange() const { return onDeviceChange_; }
    const THidEnumerateEvent& OnEnumerate() const { return onEnumerate_; }
    const THidDataEvent& OnDeviceData() const { return onDeviceData_; }
    const THidDataErrorEvent& OnDeviceDataError() const { return onDeviceDataError_; }
    const THidPlugEvent& OnDeviceUnplug() const { return onDeviceUnplug_; }
    const THidPlugEvent& OnRemoval() const { return onRemoval_; }

    void SetOnArrival(THidPlugEvent handler) { onArrival_ = std::move(handler); }
    void SetOnDeviceChange(TNotifyEvent handler);
    void SetOnEnumerate(THidEnumerateEvent handler) { onEnumerate_ = std::move(handler); }
    // The three below pass the new handler to every listed device that still carries the
    // controller's current one.
    void SetOnDeviceData(THidDataEvent handler);
    void SetOnDeviceDataError(THidDataErrorEvent handler);
    void SetOnDeviceUnplug(THidPlugEvent handler);
    void SetOnRemoval(THidPlugEvent handler) { onRemoval_ = std::move(handler); }

  private:
    friend class THidDevice;
    struct Anchor;
    struct ClaimHold;

    // Runs when the last DeviceRef of `device` goes away.
    static void ReleaseClaim(THidDevice& device);

    std::vector<std::shared_ptr<THidDevice>> WalkPresentInterfaces();
    std::shared_ptr<THidDevice> MakeDevice(THidPnPInfo info);
    void Reconcile();
    void RemoveGoneDevices(const std::vector<std::shared_ptr<THidDevice>>& walked, bool& changed);
    void AppendArrivals(std::vector<std::shared_ptr<THidDevice>> walked, bool& changed);
    void Recount();
    std::ptrdiff_t PositionOf(const THidDevice& device) const;
    // Puts a fresh unclaimed object at the released device's position, or drops the position
    // when the device is gone or can no longer be opened.
    void Release(THidDevice& device, THidDevice::Setup kept);

    std::shared_ptr<Platform> platform_;
    Poster poster_;
    std::shared_ptr<Anchor> anchor_;

    THidPlugEvent onArrival_;
    TNotifyEvent onDeviceChange_;
    THidEnumerateEvent onEnumerate_;
    THidDataEvent onDeviceData_;
    THidDataErrorEvent onDeviceDataError_;
    THidPlugEvent onDeviceUnplug_;
    THidPlugEvent onRemoval_;

    int devThreadSleepTime_ = kDefaultDevThreadSleepTime;
    std::string version_ = "1.0.31";

    std::vector<std::shared_ptr<THidDevice>> devices_;
    // The claim of each claimed device, for ClaimOrShare. Expired entries are dropped once the
    // map has doubled since the last sweep, so that claiming every device of a long list costs
    // time in proportion to its length.
    std::unordered_map<const THidDevice*, std::weak_ptr<ClaimHold>> holds_;
    std::size_t holdsSweepAt_ = 0;
    int releasedCount_ = 0;
    int claimedCount_ = 0;
    int unpluggedCount_ = 0;

    bool loading_ = true;
    bool reconciling_ = false;
    int lastNotification_ = 0;
};

}  // namespace zm880::hid
