#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

// Reading and writing whole files without the usual surprises: a write never leaves a half file
// behind and never turns a device, FIFO or pipe into a plain file; a read never blocks on a FIFO
// nor runs endlessly on a device. Every operating-system call of the core's file handling lives
// in SafeFile.cpp, so that a port replaces that one file.
namespace zm880::cfgfile {

enum class FileErrorKind {
    None,
    NotFound,    // nothing at the path (or a link to nothing)
    Folder,      // the path is a folder
    NotRegular,  // a device, FIFO, socket or pipe where a regular file is needed
    TooLarge,    // above the caller's size limit
    Io,          // any other failure of the system (permission, full disk, ...)
};

// `message` is one line that names the path and the reason, e.g.
// "cannot write out.cfg: No space left on device"; empty on success.
struct SafeFileError {
    FileErrorKind kind = FileErrorKind::None;
    std::string message;
    bool ok() const { return kind == FileErrorKind::None; }
};

struct SafeReadResult {
    std::vector<std::uint8_t> bytes;
    SafeFileError error;
};

// Reads the whole regular file at `path` (links followed). Refuses anything else (a FIFO would
// block, a device may never end) and files larger than `maxSize` bytes, reading nothing then.
SafeReadResult ReadFileSafely(const std::filesystem::path& path, std::uintmax_t maxSize);

// Writes `data` as the new content of `path`:
// - a regular file, or nothing yet: a new file is written beside it under a temporary name
//   (".NAME.zm880-XXXXXXXXXXXX.tmp", NAME cut short for a name near the length limit), flushed
//   to disk and renamed over it, so the path holds either the old or the whole new content; a
//   replaced file keeps its permissions. Through a link the link stays and its target is
//   replaced.
// - a character device, FIFO or pipe (also through a link): written in place, never replaced.
// - a folder, block device, socket or link to nothing: refused.
// Leftover temporaries of this kind older than `kStaleTemporaryAge` in the target's folder are
// removed on the way. A failure (short write, full disk, file size limit) leaves the old file.
SafeFileError WriteFileSafely(const std::filesystem::path& path,
                              std::span<const std::uint8_t> data);

// A temporary that lives longer than this belongs to a writer that died.
inline constexpr std::chrono::minutes kStaleTemporaryAge{10};

// Whether `name` is one of the temporary names that WriteFileSafely uses.
bool IsSafeFileTemporaryName(const std::string& name);

// A file size limit (`ulimit -f`) ends a POSIX program by a signal at the first write beyond it,
// without a word and with the temporary left behind. Each program calls this once at its start:
// the signal is ignored, so such a write fails with "File too large" and is reported and cleaned
// up as any failed write is. Nothing is needed on Windows.
void ReportFileSizeLimitAsWriteError();

// Writes `data` durably to a new file at `path`, never over anything that exists there (nor
// through a link). `taken` tells whether the name was already in use, so a caller can retry with
// another name.
SafeFileError CreateFileExclusively(const std::filesystem::path& path,
                                    std::span<const std::uint8_t> data, bool& taken);

}  // namespace zm880::cfgfile
