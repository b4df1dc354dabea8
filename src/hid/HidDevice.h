#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "hid/HidEvent.h"
#include "hid/Platform.h"
#include "hid/ReportDescriptor.h"

namespace zm880::hid {

class THidDevice;
class THidDeviceController;
class THidDeviceReadThread;

// Raised only while a device object is being constructed; the controller absorbs it.
class EControllerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Identity of one HID interface.
struct THidPnPInfo {
    std::string DevInst;     // same value for the same plugged-in device node
    std::string DevicePath;  // every channel of the device is opened on it
};

// Event types. `Data` excludes the report ID byte.
using THidPlugEvent = HidEvent<void(THidDevice& device)>;
using THidDataEvent =
    HidEvent<void(THidDevice& device, std::uint8_t reportId, std::span<const std::uint8_t> data)>;
using THidDataErrorEvent = HidEvent<void(THidDevice& device, std::uint32_t error)>;

// Queues a task to run later on the owner's thread (a queued event-loop call, a simple queue).
using Poster = std::function<void(std::function<void()> task)>;

// A claimed device. The holder keeps it claimed and alive; when the last copy goes away the
// device is released: the controller puts a fresh unclaimed object at its list position (or
// drops the position when the device is gone). A std::weak_ptr taken from it expires then.
// Copies must be dropped on the owner's thread.
using DeviceRef = std::shared_ptr<THidDevice>;

// One HID interface of one attached device. Only the controller creates device objects.
//
// A device is accessible while it is Present and either Claimed or Enumerating; every operation
// that needs the control channel fails (false, zero lengths, empty text) otherwise.
// All members run on the owner's thread; only the read thread runs elsewhere.
class THidDevice {
  public:
    static constexpr int kDefaultSleepTime = 100;
    static constexpr int kMinSleepTime = 10;
    static constexpr int kMaxSleepTime = 10000;
    static constexpr std::size_t kMaxTextLength = 254;

    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;
    ~THidDevice();

    const THidPnPInfo& PnPInfo() const { return pnpInfo_; }
    // Read once at construction.
    const hid::Attributes& Attributes() const { return attributes_; }

    // Report lengths; all 0 until the report descriptor could be fetched once (which needs an
    // accessible device), then served from it for the life of the object.
    Caps QueryCaps();
    // Length of feature report `reportId`, report ID included, as the report descriptor declares
    // it; nullopt where the system does not hand out the descriptor or the report is not
    // declared. Fetched once per device object.
    std::optional<std::size_t> DeclaredFeatureLength(std::uint8_t reportId);
    // UTF-8, at most 254 characters, cut at the first NUL. An empty answer is asked again on
    // the next call; a non-empty one is kept.
    std::string ManufacturerText();
    std::string ProductText();

    // `report` is the whole transfer: byte 0 the report ID, its size the length moved.
    bool GetFeatureReport(std::span<std::uint8_t> report);
    bool SetFeatureReport(std::span<const std::uint8_t> report);
    // Why the last Get/SetFeatureReport failed (Kind::None after a success): the channel's own
    // cause, or what kept the transfer from reaching the device (unplugged, not opened).
    TransferError LastTransferError() const { return lastTransferError_; }

    bool Present() const { return present_; }
    bool Claimed() const { return claimed_; }
    bool Enumerating() const { return enumerating_; }
    bool Accessible() const { return present_ && (claimed_ || enumerating_); }
    // True when the control channel was last opened for reading and writing.
    bool ReadWriteAccess() const { return readWriteAccess_; }
    // The interface exists but the user may not open it for transfers; it answers queries only.
    bool AccessDenied() const { return accessDenied_; }

    int SleepTime() const { return sleepTime_.load(); }
    // Takes values from 10 to 10000 ms; others leave it unchanged.
    void SetSleepTime(int milliseconds);

    // Input-buffer counts of the control and read channels: the request (0 keeps the platform
    // default) applies at the next open; the actual count is read back after each open and is
    // 0 while the channel is closed or the platform has no such ring.
    void SetNumInputBuffers(int count) { requestedControlBuffers_ = count; }
    int NumInputBuffers() const { return controlBuffers_; }
    void SetNumReadInputBuffers(int count) { requestedReadBuffers_ = count; }
    int NumReadInputBuffers() const { return readBuffers_; }

    const THidDataEvent& DataHandler() const { return dataHandler_; }
    const THidDataErrorEvent& DataErrorHandler() const { return dataErrorHandler_; }
    const THidPlugEvent& UnplugHandler() const { return unplugHandler_; }
    // An empty handler stops the read thread; a set one tries to start it.
    void SetDataHandler(THidDataEvent handler);
    void SetDataErrorHandler(THidDataErrorEvent handler) { dataErrorHandler_ = std::move(handler); }
    void SetUnplugHandler(THidPlugEvent handler) { unplugHandler_ = std::move(handler); }

    bool ReadThreadRunning() const { return readThread_ != nullptr; }

  private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    struct Setup {
        THidDataEvent dataHandler;
        THidDataErrorEvent dataErrorHandler;
        THidPlugEvent unplugHandler;
        int sleepTime = kDefaultSleepTime;
        Poster poster;
    };

    // Throws EControllerError when the interface cannot be opened or identified.
    THidDevice(std::shared_ptr<Platform> platform, THidPnPInfo info, Setup setup,
               THidDeviceController* controller);

    // Opens the control channel on an accessible device.
    bool OpenControlChannel();
    // The checks before a feature transfer; on false, lastTransferError_ says why.
    bool StartTransfer(std::size_t length);
    // Takes the outcome of a feature transfer on the open control channel.
    bool FinishTransfer(bool ok);
    // Read-write first, query-only as fallback.
    bool OpenControl(bool applyBufferCounts);
    void CloseControlChannel();
    std::string ReadText(std::string& cache, bool product);
    void StartReadThread();
    void StopReadThread();
    // The device is gone: channels closed, not present, unplug handler called once.
    void Unplug();
    // The last claim went away.
    void Release();
    void RunDataStep(std::span<const std::uint8_t> report);
    void RunDataErrorStep(std::uint32_t error);

    std::shared_ptr<Platform> platform_;
    THidDeviceController* controller_ = nullptr;
    // Where the controller last put this device in its list; checked before it is trusted.
    std::size_t listPosition_ = 0;
    bool present_ = true;
    bool claimed_ = false;
    bool enumerating_ = false;
    std::unique_ptr<Channel> control_;
    hid::Attributes attributes_;
    THidPnPInfo pnpInfo_;
    std::string manufacturerText_;
    std::string productText_;
    std::optional<Caps> caps_;
    std::optional<FeatureLengths> featureLengths_;
    int requestedControlBuffers_ = 0;
    int controlBuffers_ = 0;
    int requestedReadBuffers_ = 0;
    int readBuffers_ = 0;
    std::atomic<int> sleepTime_ = kDefaultSleepTime;
    THidDataEvent dataHandler_;
    THidDataErrorEvent dataErrorHandler_;
    THidPlugEvent unplugHandler_;
    Poster poster_;
    bool readWriteAccess_ = false;
    bool accessDenied_ = false;
    OpenError readWriteOpenError_ = OpenError::None;  // why the last read-write open failed
    OpenError openError_ = OpenError::None;           // why the last open failed altogether
    TransferError lastTransferError_;
    std::unique_ptr<THidDeviceReadThread> readThread_;
};

}  // namespace zm880::hid
