#include "hid/OsServices.h"

#include <windows.h>

#include <algorithm>

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

bool StandardOutputIsTerminal() {
    // A console, not a file or pipe; mintty-like terminals are pipes and get plain lines.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace zm880::hid
