#include "UhidDevice.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <stdexcept>
#include <vector>

namespace zm880::kernel {
namespace {

bool Send(int fd, const uhid_event& event) {
    ssize_t written = 0;
    do {
        written = ::write(fd, &event, sizeof event);
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(sizeof event);
}

// Bytes of each feature report, its ID included, as the descriptor declares them: a device
// answers a GET with exactly that many, whatever the host asked for.
std::map<std::uint8_t, std::size_t> FeatureReportLengths(std::span<const std::uint8_t> descriptor) {
    std::map<std::uint8_t, std::size_t> bits;
    std::uint8_t reportId = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    for (std::size_t at = 0; at < descriptor.size();) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == 0xFE) {  // long item: its data size follows
            at += 3 + (at + 1 < descriptor.size() ? descriptor[at + 1] : 0u);
            continue;
        }
        const std::size_t size = (prefix & 3u) == 3 ? 4 : prefix & 3u;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size && at + 1 + i < descriptor.size(); ++i) {
            value |= static_cast<std::uint32_t>(descriptor[at + 1 + i]) << (8 * i);
        }
        switch (prefix & 0xFCu) {
            case 0x84:
                reportId = static_cast<std::uint8_t>(value);
                break;
            case 0x74:
                reportSize = value;
                break;
            case 0x94:
                reportCount = value;
                break;
            case 0xB0:
                bits[reportId] += std::size_t{reportSize} * reportCount;
                break;
            default:
                break;
        }
        at += 1 + size;
    }
    std::map<std::uint8_t, std::size_t> lengths;
    for (const auto& [id, count] : bits) {
        lengths[id] = (count + 7) / 8 + (id != 0 ? 1 : 0);
    }
    return lengths;
}

void CopyText(std::uint8_t* target, std::size_t capacity, const std::string& text) {
    std::memcpy(target, text.data(), std::min(text.size(), capacity - 1));
}

}  // namespace

UhidDevice::UhidDevice(std::unique_ptr<sim::DeviceModel> model, const std::string& uniq,
                       std::uint16_t bus)
    : model_(std::move(model)), uniq_(uniq) {
    const std::vector<std::uint8_t> descriptor = model_->ReportDescriptor();
    if (descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
        throw std::runtime_error("report descriptor too long for uhid");
    }
    replyLengths_ = FeatureReportLengths(descriptor);

    fd_ = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        throw std::runtime_error(std::string("cannot open /dev/uhid: ") + std::strerror(errno));
    }
    auto event = std::make_unique<uhid_event>();
    event->type = UHID_CREATE2;
    uhid_create2_req& create = event->u.create2;
    // Over USB the kernel names the device "manufacturer product"; here the name is all the
    // host can read, so it carries the product string alone.
    CopyText(create.name, sizeof create.name, model_->Identity().product);
    CopyText(create.phys, sizeof create.phys, "zm880-uhid/" + uniq);
    CopyText(create.uniq, sizeof create.uniq, uniq);
    create.rd_size = static_cast<std::uint16_t>(descriptor.size());
    create.bus = bus;
    create.vendor = model_->Identity().vendorId;
    create.product = model_->Identity().productId;
    create.version = model_->Identity().versionNumber;
    std::copy(descriptor.begin(), descriptor.end(), create.rd_data);
    if (!Send(fd_, *event)) {
        const int error = errno;
        ::close(fd_);
        throw std::runtime_error(std::string("uhid refused the device: ") + std::strerror(error));
    }
}

UhidDevice::~UhidDevice() {
    auto event = std::make_unique<uhid_event>();
    event->type = UHID_DESTROY;
    Send(fd_, *event);
    ::close(fd_);
}

bool UhidDevice::CountTransfer() {
    ++transfers_;
    if (!transfersLeft_) {
        return true;
    }
    return (*transfersLeft_)-- > 0;
}

bool UhidDevice::Serve() {
    auto event = std::make_unique<uhid_event>();
    const ssize_t got = ::read(fd_, event.get(), sizeof *event);
    if (got < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (got == 0) {
        return false;
    }
    switch (event->type) {
        case UHID_GET_REPORT:
            if (!CountTransfer()) {
                return false;
            }
            if (answering_) {
                AnswerGet(event->u.get_report.id, event->u.get_report.rnum);
            }
            return true;
        case UHID_SET_REPORT:
            if (!CountTransfer()) {
                return false;
            }
            if (answering_) {
                AnswerSet(event->u.set_report.id, event->u.set_report.data,
                          std::min<std::size_t>(event->u.set_report.size, UHID_DATA_MAX));
            }
            return true;
        default:
            return true;  // start, stop, open, close and output reports need no answer
    }
}

void UhidDevice::AnswerGet(std::uint32_t id, std::uint8_t reportId) {
    auto reply = std::make_unique<uhid_event>();
    reply->type = UHID_GET_REPORT_REPLY;
    reply->u.get_report_reply.id = id;
    const auto declared = replyLengths_.find(reportId);
    std::vector<std::uint8_t> report(declared != replyLengths_.end()
                                         ? std::min<std::size_t>(declared->second, UHID_DATA_MAX)
                                         : 1,
                                     0);
    report[0] = reportId;
    if (model_->GetFeature(report)) {
        reply->u.get_report_reply.size = static_cast<std::uint16_t>(report.size());
        std::copy(report.begin(), report.end(), reply->u.get_report_reply.data);
    } else {
        reply->u.get_report_reply.err = EIO;
    }
    Send(fd_, *reply);
}

void UhidDevice::AnswerSet(std::uint32_t id, const std::uint8_t* data, std::size_t size) {
    auto reply = std::make_unique<uhid_event>();
    reply->type = UHID_SET_REPORT_REPLY;
    reply->u.set_report_reply.id = id;
    const bool ok = size > 0 && model_->SetFeature(std::span<const std::uint8_t>(data, size));
    reply->u.set_report_reply.err = ok ? 0 : EIO;
    Send(fd_, *reply);
}

std::string FindHidrawNode(const std::string& uniq) {
    namespace fs = std::filesystem;
    std::error_code error;
    for (const auto& node : fs::directory_iterator("/sys/class/hidraw", error)) {
        std::ifstream uevent(node.path() / "device" / "uevent");
        std::string line;
        while (std::getline(uevent, line)) {
            if (line == "HID_UNIQ=" + uniq) {
                return "/dev/" + node.path().filename().string();
            }
        }
    }
    return {};
}

}  // namespace zm880::kernel
