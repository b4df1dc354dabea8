#pragma once

#include <windows.h>

#include <string>

namespace zm880::hid::windows {

// The system's text for a Windows error code, without its trailing period and line end; a
// generic text with the number when the system has none.
std::string SystemMessage(DWORD code);

}  // namespace zm880::hid::windows
