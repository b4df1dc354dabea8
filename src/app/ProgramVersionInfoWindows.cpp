#include <QCoreApplication>
#include <QDir>

#include <array>

#include "app/FileVersionInfo.h"
#include "hid/OsServices.h"

// Windows keeps the version information in the executable's own resource; any file's is read.
namespace zm880::app {
namespace {

// The keys as the About box's record names them; the system's lookup ignores their case.
const std::vector<std::string> kKeys = {
    "CompanyName",      "FileDescription", "FileVersion",    "InternalName",
    "LegalCopyRight",   "LegalTradeMarks", "OriginalFileName", "ProductName",
    "ProductVersion",   "Comments",        "SpecialBuild",   "PrivateBuild"};

constexpr std::size_t kTypeNameLength = 80;

std::string& RegisteredProgramFile() {
    static std::string path;
    return path;
}

}  // namespace

void RegisterProgramFile(const std::string& path) {
    RegisteredProgramFile() = path;
}

std::string ProgramFile() {
    if (!RegisteredProgramFile().empty())
        return RegisteredProgramFile();
    return QCoreApplication::applicationFilePath().toStdString();
}

void ReadFileVersionInfo(const std::string& fileName, TFileVersionInfo& info) {
    info = TFileVersionInfo{};
    if (fileName.empty())
        return;
    // The toolkit hands out paths with forward slashes; the shell wants the system's own.
    const std::string path =
        QDir::toNativeSeparators(QString::fromStdString(fileName)).toStdString();
    const hid::FileVersionResource resource = hid::ReadFileVersionResource(path, kKeys);
    info.TypeName = resource.typeName.substr(0, kTypeNameLength);
    const auto value = [&resource](const std::string& key) {
        const auto found = resource.values.find(key);
        return found == resource.values.end() ? std::string() : found->second;
    };
    const std::array<std::string*, 12> fields = {
        &info.CompanyName,      &info.FileDescription, &info.FileVersion,  &info.InternalName,
        &info.LegalCopyRight,   &info.LegalTradeMarks, &info.OriginalFileName, &info.ProductName,
        &info.ProductVersion,   &info.Comments,        &info.SpecialBuild, &info.PrivateBuild};
    for (std::size_t i = 0; i < fields.size(); ++i)
        *fields[i] = value(kKeys[i]);
    if (resource.hasFixedPart) {
        ApplyFixedFileInfo({.FileType = resource.fileType,
                            .FileSubtype = resource.fileSubtype,
                            .FileFlags = resource.fileFlags,
                            .FileFlagsMask = resource.fileFlagsMask},
                           info);
    }
}

}  // namespace zm880::app
