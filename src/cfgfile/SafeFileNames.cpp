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
// The longest name a folder entry may have on the usual file systems: bytes on Linux, UTF-16
// units on Windows.
constexpr std::size_t kLongestName = 255;

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
    using Name = fs::path::string_type;
    const Name ending = fs::path(kTemporaryMarker + RandomTag() + kTemporarySuffix).native();
    Name kept = target.filename().native();
    // A legal name near the limit would make an illegal temporary: its copy in the temporary is
    // cut short, never inside a character, so the pattern that marks stale ones stays whole.
    const std::size_t room = kLongestName - 1 - ending.size();
    if (kept.size() > room) {
        std::size_t cut = room;
        const auto continuesACharacter = [](auto unit) {
            if constexpr (sizeof unit == 1) {
                return (static_cast<unsigned char>(unit) & 0xC0) == 0x80;
            } else {
                return unit >= 0xDC00 && unit <= 0xDFFF;
            }
        };
        // A UTF-8 character has at most 3 continuation bytes, a UTF-16 one a single low half.
        for (int step = 0; step < 3 && cut > 1 && continuesACharacter(kept[cut]); ++step) {
            --cut;
        }
        kept.resize(cut);
    }
    return target.parent_path() / (Name(1, '.') + kept + ending);
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
