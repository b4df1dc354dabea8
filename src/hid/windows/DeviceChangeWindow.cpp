#include "hid/windows/DeviceChangeWindow.h"

#include <dbt.h>

namespace zm880::hid::windows {
namespace {

constexpr const char* kWindowClass = "zm880.DeviceChanges";

ATOM RegisterWindowClass(WNDPROC procedure) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    // A second platform object in the process finds the class already there.
    const ATOM atom = RegisterClassExA(&windowClass);
    return atom != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS ? ATOM{1} : ATOM{0};
}

bool IsInterfaceChange(WPARAM event) {
    return event == DBT_DEVNODES_CHANGED || event == DBT_DEVICEARRIVAL ||
           event == DBT_DEVICEREMOVECOMPLETE;
}

}  // namespace

DeviceChangeWindow::DeviceChangeWindow(const GUID& interfaceClass)
    : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (event_ == nullptr) {
        return;
    }
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (ready == nullptr) {
        CloseHandle(event_);
        event_ = nullptr;
        return;
    }
    thread_ = std::thread([this, interfaceClass, ready] { Run(interfaceClass, ready); });
    // Changes that happen after the constructor returns must be heard.
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    if (window_ == nullptr) {
        thread_.join();
        CloseHandle(event_);
        event_ = nullptr;
    }
}

DeviceChangeWindow::~DeviceChangeWindow() {
    if (window_ != nullptr) {
        PostMessageA(window_, WM_CLOSE, 0, 0);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

void DeviceChangeWindow::Run(const GUID& interfaceClass, HANDLE ready) {
    HWND window = nullptr;
    if (RegisterWindowClass(&Procedure) != 0) {
        // A top-level window hears the broadcast; should the window system refuse one, a
        // message-only window still hears the registered interface class.
        for (HWND parent : {HWND{nullptr}, HWND_MESSAGE}) {
            window = CreateWindowExA(0, kWindowClass, "", WS_OVERLAPPED, 0, 0, 0, 0, parent,
                                     nullptr, GetModuleHandleA(nullptr), nullptr);
            if (window != nullptr) {
                break;
            }
        }
    }
    HDEVNOTIFY registration = nullptr;
    if (window != nullptr) {
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = interfaceClass;
        registration = RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        window_ = window;
    }
    SetEvent(ready);
    if (window == nullptr) {
        return;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    if (registration != nullptr) {
        UnregisterDeviceNotification(registration);
    }
}

LRESULT CALLBACK DeviceChangeWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
    auto* self = reinterpret_cast<DeviceChangeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case WM_DEVICECHANGE:
            if (self != nullptr && IsInterfaceChange(wParam)) {
                self->Count();
            }
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void DeviceChangeWindow::Count() {
    pending_.fetch_add(1);
    SetEvent(event_);
}

int DeviceChangeWindow::Take() {
    if (event_ == nullptr) {
        return 0;
    }
    // Reset before taking: a change counted meanwhile sets the event again.
    ResetEvent(event_);
    return pending_.exchange(0);
}

}  // namespace zm880::hid::windows
