#include "hid/linux/LinuxPlatform.h"

#include "hid/linux/HidrawChannel.h"
#include "hid/linux/SysfsChannel.h"
#include "hid/linux/SysfsNode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <utility>

namespace zm880::hid::hidraw {
namespace {

OpenError OpenErrorFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return OpenError::AccessDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenError::NotFound;
        default:
            return OpenError::Failed;
    }
}

struct ListedNode {
    unsigned number;
    InterfaceEntry entry;
};

std::optional<ListedNode> ListNode(udev* context, const char* syspath) {
    const UdevDevicePtr device(udev_device_new_from_syspath(context, syspath));
    if (!device) {
        return std::nullopt;
    }
    const char* devnode = udev_device_get_devnode(device.get());
    const auto node = DescribeHidraw(device.get());
    if (devnode == nullptr || !node) {
        return std::nullopt;
    }
    const auto number = HidrawNumber(udev_device_get_sysname(device.get()));
    return ListedNode{number.value_or(std::numeric_limits<unsigned>::max()),
                      InterfaceEntry{node->identity, devnode}};
}

// Without read permission on the node, sysfs still describes the device behind it.
std::unique_ptr<Channel> OpenDeniedView(udev* context, const std::string& path, OpenError& error) {
    struct stat status {};
    if (::stat(path.c_str(), &status) < 0) {
        error = OpenErrorFromErrno(errno);
        return nullptr;
    }
    auto node = S_ISCHR(status.st_mode) ? DescribeHidraw(context, status.st_rdev) : std::nullopt;
    if (!node) {
        error = OpenError::AccessDenied;
        return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<SysfsChannel>(std::move(*node));
}

}  // namespace

LinuxPlatform::LinuxPlatform() : context_(udev_new()), monitor_(context_.get()) {}

std::vector<InterfaceEntry> LinuxPlatform::PresentInterfaces() {
    std::vector<ListedNode> listed;
    if (!context_) {
        return {};
    }
    const UdevEnumeratePtr enumerate(udev_enumerate_new(context_.get()));
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        return {};
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        if (auto node = ListNode(context_.get(), udev_list_entry_get_name(entry))) {
            listed.push_back(std::move(*node));
        }
    }
    std::sort(listed.begin(), listed.end(), [](const ListedNode& a, const ListedNode& b) {
        return a.number != b.number ? a.number < b.number : a.entry.path < b.entry.path;
    });
    std::vector<InterfaceEntry> entries;
    entries.reserve(listed.size());
    for (ListedNode& node : listed) {
        entries.push_back(std::move(node.entry));
    }
    return entries;
}

std::unique_ptr<Channel> LinuxPlatform::Open(const std::string& path, OpenMode mode,
                                             OpenError& error) {
    if (!context_) {
        error = OpenError::Failed;
        return nullptr;
    }
    const int flags = (mode == OpenMode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        error = OpenErrorFromErrno(errno);
        if (mode == OpenMode::QueryOnly && error == OpenError::AccessDenied) {
            return OpenDeniedView(context_.get(), path, error);
        }
        return nullptr;
    }
    struct stat status {};
    auto node = ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode)
                    ? DescribeHidraw(context_.get(), status.st_rdev)
                    : std::nullopt;
    if (!node) {
        // Not a hidraw node: nothing this backend can talk to.
        ::close(fd);
        error = OpenError::Failed;
        return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<HidrawChannel>(fd, std::move(*node), mode);
}

}  // namespace zm880::hid::hidraw

namespace zm880::hid {

std::unique_ptr<Platform> MakeSystemPlatform() {
    return std::make_unique<hidraw::LinuxPlatform>();
}

}  // namespace zm880::hid
