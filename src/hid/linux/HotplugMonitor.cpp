#include "hid/linux/HotplugMonitor.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cstring>

namespace zm880::hid::hidraw {
namespace {

int DrainChanges(udev_monitor* monitor) {
    int changes = 0;
    if (monitor == nullptr) {
        return changes;
    }
    while (const UdevDevicePtr device{udev_monitor_receive_device(monitor)}) {
        const char* action = udev_device_get_action(device.get());
        if (action != nullptr &&
            (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0)) {
            ++changes;
        }
    }
    return changes;
}

}  // namespace

HotplugMonitor::HotplugMonitor(udev* context) {
    if (context == nullptr) {
        return;
    }
    fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    const bool kernel = Watch(kernel_, context, "kernel");
    const bool daemon = Watch(daemon_, context, "udev");
    if (!kernel && !daemon) {
        ::close(fd_);
        fd_ = -1;
    }
}

HotplugMonitor::~HotplugMonitor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool HotplugMonitor::Watch(UdevMonitorPtr& slot, udev* context, const char* source) {
    UdevMonitorPtr monitor(udev_monitor_new_from_netlink(context, source));
    if (!monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor.get()) < 0) {
        return false;
    }
    epoll_event interest{};
    interest.events = EPOLLIN;
    if (::epoll_ctl(fd_, EPOLL_CTL_ADD, udev_monitor_get_fd(monitor.get()), &interest) < 0) {
        return false;
    }
    slot = std::move(monitor);
    return true;
}

int HotplugMonitor::TakeChanges() {
    return DrainChanges(kernel_.get()) + DrainChanges(daemon_.get());
}

}  // namespace zm880::hid::hidraw
