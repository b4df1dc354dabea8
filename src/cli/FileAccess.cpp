#include "cli/FileAccess.h"

#include <iostream>

#include "cfgfile/SafeFile.h"
#include "cli/Cli.h"

namespace zm880::cli {

namespace {

std::string Prefixed(const std::string& command, const std::string& message) {
    return command.empty() ? message : command + ": " + message;
}

}  // namespace

void WriteOutputFile(const std::string& command, const std::string& path,
                     std::span<const std::uint8_t> data) {
    if (path == kStandardOutputName) {
        std::cout.write(reinterpret_cast<const char*>(data.data()),
                        static_cast<std::streamsize>(data.size()));
        if (!std::cout.flush()) {
            throw CommandError(kExitFailed, Prefixed(command, "cannot write to standard output"));
        }
        return;
    }
    const cfgfile::SafeFileError written = cfgfile::WriteFileSafely(path, data);
    if (!written.ok()) {
        throw CommandError(kExitFailed, Prefixed(command, written.message));
    }
}

std::ostream& ReportStream(const std::string& outputPath) {
    return outputPath == kStandardOutputName ? std::cerr : std::cout;
}

std::vector<std::uint8_t> ReadInputFile(const std::string& command, const std::string& path,
                                        std::uintmax_t maxSize) {
    cfgfile::SafeReadResult read = cfgfile::ReadFileSafely(path, maxSize);
    if (!read.error.ok()) {
        throw CommandError(kExitFailed, Prefixed(command, read.error.message));
    }
    return std::move(read.bytes);
}

}  // namespace zm880::cli
