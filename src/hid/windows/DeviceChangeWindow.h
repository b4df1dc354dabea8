#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

namespace zm880::hid::windows {

// A hidden top-level window on its own thread that hears WM_DEVICECHANGE: the node-change
// broadcast, and the arrivals and removals of the HID interface class it registers for (wine
// may not broadcast node changes). Each change is counted and sets an event, which the owner's
// thread waits on; the changes reach the owner only through Take().
class DeviceChangeWindow {
  public:
    explicit DeviceChangeWindow(const GUID& interfaceClass);
    ~DeviceChangeWindow();
    DeviceChangeWindow(const DeviceChangeWindow&) = delete;
    DeviceChangeWindow& operator=(const DeviceChangeWindow&) = delete;

    // Set while changes are pending; null when no window could be made.
    HANDLE Event() const { return event_; }
    // Consumes the pending changes and says how many there were.
    int Take();
    // The window, for tests that post it a message.
    HWND Window() const { return window_; }

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Run(const GUID& interfaceClass, HANDLE ready);
    void Count();

    HANDLE event_ = nullptr;
    std::atomic<int> pending_{0};
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

}  // namespace zm880::hid::windows
