#include <filesystem>
#include <system_error>

#include "app/BuildInfo.h"
#include "app/FileVersionInfo.h"

// Where executables carry no version resource, the program's own comes from the build's data.
namespace zm880::app {
namespace {

constexpr std::uint32_t kTypeApplication = 1;

std::string& RegisteredProgramFile() {
    static std::string path;
    return path;
}

// Equal when both name the same existing file, whatever links or relative parts they use.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(a, b, error);
    return !error && same;
}

}  // namespace

void RegisterProgramFile(const std::string& path) {
    RegisteredProgramFile() = path;
}

std::string ProgramFile() {
    if (!RegisteredProgramFile().empty())
        return RegisteredProgramFile();
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

void ReadFileVersionInfo(const std::string& fileName, TFileVersionInfo& info) {
    info = TFileVersionInfo{};
    if (fileName.empty() || !SameFile(fileName, ProgramFile()))
        return;
    info.TypeName = "Application";
    info.CompanyName = build::kCompanyName;
    info.FileDescription = build::kFileDescription;
    info.FileVersion = build::kFileVersion;
    info.InternalName = build::kInternalName;
    info.LegalCopyRight = build::kLegalCopyright;
    info.LegalTradeMarks = build::kLegalTrademarks;
    info.OriginalFileName = build::kOriginalFilename;
    info.ProductName = build::kProductName;
    info.ProductVersion = build::kProductVersion;
    ApplyFixedFileInfo({.FileType = kTypeApplication, .FileFlagsMask = 0x3F}, info);
}

}  // namespace zm880::app
