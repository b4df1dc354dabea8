#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// Simulated HID devices: pure models of what a device answers, without any bus or OS. The
// simulated bus (hid/sim) plugs them in and moves the host's transfers to them.
namespace zm880::sim {

struct DeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    std::string manufacturer;
    std::string product;  // empty: the device has no product string

    bool operator==(const DeviceIdentity&) const = default;
};

// How an open of the device ends.
enum class OpenFault {
    None,
    Refused,    // no open succeeds
    QueryOnly,  // a read-write open fails; a query-only open succeeds
    // The user may not open the device: a read-write open is denied, a query-only open gives a
    // channel that reveals identity, descriptor and strings and moves nothing.
    AccessDenied,
};

// Faults of the link between host and device, the same for every kind of device.
struct LinkFaults {
    OpenFault open = OpenFault::None;
    // Transfers the device still answers before it drops off the bus; none: it stays.
    std::optional<int> unplugAfterTransfers;
    // Time every transfer takes, as on a real bus.
    std::chrono::milliseconds latency{0};

    bool operator==(const LinkFaults&) const = default;
};

// One feature transfer as the host started it: for SET the bytes sent, for GET the buffer the
// host handed in (report ID and length, plus whatever it preset).
struct Transfer {
    enum class Kind { Get, Set };
    Kind kind = Kind::Get;
    std::vector<std::uint8_t> bytes;
    bool ok = false;

    bool operator==(const Transfer&) const = default;
};

class DeviceModel {
  public:
    explicit DeviceModel(DeviceIdentity identity) : identity_(std::move(identity)) {}
    virtual ~DeviceModel() = default;

    DeviceIdentity& Identity() { return identity_; }
    const DeviceIdentity& Identity() const { return identity_; }
    LinkFaults& Link() { return link_; }
    const LinkFaults& Link() const { return link_; }

    virtual std::vector<std::uint8_t> ReportDescriptor() const = 0;

    // Feature transfers; report[0] is the report ID. Both are logged.
    bool GetFeature(std::span<std::uint8_t> report);
    bool SetFeature(std::span<const std::uint8_t> report);

    const std::vector<Transfer>& TransferLog() const { return log_; }
    void ClearTransferLog() { log_.clear(); }

  protected:
    virtual bool AnswerGet(std::span<std::uint8_t> report) = 0;
    virtual bool TakeSet(std::span<const std::uint8_t> report) = 0;

  private:
    DeviceIdentity identity_;
    LinkFaults link_;
    std::vector<Transfer> log_;
};

}  // namespace zm880::sim
