#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "hid/OsServices.h"

namespace zm880::hid {

FileVersionResource ReadFileVersionResource(const std::string& file,
                                            const std::vector<std::string>& keys) {
    FileVersionResource resource;
    SHFILEINFOA shellInfo{};
    if (SHGetFileInfoA(file.c_str(), 0, &shellInfo, sizeof shellInfo, SHGFI_TYPENAME) != 0) {
        resource.typeName = shellInfo.szTypeName;
    }
    if (SHGetFileInfoA(file.c_str(), 0, &shellInfo, sizeof shellInfo, SHGFI_EXETYPE) == 0) {
        return resource;
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) {
        return resource;
    }
    std::vector<char> block(size);
    for (const std::string& name : keys) {
        // Only the first translation entry counts.
        struct Translation {
            WORD language;
            WORD codePage;
        }* translation = nullptr;
        UINT length = 0;
        if (!GetFileVersionInfoA(file.c_str(), 0, size, block.data()) ||
            !VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                            reinterpret_cast<void**>(&translation), &length) ||
            length < sizeof(Translation)) {
            continue;
        }
        std::vector<char> path(name.size() + 32);
        std::snprintf(path.data(), path.size(), "\\StringFileInfo\\%.4x%.4x\\%s",
                      translation->language, translation->codePage, name.c_str());
        char* text = nullptr;
        if (VerQueryValueA(block.data(), path.data(), reinterpret_cast<void**>(&text), &length) &&
            text != nullptr) {
            resource.values[name] = std::string(text, strnlen(text, length));
        }
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoA(file.c_str(), 0, size, block.data()) &&
        VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        resource.hasFixedPart = true;
        resource.fileType = fixed->dwFileType;
        resource.fileSubtype = fixed->dwFileSubtype;
        resource.fileFlags = fixed->dwFileFlags;
        resource.fileFlagsMask = fixed->dwFileFlagsMask;
    }
    return resource;
}

}  // namespace zm880::hid
