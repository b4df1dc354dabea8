#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/ReportDescriptor.h"

// The one seam between the transport and the operating system. Every backend (hid/linux,
// hid/sim) implements these interfaces; nothing above hid/ sees an OS header.
namespace zm880::hid {

struct Attributes {
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// One present HID interface. `identity` stands for the device instance: two walks give equal
// identities exactly for the same plugged-in device node, and a replugged device gets a new one.
struct InterfaceEntry {
    std::string identity;
    std::string path;
};

enum class OpenMode { ReadWrite, QueryOnly };

// What a waiter watches for device changes: a descriptor that turns readable on POSIX systems,
// an event handle that becomes signalled on Windows. kNoWaitable when there is none.
using Waitable = std::intptr_t;
inline constexpr Waitable kNoWaitable = -1;

// Why the last feature transfer on a channel failed, as far as the system tells it. `detail`
// carries the system's own words (or a backend's reason) for the cases without a kind of their own.
struct TransferError {
    enum class Kind { None, Removed, AccessDenied, NoAnswer, Busy, Failed };
    Kind kind = Kind::None;
    std::string detail;
};

// One line for the user: "the reader was removed", "permission denied (...)", ...
std::string DescribeTransferError(const TransferError& error);
enum class OpenError { None, NotFound, AccessDenied, Failed };

// Result of a read on a read channel: bytes received (0 when nothing came in time), or failure.
struct InputRead {
    bool ok = false;
    std::size_t size = 0;
    int error = 0;
};

// An open channel to one HID interface. A query-only channel answers the queries but refuses
// transfers.
class Channel {
  public:
    virtual ~Channel() = default;

    virtual std::optional<Attributes> GetAttributes() = 0;
    // The raw report descriptor; nullopt where the system does not hand it out.
    virtual std::optional<std::vector<std::uint8_t>> GetReportDescriptor() = 0;
    // Report lengths. By default computed from the report descriptor; a system that knows them
    // itself answers directly.
    virtual std::optional<Caps> GetCaps();
    // UTF-8 strings; nullopt when the device has none or cannot be asked.
    virtual std::optional<std::string> GetManufacturerString() = 0;
    virtual std::optional<std::string> GetProductString() = 0;

    // Feature transfers: report[0] is the report ID, report.size() the length moved.
    virtual bool GetFeature(std::span<std::uint8_t> report) = 0;
    virtual bool SetFeature(std::span<const std::uint8_t> report) = 0;
    // The cause of the last failed GetFeature/SetFeature; backends that cannot tell say Failed.
    virtual TransferError LastTransferError() const { return {TransferError::Kind::Failed, {}}; }

    // Size of the input report ring. Platforms without one (Linux hidraw keeps a fixed queue)
    // return nullopt and refuse to set it: the device then keeps its counts at 0.
    virtual std::optional<int> GetNumInputBuffers() = 0;
    virtual bool SetNumInputBuffers(int count) = 0;

    // Waits up to `timeout` for one input report.
    virtual InputRead ReadInput(std::span<std::uint8_t> buffer,
                                std::chrono::milliseconds timeout) = 0;

    // True for a query-only channel that stands in for an interface the user may not open at
    // all: it is present, answers what the system reveals without opening it, and moves nothing.
    virtual bool AccessDenied() const { return false; }
};

// Keeps the platform's devices to this process while it lasts, so that no other process
// changes them between a read and the write built on it.
class DeviceHold {
  public:
    virtual ~DeviceHold() = default;
    // Keeps what changed and ends the hold. Throws std::runtime_error with the user's line when
    // what changed could not be kept.
    virtual void Commit() = 0;
};

class Platform {
  public:
    virtual ~Platform() = default;

    // Walk of the present HID interfaces, in a stable order.
    virtual std::vector<InterfaceEntry> PresentInterfaces() = 0;

    // Opens a channel on `path`; on failure returns nullptr and says why in `error`.
    virtual std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                          OpenError& error) = 0;

    // Device-change notifications: a waitable that is signalled while changes of the HID
    // interfaces are pending (kNoWaitable when the platform has none), and the call that consumes
    // them and says how many it held.
    virtual Waitable ChangeWaitable() const = 0;
    virtual int TakeChanges() = 0;

    // A hold for one read-modify-write of a device that other processes share through the
    // platform (a simulated bus's state file); nullptr where the platform has none. Throws
    // std::runtime_error with the user's line when the devices cannot be held.
    virtual std::unique_ptr<DeviceHold> HoldDevices() { return nullptr; }
};

// The platform of the machine the program runs on.
std::unique_ptr<Platform> MakeSystemPlatform();

}  // namespace zm880::hid
