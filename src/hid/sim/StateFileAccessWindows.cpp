#include "hid/sim/StateFileAccess.h"

#include <windows.h>

#include <filesystem>
#include <utility>

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"
#include "hid/windows/SystemMessage.h"

namespace zm880::hid::simfile {
namespace {

// File times count 100 ns steps.
constexpr std::int64_t kNsPerFileTimeStep = 100;

FileStamp StampOf(const BY_HANDLE_FILE_INFORMATION& info) {
    const auto join = [](DWORD high, DWORD low) {
        return (std::uint64_t{high} << 32) | std::uint64_t{low};
    };
    return {info.dwVolumeSerialNumber, join(info.nFileIndexHigh, info.nFileIndexLow),
            join(info.nFileSizeHigh, info.nFileSizeLow),
            static_cast<std::int64_t>(
                join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)) *
                kNsPerFileTimeStep};
}

// Opened for its attributes only, and shared in every way, so that a writer may still replace
// the file while it is held.
HANDLE OpenForStamp(const std::string& path) {
    return CreateFileW(cfgfile::Utf8Path(path).c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

std::optional<FileStamp> StampOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return StampOf(info);
}

}  // namespace

StateFile::~StateFile() {
    if (lock_ != kNoHandle) {
        CloseHandle(lock_);
    }
}

std::optional<FileStamp> StateFile::CurrentStamp() const {
    const HANDLE file = OpenForStamp(path_);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const std::optional<FileStamp> stamp = StampOfHandle(file);
    CloseHandle(file);
    return stamp;
}

void StateFile::Pin(const FileStamp&) {}

namespace {

// The lock file, created when missing. One that may only be read locks as well. A link is
// opened as itself and refused, so that taking the lock creates or touches no file elsewhere.
HANDLE OpenLock(const std::string& lockPath) {
    const std::wstring wide = cfgfile::Utf8Path(lockPath).native();
    const auto open = [&wide](DWORD access, DWORD disposition) {
        return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                           nullptr);
    };
    HANDLE file = open(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        file = open(GENERIC_READ, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            throw LockError(lockPath, windows::SystemMessage(error));
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        CloseHandle(file);
        throw LockError(lockPath, link ? "it is a symbolic link" : "it is not a regular file");
    }
    return file;
}

}  // namespace

void StateFile::Lock() {
    if (lock_ == kNoHandle) {
        lock_ = OpenLock(LockPath());
    }
    OVERLAPPED whole{};
    if (!LockFileEx(lock_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        throw LockError(LockPath(), windows::SystemMessage(GetLastError()));
    }
}

void StateFile::Unlock() {
    if (lock_ != kNoHandle) {
        OVERLAPPED whole{};
        UnlockFileEx(lock_, 0, MAXDWORD, MAXDWORD, &whole);
    }
}

ChangeSignal::ChangeSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (event_ == nullptr) {
        throw std::runtime_error("simulated bus: no change event: system error " +
                                 std::to_string(GetLastError()));
    }
}

ChangeSignal::~ChangeSignal() {
    CloseHandle(event_);
}

std::intptr_t ChangeSignal::Handle() const {
    return reinterpret_cast<std::intptr_t>(event_);
}

void ChangeSignal::Raise() {
    pending_.fetch_add(1);
    SetEvent(event_);
}

int ChangeSignal::Take() {
    // Reset before taking: a raise counted meanwhile sets the event again.
    ResetEvent(event_);
    return pending_.exchange(0);
}

}  // namespace zm880::hid::simfile
