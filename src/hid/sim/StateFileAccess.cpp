#include "hid/sim/StateFileAccess.h"

#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

namespace zm880::hid::simfile {
namespace {

namespace fs = std::filesystem;

std::string Reason() {
    return std::strerror(errno);
}

FileStamp StampOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

}  // namespace

StateFile::~StateFile() {
    if (lock_ >= 0) {
        ::close(lock_);
    }
    if (kept_ >= 0) {
        ::close(kept_);
    }
}

void StateFile::Keep(int fd) {
    if (kept_ >= 0) {
        ::close(kept_);
    }
    kept_ = fd;
}

std::optional<FileStamp> StateFile::CurrentStamp() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return StampOf(info);
}

void StateFile::Pin(const FileStamp& stamp) {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && StampOf(info) == stamp) {
        Keep(fd);
    } else if (fd >= 0) {
        ::close(fd);
    }
}

namespace {

// The lock file, created when missing. One that may only be read locks as well. Never a link,
// so that taking the lock creates or touches no file elsewhere, and never anything but a
// regular file, which every process opens alike.
int OpenLock(const std::string& lockPath) {
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | kFlags, 0644);
    if (fd < 0 && errno == ELOOP) {
        throw LockError(lockPath, "it is a symbolic link");
    }
    if (fd < 0) {
        const std::string reason = Reason();
        fd = ::open(lockPath.c_str(), O_RDONLY | kFlags);
        if (fd < 0) {
            throw LockError(lockPath, reason);
        }
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const bool folder = S_ISDIR(info.st_mode);
        ::close(fd);
        throw LockError(lockPath, folder ? "it is a folder" : "it is not a regular file");
    }
    return fd;
}

}  // namespace

void StateFile::Lock() {
    if (lock_ < 0) {
        lock_ = OpenLock(LockPath());
    }
    while (::flock(lock_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            throw LockError(LockPath(), Reason());
        }
    }
}

void StateFile::Unlock() {
    if (lock_ >= 0) {
        ::flock(lock_, LOCK_UN);
    }
}

ChangeSignal::ChangeSignal() {
    int fds[2];
    if (::pipe(fds) != 0) {
        throw std::runtime_error("simulated bus: no change pipe: " + Reason());
    }
    for (int fd : fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
}

std::intptr_t ChangeSignal::Handle() const {
    return readFd_;
}

ChangeSignal::~ChangeSignal() {
    ::close(readFd_);
    ::close(writeFd_);
}

void ChangeSignal::Raise() {
    const char byte = 1;
    // A full pipe already says that something changed.
    [[maybe_unused]] const ssize_t written = ::write(writeFd_, &byte, 1);
}

int ChangeSignal::Take() {
    int count = 0;
    char buffer[64];
    for (;;) {
        const ssize_t got = ::read(readFd_, buffer, sizeof buffer);
        if (got <= 0) {
            return count;
        }
        count += static_cast<int>(got);
    }
}

}  // namespace zm880::hid::simfile
