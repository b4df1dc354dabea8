#include "hid/OsServices.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <vector>

namespace zm880::hid {

bool WaitSignalled(Waitable waitable, std::chrono::milliseconds timeout) {
    const auto wait = static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1));
    if (waitable == kNoWaitable) {
        Sleep(wait);
        return false;
    }
    return WaitForSingleObject(reinterpret_cast<HANDLE>(waitable), wait) == WAIT_OBJECT_0;
}

int WaitAnySignalled(std::span<const Waitable> waitables, std::chrono::milliseconds timeout) {
    std::vector<HANDLE> handles;
    std::vector<int> indices;
    for (std::size_t i = 0; i < waitables.size(); ++i) {
        if (waitables[i] != kNoWaitable) {
            handles.push_back(reinterpret_cast<HANDLE>(waitables[i]));
            indices.push_back(static_cast<int>(i));
        }
    }
    const DWORD wait =
        timeout.count() < 0
            ? INFINITE
            : static_cast<DWORD>(
                  std::min<std::chrono::milliseconds::rep>(timeout.count(), INFINITE - 1));
    if (handles.empty()) {
        Sleep(wait);
        return -1;
    }
    const DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
        return indices[result - WAIT_OBJECT_0];
    }
    return -1;
}

StopSignal::StopSignal() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create a stop signal");
    }
    signalled_ = reinterpret_cast<Waitable>(event);
}

StopSignal::~StopSignal() {
    CloseHandle(reinterpret_cast<HANDLE>(signalled_));
}

void StopSignal::Raise() noexcept {
    // A manual-reset event stays signalled once set.
    if (!raised_.exchange(true)) {
        SetEvent(reinterpret_cast<HANDLE>(signalled_));
    }
}

std::tm LocalTime(std::time_t time) {
    std::tm local{};
    localtime_s(&local, &time);
    return local;
}

bool StandardOutputIsTerminal() {
    // A console, not a file or pipe; mintty-like terminals are pipes and get plain lines.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace zm880::hid
