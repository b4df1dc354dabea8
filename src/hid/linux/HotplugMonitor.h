#pragma once

#include "hid/linux/UdevPtr.h"

namespace zm880::hid::hidraw {

// Follows hidraw nodes coming and going. The kernel's own uevents arrive with or without a
// udev daemon; where a daemon runs, its events are followed as well, because only after it has
// handled a node does the node carry the permissions its rules grant. Both sources sit behind
// one descriptor so that the caller waits on a single fd.
class HotplugMonitor {
  public:
    explicit HotplugMonitor(udev* context);
    ~HotplugMonitor();
    HotplugMonitor(const HotplugMonitor&) = delete;
    HotplugMonitor& operator=(const HotplugMonitor&) = delete;

    // Readable while events are pending; -1 when no source could be set up.
    int Fd() const { return fd_; }
    // Consumes every pending event; returns how many were additions or removals.
    int TakeChanges();

  private:
    bool Watch(UdevMonitorPtr& slot, udev* context, const char* source);

    UdevMonitorPtr kernel_;
    UdevMonitorPtr daemon_;
    int fd_ = -1;
};

}  // namespace zm880::hid::hidraw
