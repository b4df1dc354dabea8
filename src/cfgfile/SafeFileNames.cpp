#include "cfgfile/SafeFileNames.h"

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#include "cfgfile/SafeFile.h"

namespace zm880::cfgfile {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTemporaryMarker = ".zm880-";
constexpr const char* kTemporarySuffix = ".tmp";
constexpr std::size_t kTemporaryTagLength = 12;

std::string RandomTag() {
    static constexpr std::array<char, 36> kAlphabet{
        '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
        'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't', 'u', 'v', 'w', 'x', 'y', 'z'};
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::string tag;
    for (std::size_t i = 0; i < kTemporaryTagLength; ++i) {
        tag += kAlphabet[pick(random)];
    }
    return tag;
}

}  // namespace

fs::path TemporaryNameBeside(const fs::path& target) {
    fs::path name = fs::path(".") += target.filename();
    name += kTemporaryMarker + RandomTag() + kTemporarySuffix;
    return target.parent_path() / name;
}

void RemoveStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path& entry = it->path();
        if (!IsSafeFileTemporaryName(entry.filename().string()) || !it->is_regular_file(ec) || ec) {
            continue;
        }
        const auto written = it->last_write_time(ec);
        if (!ec && now - written > kStaleTemporaryAge) {
            fs::remove(entry, ec);
        }
        ec.clear();
    }
}

bool IsSafeFileTemporaryName(const std::string& name) {
    const std::string suffix = kTemporarySuffix;
    const std::size_t marker = name.rfind(kTemporaryMarker);
    if (name.empty() || name[0] != '.' || marker == std::string::npos || marker == 0 ||
        name.size() !=
            marker + std::strlen(kTemporaryMarker) + kTemporaryTagLength + suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    for (std::size_t i = marker + std::strlen(kTemporaryMarker); i < name.size() - suffix.size();
         ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) {
            return false;
        }
    }
    return true;
}

}  // namespace zm880::cfgfile
