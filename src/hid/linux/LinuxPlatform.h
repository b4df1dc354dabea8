#pragma once

#include "hid/Platform.h"
#include "hid/linux/HotplugMonitor.h"
#include "hid/linux/UdevPtr.h"

namespace zm880::hid::hidraw {

// HID interfaces are the hidraw nodes that libudev lists; channels are opened on their /dev
// nodes, and hot-plug follows the hidraw uevents.
class LinuxPlatform final : public Platform {
  public:
    LinuxPlatform();

    // Sorted by node number; identity is the HID device's sysfs path (see ChooseIdentity).
    std::vector<InterfaceEntry> PresentInterfaces() override;
    // A QueryOnly open of a node the user may not read gives a sysfs-backed channel whose
    // AccessDenied() is true, so that the reader is still seen.
    std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                  OpenError& error) override;
    Waitable ChangeWaitable() const override { return monitor_.Fd(); }
    int TakeChanges() override { return monitor_.TakeChanges(); }

  private:
    UdevPtr context_;
    HotplugMonitor monitor_;
};

}  // namespace zm880::hid::hidraw
