#pragma once

namespace zm880::app {

// The version the window program reports; kept equal to the project version.
inline constexpr const char* kProgramVersion = "1.2.6";

}  // namespace zm880::app
