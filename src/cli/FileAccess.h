#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace zm880::cli {

// The output name that means standard output.
inline constexpr const char* kStandardOutputName = "-";

// Writes `data` to `path`, or to standard output for "-". Throws CommandError (exit 1) with the
// command's name (when not empty) and the reason when the data cannot be written in full.
void WriteOutputFile(const std::string& command, const std::string& path,
                     std::span<const std::uint8_t> data);

// Where a command's report lines go: standard error when its data goes to standard output, so
// that the two never mix.
std::ostream& ReportStream(const std::string& outputPath);

// Reads the whole regular file `path` up to `maxSize` bytes. Throws CommandError (exit 1) with
// the command's name and a one-line reason (missing, not a regular file, too large, ...).
std::vector<std::uint8_t> ReadInputFile(const std::string& command, const std::string& path,
                                        std::uintmax_t maxSize);

}  // namespace zm880::cli
