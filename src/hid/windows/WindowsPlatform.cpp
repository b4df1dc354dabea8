#include "hid/windows/WindowsPlatform.h"

#include <cstddef>
#include <vector>

#include "hid/windows/WindowsChannel.h"

namespace zm880::hid::windows {

WindowsPlatform::WindowsPlatform(std::shared_ptr<const HidApi> api) : api_(std::move(api)) {
    changes_ = std::make_unique<DeviceChangeWindow>(HidInterfaceClass(*api_));
}

std::vector<InterfaceEntry> WindowsPlatform::PresentInterfaces() {
    std::vector<InterfaceEntry> entries;
    if (!api_->setup) {
        return entries;
    }
    const GUID hidClass = HidInterfaceClass(*api_);
    const HDEVINFO set = api_->setup->GetClassDevs(&hidClass, nullptr, nullptr,
                                                   DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return entries;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface {};
        interface.cbSize = sizeof interface;
        if (!api_->setup->EnumDeviceInterfaces(set, nullptr, &hidClass, index, &interface)) {
            break;
        }
        if (auto entry = Describe(set, interface)) {
            entries.push_back(std::move(*entry));
        }
    }
    api_->setup->DestroyDeviceInfoList(set);
    return entries;
}

std::optional<InterfaceEntry> WindowsPlatform::Describe(HDEVINFO set,
                                                        SP_DEVICE_INTERFACE_DATA& interface) {
    // First the size: the call must fail for want of a buffer and name the size it needs.
    DWORD required = 0;
    if (api_->setup->GetDeviceInterfaceDetail(set, &interface, nullptr, 0, &required, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return std::nullopt;
    }
    // Room for one more NUL, so the path ends even if the system filled every byte.
    std::vector<std::max_align_t> storage(required / sizeof(std::max_align_t) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!api_->setup->GetDeviceInterfaceDetail(set, &interface, detail, required, nullptr,
                                               &device)) {
        return std::nullopt;
    }
    const char* pathStart = detail->DevicePath;
    const std::size_t pathRoom = required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::string path(pathStart, strnlen(pathStart, pathRoom));
    if (path.empty()) {
        return std::nullopt;
    }
    return InterfaceEntry{std::to_string(device.DevInst) + ":" + path, std::move(path)};
}

std::unique_ptr<Channel> WindowsPlatform::Open(const std::string& path, OpenMode mode,
                                               OpenError& error) {
    // Queries need no access rights, so a device the user may not use is still described.
    const DWORD access = mode == OpenMode::ReadWrite ? GENERIC_READ | GENERIC_WRITE : 0;
    const HANDLE handle =
        api_->file.Create(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                error = OpenError::AccessDenied;
                break;
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_DEVICE_NOT_CONNECTED:
                error = OpenError::NotFound;
                break;
            default:
                error = OpenError::Failed;
        }
        return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<WindowsChannel>(api_, handle, path, mode);
}

Waitable WindowsPlatform::ChangeWaitable() const {
    const HANDLE event = changes_->Event();
    return event ? reinterpret_cast<Waitable>(event) : kNoWaitable;
}

int WindowsPlatform::TakeChanges() {
    return changes_->Take();
}

}  // namespace zm880::hid::windows

namespace zm880::hid {

std::unique_ptr<Platform> MakeSystemPlatform() {
    return std::make_unique<windows::WindowsPlatform>(windows::ProcessHidLibraries().Acquire());
}

}  // namespace zm880::hid
