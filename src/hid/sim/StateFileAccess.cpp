#include "hid/sim/StateFileAccess.h"

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
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                info.st_mtim.tv_nsec};
}

// The file a chain of symbolic links ends at (the path itself when it is no link). The file
// there may not exist yet.
fs::path FinalTarget(const fs::path& path) {
    constexpr int kMaxHops = 40;
    fs::path current = path;
    for (int hop = 0; hop < kMaxHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error))) {
            return current;
        }
        const fs::path target = fs::read_symlink(current, error);
        if (error) {
            return current;
        }
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

StateFile::StateFile(std::string path) : path_(std::move(path)) {}

StateFile::~StateFile() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
    if (keptFd_ >= 0) {
        ::close(keptFd_);
    }
}

void StateFile::Keep(int fd) {
    if (keptFd_ >= 0) {
        ::close(keptFd_);
    }
    keptFd_ = fd;
}

std::optional<FileStamp> StateFile::CurrentStamp() const {
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return StampOf(info);
}

std::optional<FileSnapshot> StateFile::Read() {
    // Non-blocking, so that a FIFO planted in the file's place cannot hang the open.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw std::runtime_error(path_ + ": cannot be read: " + Reason());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw std::runtime_error(path_ + ": not a regular file");
    }
    if (static_cast<std::uint64_t>(info.st_size) > kMaxStateFileSize) {
        ::close(fd);
        throw std::runtime_error(path_ + ": larger than " + std::to_string(kMaxStateFileSize) +
                                 " bytes");
    }
    FileSnapshot snapshot{std::string(static_cast<std::size_t>(info.st_size), '\0'),
                          StampOf(info)};
    std::size_t got = 0;
    while (got < snapshot.text.size()) {
        const ssize_t n = ::read(fd, snapshot.text.data() + got, snapshot.text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const std::string why = n < 0 ? Reason() : "it shrank while being read";
            ::close(fd);
            throw std::runtime_error(path_ + ": cannot be read: " + why);
        }
        got += static_cast<std::size_t>(n);
    }
    Keep(fd);
    return snapshot;
}

FileStamp StateFile::Write(const std::string& text) {
    const fs::path target = FinalTarget(path_);
    fs::path folder = target.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    // mkstemp creates the temporary exclusively under a name nobody can plant in advance.
    std::string temp = (folder / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        throw SaveError(Reason());
    }
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    struct stat written {};
    if (::fchmod(fd, mode) != 0 || !WriteAll(fd, text) || ::fsync(fd) != 0 ||
        ::fstat(fd, &written) != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
        const std::string why = Reason();
        ::close(fd);
        ::unlink(temp.c_str());
        throw SaveError(why);
    }
    SyncFolder(folder);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    Keep(fd);
    return StampOf(written);
}

void StateFile::Lock() {
    if (lockFd_ < 0) {
        const std::string lockPath = FinalTarget(path_).string() + ".lock";
        lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (lockFd_ < 0) {
            return;
        }
    }
    while (::flock(lockFd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

void StateFile::Unlock() {
    if (lockFd_ >= 0) {
        ::flock(lockFd_, LOCK_UN);
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
