#include "hid/linux/HidrawChannel.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string>
#include <thread>
#include <utility>

#include "hid/linux/TransferErrno.h"

namespace zm880::hid::hidraw {
namespace {

// The transfer length is encoded in the ioctl number, which has room for 14 bits.
constexpr std::size_t kMaxIoctlLength = (1u << _IOC_SIZEBITS) - 1;

// An unplug wakes a waiting transfer before the kernel has marked the node gone; the node is
// asked a few times before an ambiguous error is taken as it stands.
constexpr int kGoneChecks = 10;
constexpr std::chrono::milliseconds kGoneCheckPause{20};

int RetryingIoctl(int fd, unsigned long request, void* argument) {
    int result = 0;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

int PollTimeout(std::chrono::milliseconds timeout) {
    return static_cast<int>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INT_MAX));
}

}  // namespace

HidrawChannel::HidrawChannel(int fd, SysfsNode node, OpenMode mode)
    : fd_(fd), node_(std::move(node)), transfers_(mode == OpenMode::ReadWrite) {}

HidrawChannel::~HidrawChannel() {
    ::close(fd_);
}

std::optional<Attributes> HidrawChannel::GetAttributes() {
    hidraw_devinfo info{};
    if (RetryingIoctl(fd_, HIDIOCGRAWINFO, &info) < 0) {
        return std::nullopt;
    }
    Attributes attributes;
    attributes.VendorID = static_cast<std::uint16_t>(info.vendor);
    attributes.ProductID = static_cast<std::uint16_t>(info.product);
    // The node reports no release number; USB devices carry it in bcdDevice.
    attributes.VersionNumber = node_.bcdDevice.value_or(0);
    return attributes;
}

std::optional<std::vector<std::uint8_t>> HidrawChannel::GetReportDescriptor() {
    int size = 0;
    if (RetryingIoctl(fd_, HIDIOCGRDESCSIZE, &size) < 0 || size < 0 ||
        size > HID_MAX_DESCRIPTOR_SIZE) {
        return std::nullopt;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<std::uint32_t>(size);
    if (RetryingIoctl(fd_, HIDIOCGRDESC, &descriptor) < 0) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(descriptor.value, descriptor.value + size);
}

std::optional<std::string> HidrawChannel::GetManufacturerString() {
    return node_.manufacturer;
}

std::optional<std::string> HidrawChannel::GetProductString() {
    return node_.product;
}

bool HidrawChannel::CanTransfer(std::size_t length) {
    if (!transfers_) {
        lastError_ = {TransferError::Kind::Failed, "the node is open for queries only"};
        return false;
    }
    if (length == 0 || length > kMaxIoctlLength) {
        lastError_ = {TransferError::Kind::Failed,
                      "a report of " + std::to_string(length) + " bytes cannot be moved"};
        return false;
    }
    lastError_ = {};
    return true;
}

bool HidrawChannel::Fail(int error, std::chrono::steady_clock::time_point started) {
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    lastError_ = MayMeanRemoved(error) && DeviceGone()
                     ? TransferError{TransferError::Kind::Removed, {}}
                     : TransferErrorFromErrno(error, waited);
    return false;
}

bool HidrawChannel::DeviceGone() const {
    for (int check = 0; check < kGoneChecks; ++check) {
        hidraw_devinfo info{};
        if (RetryingIoctl(fd_, HIDIOCGRAWINFO, &info) == 0) {
            std::this_thread::sleep_for(kGoneCheckPause);
            continue;
        }
        return errno == ENODEV;
    }
    return false;
}

bool HidrawChannel::GetFeature(std::span<std::uint8_t> report) {
    if (!CanTransfer(report.size())) {
        return false;
    }
    const auto started = std::chrono::steady_clock::now();
    const int got = RetryingIoctl(fd_, HIDIOCGFEATURE(report.size()), report.data());
    if (got < 0) {
        return Fail(errno, started);
    }
    // A shorter report leaves no stale bytes of an earlier transfer behind it.
    std::fill(report.begin() + std::min<std::ptrdiff_t>(got, std::ssize(report)), report.end(),
              std::uint8_t{0});
    return true;
}

bool HidrawChannel::SetFeature(std::span<const std::uint8_t> report) {
    if (!CanTransfer(report.size())) {
        return false;
    }
    // The ioctl does not write through its argument for a set; the cast only fits its signature.
    void* data = const_cast<std::uint8_t*>(report.data());
    const auto started = std::chrono::steady_clock::now();
    return RetryingIoctl(fd_, HIDIOCSFEATURE(report.size()), data) >= 0 || Fail(errno, started);
}

InputRead HidrawChannel::ReadInput(std::span<std::uint8_t> buffer,
                                   std::chrono::milliseconds timeout) {
    if (!transfers_) {
        return {false, 0, EBADF};
    }
    pollfd waiting{fd_, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, PollTimeout(timeout));
    if (ready < 0) {
        // A signal only cuts the wait short: report that nothing came in.
        return errno == EINTR ? InputRead{true, 0, 0} : InputRead{false, 0, errno};
    }
    if (ready == 0) {
        return {true, 0, 0};
    }
    const ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got < 0) {
        return errno == EAGAIN || errno == EINTR ? InputRead{true, 0, 0}
                                                 : InputRead{false, 0, errno};
    }
    return {true, static_cast<std::size_t>(got), 0};
}

}  // namespace zm880::hid::hidraw
