#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "reader/ReportBuffer.h"

namespace zm880::cfgfile {

// A configuration file holds buffer bytes 0 to 63, nothing else.
inline constexpr std::size_t kConfigFileSize = 64;

// Empty `error` means success; otherwise it is the message for the user, path included.
struct FileResult {
    std::string error;
    bool ok() const { return error.empty(); }
};

// Reads up to 64 bytes of `path` into `buffer` from index 0, keeping the buffer's byte 1.
// Errors: "file not found: " + path (a directory is not a file) and "unable to open file: " +
// path. `onFound` runs after the existence check and before the open, so that the caller can
// remember the path even when the open then fails.
FileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer,
                          const std::function<void()>& onFound = {});

// Writes buffer bytes 0 to 63 to `path` through a temporary file renamed over it, so a failed
// save leaves an existing file as it was. Error: "unable to create file: " + path.
FileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer);

// The path as the status text shows it: whole up to 60 characters, else the first 23, " ... "
// and the last 31.
std::string ShownPath(std::string_view path);

}  // namespace zm880::cfgfile
