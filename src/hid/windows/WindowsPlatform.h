#pragma once

#include <memory>
#include <optional>

#include "hid/Platform.h"
#include "hid/windows/DeviceChangeWindow.h"
#include "hid/windows/HidLibraries.h"

namespace zm880::hid::windows {

// HID interfaces through SetupApi.dll and HID.dll. Without SetupApi.dll there are no devices;
// without HID.dll they are listed but answer nothing. A device's identity is its device
// instance number together with its interface path.
class WindowsPlatform : public Platform {
  public:
    explicit WindowsPlatform(std::shared_ptr<const HidApi> api);

    std::vector<InterfaceEntry> PresentInterfaces() override;
    std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                  OpenError& error) override;
    Waitable ChangeWaitable() const override;
    int TakeChanges() override;

    // The hidden window that hears device changes; null when none could be made.
    HWND ChangeWindow() const { return changes_ ? changes_->Window() : nullptr; }

  private:
    std::optional<InterfaceEntry> Describe(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface);

    std::shared_ptr<const HidApi> api_;
    std::unique_ptr<DeviceChangeWindow> changes_;
};

}  // namespace zm880::hid::windows
