#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "reader/ReportBuffer.h"

namespace zm880::cfgfile {

// A configuration file holds buffer bytes 0 to 63, nothing else.
inline constexpr std::size_t kConfigFileSize = 64;
// Far above any settings file, low enough that a wrong file cannot exhaust memory.
inline constexpr std::size_t kConfigFileReadLimit = 1 << 20;

// Empty `error` means success; otherwise it is the message for the user, path included, and
// `reason` says why in one line when the system told (for the command line).
struct FileResult {
    std::string error;
    std::string reason;
    bool ok() const { return error.empty(); }
};

// Reads up to 64 bytes of `path` into `buffer` from index 0, keeping the buffer's byte 1.
// Errors: "file not found: " + path (nothing there, a link to nothing, or a directory) and
// "unable to open file: " + path, also for what is not a regular file (a FIFO, a device), a path
// the system cannot follow (a link loop) and files above kConfigFileReadLimit. `onFound` runs after the existence check and before the open, so that the
// caller can remember the path even when the open then fails.
FileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer,
                          const std::function<void()>& onFound = {});

// Writes buffer bytes 0 to 63 to `path` with WriteFileSafely: a regular file is replaced
// atomically (a failed save leaves it as it was), a device or pipe is written in place. Error:
// "unable to create file: " + path.
FileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer);

// The path as the status text shows it: whole up to 60 characters, else the first 23, " ... "
// and the last 31.
std::string ShownPath(std::string_view path);

}  // namespace zm880::cfgfile
