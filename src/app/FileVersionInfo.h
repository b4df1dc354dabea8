#pragma once

#include <cstdint>
#include <string>

namespace zm880::app {

// What the version information of a file says. Texts a file lacks stay empty, flags False.
struct TFileVersionInfo {
    std::string TypeName;
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyRight;
    std::string LegalTradeMarks;
    std::string OriginalFileName;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::string SpecialBuild;
    std::string PrivateBuild;
    std::string FileTypeText;
    bool IsDebug = false;
    bool IsPreRelease = false;
    bool IsSpecialBuild = false;
    bool IsPrivateBuild = false;
    bool IsPatched = false;
    bool IsInfoInferred = false;
};

// The fixed part of version information: file type and subtype, and the file flags.
struct FixedFileInfo {
    std::uint32_t FileType = 0;
    std::uint32_t FileSubtype = 0;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileFlagsMask = 0;
};

namespace file_flag {
inline constexpr std::uint32_t Debug = 0x01;
inline constexpr std::uint32_t PreRelease = 0x02;
inline constexpr std::uint32_t Patched = 0x04;
inline constexpr std::uint32_t PrivateBuild = 0x08;
inline constexpr std::uint32_t InfoInferred = 0x10;
inline constexpr std::uint32_t SpecialBuild = 0x20;
}  // namespace file_flag

// The text for a file type and subtype ("Application", "Keyboard Driver", ...); empty for types
// and subtypes without one.
std::string FileTypeText(std::uint32_t fileType, std::uint32_t fileSubtype);

// Sets the six flags and FileTypeText of `info` from the fixed part.
void ApplyFixedFileInfo(const FixedFileInfo& fixed, TFileVersionInfo& info);

// The program's own executable, whose version information comes from the build. Until one is
// registered, the running process's image is taken.
void RegisterProgramFile(const std::string& path);
std::string ProgramFile();

// Fills `info` for `fileName`. Only the program's own executable has version information here;
// any other file, or one that does not exist, gives empty texts and False flags.
void ReadFileVersionInfo(const std::string& fileName, TFileVersionInfo& info);

}  // namespace zm880::app
