#pragma once

#include <filesystem>
#include <string>

// Paths travel through the program as UTF-8 text. std::filesystem converts plain strings with
// the C library's locale, which on Windows is not UTF-8, so every conversion goes through here.
namespace zm880::cfgfile {

inline std::filesystem::path Utf8Path(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace zm880::cfgfile
