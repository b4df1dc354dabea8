#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

// The operating-system side of the simulated bus's state file: reading, replacing, locking and
// noticing changes, plus the bus's change notification. Everything here is one small port for
// each system; the bus itself stays portable.
namespace zm880::hid::simfile {

// An open file or synchronisation object of the system: a descriptor on POSIX systems, a
// HANDLE on Windows.
#ifdef _WIN32
using NativeHandle = void*;
inline constexpr NativeHandle kNoHandle = nullptr;
#else
using NativeHandle = int;
inline constexpr NativeHandle kNoHandle = -1;
#endif

// A state file that is larger than this is refused rather than read.
inline constexpr std::uint64_t kMaxStateFileSize = 64ull * 1024 * 1024;

// The state file could not be saved; what() is the user's line with the system's reason.
class SaveError : public std::runtime_error {
  public:
    explicit SaveError(const std::string& reason)
        : std::runtime_error("the state file could not be saved: " + reason) {}

  protected:
    struct WholeLine {};
    SaveError(WholeLine, const std::string& line) : std::runtime_error(line) {}
};

// The lock of the bus could not be taken, so no change may be made; what() names the lock and
// the system's reason. A kind of SaveError: the change is not kept.
class LockError : public SaveError {
  public:
    LockError(const std::string& lockPath, const std::string& reason)
        : SaveError(WholeLine{}, "the lock " + lockPath + " cannot be taken: " + reason) {}
};

// What tells one version of a file from another without reading it.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool operator==(const FileStamp&) const = default;
};

struct FileSnapshot {
    std::string text;
    FileStamp stamp;
};

// The file a chain of symbolic links ends at (the path itself when it is no link). The file
// there may not exist yet. The lock sits beside it, so every link to one bus shares one lock.
std::filesystem::path FinalTarget(const std::filesystem::path& path);

class StateFile {
  public:
    explicit StateFile(std::string path);
    ~StateFile();
    StateFile(const StateFile&) = delete;
    StateFile& operator=(const StateFile&) = delete;

    const std::string& Path() const { return path_; }

    // The stamp of the file the path names now; nullopt while there is none.
    std::optional<FileStamp> CurrentStamp() const;

    // The whole file, if it is a regular file of at most kMaxStateFileSize bytes; nullopt when
    // it does not exist. Throws std::runtime_error naming the file and the reason otherwise.
    std::optional<FileSnapshot> Read();

    // Replaces the file's content at once: readers see the old or the new text, never a mix.
    // When the path is a symbolic link, the link stays and its target is replaced. Throws
    // SaveError.
    FileStamp Write(const std::string& text);

    // The lock that every process changing this bus takes around its read-modify-write.
    // Blocks until it is free. A lock that cannot be opened or taken (a folder, a link, a
    // read-only folder without one) throws LockError: an unlocked change could undo another
    // process's. A lock file that may only be read still locks.
    void Lock();
    std::string LockPath() const;
    void Unlock();

  private:
    void Keep(NativeHandle handle);
    // Keeps the version of `stamp` open if the path still names it.
    void Pin(const FileStamp& stamp);

    std::string path_;
    NativeHandle lock_ = kNoHandle;
    // The version last read or written, held open so that its inode number cannot be handed to
    // a later version with an otherwise equal stamp.
    NativeHandle kept_ = kNoHandle;
};

// A notification that WaitSignalled can watch: signalled while changes are pending.
class ChangeSignal {
  public:
    ChangeSignal();
    ~ChangeSignal();
    ChangeSignal(const ChangeSignal&) = delete;
    ChangeSignal& operator=(const ChangeSignal&) = delete;

    std::intptr_t Handle() const;
    void Raise();
    // Consumes what is pending; returns how many raises it held (at least 1 when any).
    int Take();

  private:
#ifdef _WIN32
    // A manual-reset event, set while raises are pending; the event itself cannot count them.
    NativeHandle event_ = kNoHandle;
    std::atomic<int> pending_{0};
#else
    // A pipe: a byte per raise.
    NativeHandle readFd_ = kNoHandle;
    NativeHandle writeFd_ = kNoHandle;
#endif
};

}  // namespace zm880::hid::simfile
