#include "cfgfile/SafeFile.h"

#include "cfgfile/SafeFileNames.h"
#include "cfgfile/Utf8Path.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace zm880::cfgfile {

namespace fs = std::filesystem;

namespace {

SafeFileError Failure(FileErrorKind kind, const std::string& what, const fs::path& path,
                      const std::string& reason) {
    return {kind, what + " " + Utf8Text(path) + ": " + reason};
}

SafeFileError ErrnoFailure(const std::string& what, const fs::path& path, int error) {
    const FileErrorKind kind =
        error == ENOENT || error == ENOTDIR ? FileErrorKind::NotFound : FileErrorKind::Io;
    return Failure(kind, what, path, std::strerror(error));
}

// Closes on every path out, so no early return leaks a descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closing can report a deferred write error (NFS, quotas), so it is checked.
    int Close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

const char* TypeName(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO or pipe";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

// Returns 0 or the errno of the first failing write; a write that makes no progress counts as a
// full device.
int WriteAll(int fd, std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Makes the rename itself durable: the folder entry is on disk once its folder is synced.
void SyncFolder(const fs::path& folder) {
    const Descriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
}

// Writes, syncs and closes a freshly created file; on failure it is removed again.
int FillNewFile(Descriptor& file, const fs::path& path, std::span<const std::uint8_t> data) {
    int error = WriteAll(file.get(), data);
    if (error == 0 && ::fsync(file.get()) != 0) {
        error = errno;
    }
    const int closeError = file.Close();
    if (error == 0) {
        error = closeError;
    }
    if (error != 0) {
        ::unlink(path.c_str());
    }
    return error;
}

SafeFileError ReplaceRegularFile(const fs::path& target, const struct stat* old,
                                 std::span<const std::uint8_t> data) {
    const fs::path folder = target.parent_path();
    RemoveStaleTemporaries(folder);
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < kNameAttempts && fd < 0; ++attempt) {
        temp = TemporaryNameBeside(target);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno != EEXIST) {
            return ErrnoFailure("cannot write", target, errno);
        }
    }
    if (fd < 0) {
        return ErrnoFailure("cannot write", target, EEXIST);
    }
    Descriptor file(fd);
    if (old != nullptr) {
        // The replacement keeps the old file's permissions and, where allowed, its owner.
        ::fchmod(file.get(), old->st_mode & 07777);
        if (::fchown(file.get(), old->st_uid, old->st_gid) != 0) {
            ::fchmod(file.get(), old->st_mode & 0777);
        }
    }
    if (const int error = FillNewFile(file, temp, data); error != 0) {
        return ErrnoFailure("cannot write", target, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return ErrnoFailure("cannot write", target, error);
    }
    SyncFolder(folder);
    return {};
}

// A device or pipe is written as it is: no O_CREAT (it exists) and no O_TRUNC (meaningless
// there). Should the path have become a regular file meanwhile, it is left alone.
SafeFileError WriteInPlace(const fs::path& path, std::span<const std::uint8_t> data) {
    Descriptor out(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!out.valid()) {
        return ErrnoFailure("cannot write", path, errno);
    }
    struct stat info {};
    if (::fstat(out.get(), &info) != 0 || !(S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode))) {
        return Failure(FileErrorKind::Io, "cannot write", path, "changed while being opened");
    }
    int error = WriteAll(out.get(), data);
    const int closeError = out.Close();
    if (error == 0) {
        error = closeError;
    }
    return error == 0 ? SafeFileError{} : ErrnoFailure("cannot write", path, error);
}

}  // namespace

SafeReadResult ReadFileSafely(const fs::path& path, std::uintmax_t maxSize) {
    SafeReadResult result;
    // Non-blocking, so that opening a FIFO without a writer returns at once.
    const Descriptor in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!in.valid()) {
        result.error = ErrnoFailure("cannot read", path, errno);
        return result;
    }
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) {
        result.error = ErrnoFailure("cannot read", path, errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        const FileErrorKind kind =
            S_ISDIR(info.st_mode) ? FileErrorKind::Folder : FileErrorKind::NotRegular;
        result.error = Failure(kind, "cannot read", path,
                               std::string("not a regular file (") + TypeName(info.st_mode) + ")");
        return result;
    }
    const auto tooLarge = [&] {
        return Failure(FileErrorKind::TooLarge, "cannot read", path,
                       "larger than " + std::to_string(maxSize) + " bytes");
    };
    if (static_cast<std::uintmax_t>(info.st_size) > maxSize) {
        result.error = tooLarge();
        return result;
    }
    // The file may grow while it is read, so the limit holds for the bytes read, too.
    std::array<std::uint8_t, 65536> chunk{};
    for (;;) {
        const ssize_t n = ::read(in.get(), chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            result.error = ErrnoFailure("cannot read", path, errno);
            result.bytes.clear();
            return result;
        }
        if (n == 0) {
            return result;
        }
        result.bytes.insert(result.bytes.end(), chunk.begin(), chunk.begin() + n);
        if (result.bytes.size() > maxSize) {
            result.bytes.clear();
            result.error = tooLarge();
            return result;
        }
    }
}

SafeFileError WriteFileSafely(const fs::path& path, std::span<const std::uint8_t> data) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0) {
        if (errno != ENOENT) {
            return ErrnoFailure("cannot write", path, errno);
        }
        return ReplaceRegularFile(path, nullptr, data);
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT) {
            return Failure(FileErrorKind::NotFound, "cannot write", path, "a link to nothing");
        }
        return ErrnoFailure("cannot write", path, error);
    }
    if (S_ISREG(info.st_mode)) {
        if (!S_ISLNK(link.st_mode)) {
            return ReplaceRegularFile(path, &info, data);
        }
        std::error_code ec;
        const fs::path target = fs::canonical(path, ec);
        if (ec) {
            return Failure(FileErrorKind::Io, "cannot write", path, ec.message());
        }
        return ReplaceRegularFile(target, &info, data);
    }
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) {
        return WriteInPlace(path, data);
    }
    const FileErrorKind kind =
        S_ISDIR(info.st_mode) ? FileErrorKind::Folder : FileErrorKind::NotRegular;
    return Failure(kind, "cannot write", path, std::string("it is ") + TypeName(info.st_mode));
}

SafeFileError CreateFileExclusively(const fs::path& path, std::span<const std::uint8_t> data,
                                    bool& taken) {
    taken = false;
    Descriptor file(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!file.valid()) {
        taken = errno == EEXIST;
        return ErrnoFailure("cannot create", path, errno);
    }
    if (const int error = FillNewFile(file, path, data); error != 0) {
        return ErrnoFailure("cannot write", path, error);
    }
    SyncFolder(path.parent_path());
    return {};
}

void ReportFileSizeLimitAsWriteError() {
    ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace zm880::cfgfile
