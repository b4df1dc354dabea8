#include "app/FileVersionInfo.h"

#include <array>
#include <cstdio>

namespace zm880::app {

std::string FileTypeText(std::uint32_t fileType, std::uint32_t fileSubtype) {
    static constexpr std::array<const char*, 11> kDrivers = {
        "Unknown Driver",    "Printer Driver", "Keyboard Driver",      "Language Driver",
        "Display Driver",    "Mouse Driver",   "Network Driver",       "System Driver",
        "InstallableDriver", "Sound Driver",   "Communications Driver"};
    static constexpr std::array<const char*, 4> kFonts = {"Unknown Font", "Raster Font",
                                                          "Vector Font", "Truetype Font"};
    switch (fileType) {
        case 0:
            return "Unknown";
        case 1:
            return "Application";
        case 2:
            return "DLL";
        case 3:
            return fileSubtype < kDrivers.size() ? kDrivers[fileSubtype] : "";
        case 4:
            return fileSubtype < kFonts.size() ? kFonts[fileSubtype] : "";
        case 5: {
            std::array<char, 9> digits{};
            std::snprintf(digits.data(), digits.size(), "%.8X", fileSubtype);
            return std::string("Virtual Defice Identifier = ") + digits.data();
        }
        case 7:
            return "Static-link Library";
        default:
            return "";
    }
}

void ApplyFixedFileInfo(const FixedFileInfo& fixed, TFileVersionInfo& info) {
    const std::uint32_t set = fixed.FileFlags & fixed.FileFlagsMask;
    info.IsDebug = (set & file_flag::Debug) != 0;
    info.IsPreRelease = (set & file_flag::PreRelease) != 0;
    info.IsSpecialBuild = (set & file_flag::SpecialBuild) != 0;
    info.IsPrivateBuild = (set & file_flag::PrivateBuild) != 0;
    info.IsPatched = (set & file_flag::Patched) != 0;
    info.IsInfoInferred = (set & file_flag::InfoInferred) != 0;
    info.FileTypeText = FileTypeText(fixed.FileType, fixed.FileSubtype);
}

}  // namespace zm880::app
