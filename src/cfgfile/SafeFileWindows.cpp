#include "cfgfile/SafeFile.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <limits>
#include <system_error>

#include "cfgfile/SafeFileNames.h"
#include "cfgfile/Utf8Path.h"
#include "hid/windows/SystemMessage.h"

// Windows has no FIFOs in its file system: the counterparts of POSIX devices and pipes are the
// character devices (NUL, CON, COM1) and named pipes, which the system reports by file type.
namespace zm880::cfgfile {

namespace fs = std::filesystem;

namespace {

SafeFileError Failure(FileErrorKind kind, const std::string& what, const fs::path& path,
                      const std::string& reason) {
    return {kind, what + " " + Utf8Text(path) + ": " + reason};
}

SafeFileError SystemFailure(const std::string& what, const fs::path& path, DWORD error) {
    const FileErrorKind kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                                   ? FileErrorKind::NotFound
                                   : FileErrorKind::Io;
    return Failure(kind, what, path, hid::windows::SystemMessage(error));
}

// Closes on every path out, so no early return leaks a handle.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    DWORD Close() {
        const BOOL closed = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed ? 0 : GetLastError();
    }

  private:
    HANDLE handle_;
};

// Returns 0 or the error of the first failing write; a write that makes no progress counts as
// a full disk.
DWORD WriteAll(HANDLE file, std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<std::size_t>(data.size() - done, std::numeric_limits<DWORD>::max()));
        DWORD written = 0;
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr)) {
            return GetLastError();
        }
        if (written == 0) {
            return ERROR_DISK_FULL;
        }
        done += written;
    }
    return 0;
}

// Writes, flushes and closes a freshly created file; on failure it is removed again.
DWORD FillNewFile(Handle& file, const fs::path& path, std::span<const std::uint8_t> data) {
    DWORD error = WriteAll(file.get(), data);
    if (error == 0 && !FlushFileBuffers(file.get())) {
        error = GetLastError();
    }
    const DWORD closeError = file.Close();
    if (error == 0) {
        error = closeError;
    }
    if (error != 0) {
        DeleteFileW(path.c_str());
    }
    return error;
}

HANDLE CreateNew(const fs::path& path) {
    return CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

bool IsTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

SafeFileError ReplaceRegularFile(const fs::path& target, std::span<const std::uint8_t> data) {
    RemoveStaleTemporaries(target.parent_path());
    fs::path temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = TemporaryNameBeside(target);
        created = CreateNew(temp);
        if (created == INVALID_HANDLE_VALUE && !IsTaken(error = GetLastError())) {
            return SystemFailure("cannot write", target, error);
        }
    }
    if (created == INVALID_HANDLE_VALUE) {
        return SystemFailure("cannot write", target, error);
    }
    Handle file(created);
    if (const DWORD failed = FillNewFile(file, temp, data); failed != 0) {
        return SystemFailure("cannot write", target, failed);
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD failed = GetLastError();
        DeleteFileW(temp.c_str());
        return SystemFailure("cannot write", target, failed);
    }
    return {};
}

// A device or pipe is written as it is. Should the path have become a file meanwhile, it is
// left alone.
SafeFileError WriteInPlace(const fs::path& path, std::span<const std::uint8_t> data) {
    Handle out(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr));
    if (!out.valid()) {
        return SystemFailure("cannot write", path, GetLastError());
    }
    const DWORD type = GetFileType(out.get());
    if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE) {
        return Failure(FileErrorKind::NotRegular, "cannot write", path, "it is not a regular file");
    }
    DWORD error = WriteAll(out.get(), data);
    const DWORD closeError = out.Close();
    if (error == 0) {
        error = closeError;
    }
    return error == 0 ? SafeFileError{} : SystemFailure("cannot write", path, error);
}

}  // namespace

SafeReadResult ReadFileSafely(const fs::path& path, std::uintmax_t maxSize) {
    SafeReadResult result;
    // Backup semantics let a folder be opened, so that it is told apart from a missing file.
    const Handle in(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!in.valid()) {
        result.error = SystemFailure("cannot read", path, GetLastError());
        return result;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool disk = GetFileType(in.get()) == FILE_TYPE_DISK;
    if (!disk || !GetFileInformationByHandle(in.get(), &info)) {
        result.error = Failure(FileErrorKind::NotRegular, "cannot read", path,
                               "not a regular file (a device or pipe)");
        return result;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.error =
            Failure(FileErrorKind::Folder, "cannot read", path, "not a regular file (a folder)");
        return result;
    }
    const auto tooLarge = [&] {
        return Failure(FileErrorKind::TooLarge, "cannot read", path,
                       "larger than " + std::to_string(maxSize) + " bytes");
    };
    const std::uintmax_t size =
        (std::uintmax_t{info.nFileSizeHigh} << 32) | std::uintmax_t{info.nFileSizeLow};
    if (size > maxSize) {
        result.error = tooLarge();
        return result;
    }
    // The file may grow while it is read, so the limit holds for the bytes read, too.
    std::array<std::uint8_t, 65536> chunk{};
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr)) {
            result.error = SystemFailure("cannot read", path, GetLastError());
            result.bytes.clear();
            return result;
        }
        if (got == 0) {
            return result;
        }
        result.bytes.insert(result.bytes.end(), chunk.begin(), chunk.begin() + got);
        if (result.bytes.size() > maxSize) {
            result.bytes.clear();
            result.error = tooLarge();
            return result;
        }
    }
}

SafeFileError WriteFileSafely(const fs::path& path, std::span<const std::uint8_t> data) {
    std::error_code ec;
    const fs::file_status link = fs::symlink_status(path, ec);
    if (link.type() == fs::file_type::not_found) {
        return ReplaceRegularFile(path, data);
    }
    const fs::file_status info = fs::status(path, ec);
    switch (info.type()) {
        case fs::file_type::not_found:
            return Failure(FileErrorKind::NotFound, "cannot write", path, "a link to nothing");
        case fs::file_type::regular: {
            if (!fs::is_symlink(link)) {
                return ReplaceRegularFile(path, data);
            }
            const fs::path target = fs::canonical(path, ec);
            if (ec) {
                return Failure(FileErrorKind::Io, "cannot write", path, ec.message());
            }
            return ReplaceRegularFile(target, data);
        }
        case fs::file_type::directory:
            return Failure(FileErrorKind::Folder, "cannot write", path, "it is a folder");
        default:
            return WriteInPlace(path, data);
    }
}

SafeFileError CreateFileExclusively(const fs::path& path, std::span<const std::uint8_t> data,
                                    bool& taken) {
    taken = false;
    Handle file(CreateNew(path));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        taken = IsTaken(error);
        return SystemFailure("cannot create", path, error);
    }
    if (const DWORD error = FillNewFile(file, path, data); error != 0) {
        return SystemFailure("cannot write", path, error);
    }
    return {};
}

// Windows has no file size limit that ends a program.
void ReportFileSizeLimitAsWriteError() {}

}  // namespace zm880::cfgfile
