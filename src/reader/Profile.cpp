#include "reader/Profile.h"

#include <algorithm>
#include <cctype>

#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

namespace zm880 {

namespace {

constexpr std::size_t kControlByte = 1;
constexpr std::size_t kReaderTypeByte = 8;

}  // namespace

bool IsProfileName(std::string_view path) {
    constexpr std::string_view kSuffix = ".json";
    if (path.size() < kSuffix.size()) {
        return false;
    }
    const std::string_view end = path.substr(path.size() - kSuffix.size());
    return std::equal(end.begin(), end.end(), kSuffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

std::optional<nlohmann::ordered_json> ParseProfile(std::string_view text, std::string& error) {
    nlohmann::ordered_json profile;
    try {
        profile = nlohmann::ordered_json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        error = "not a JSON profile: " + std::string(e.what());
        return std::nullopt;
    }
    if (!profile.is_object()) {
        error = "a profile must be a JSON object of settings fields, not " +
                std::string(profile.type_name());
        return std::nullopt;
    }
    return profile;
}

std::optional<std::string> ApplyProfileToRecord(const nlohmann::ordered_json& profile,
                                                ReportBuffer& record,
                                                std::vector<std::string>* named) {
    if (record[0] != kSettingsReportId) {
        return "no settings record to apply the profile to (byte 0 is " +
               std::to_string(record[0]) + ", not 3)";
    }
    ReportBuffer encoded = record;
    ReaderSettings settings;
    std::uint8_t readerType = 0;
    DecodeSettings(encoded, settings, readerType);
    std::vector<std::string> fields;
    if (std::optional<std::string> refusal =
            ApplyProfileFields(settings, profile, readerType, &fields)) {
        return refusal;
    }
    EncodeSettings(settings, readerType, encoded);
    for (const std::string& field : fields) {
        for (const ByteBits& bits : EncodedFieldBits(field, readerType)) {
            record[bits.byte] = static_cast<std::uint8_t>((record[bits.byte] & ~bits.mask) |
                                                          (encoded[bits.byte] & bits.mask));
        }
    }
    if (!fields.empty()) {
        record[kControlByte] = encoded[kControlByte];
    }
    if (named != nullptr) {
        *named = std::move(fields);
    }
    return std::nullopt;
}

nlohmann::ordered_json RecordToProfile(const ReportBuffer& record) {
    ReportBuffer copy = record;
    ReaderSettings settings;
    std::uint8_t readerType = copy[kReaderTypeByte];
    DecodeSettings(copy, settings, readerType);
    return SettingsToProfile(settings);
}

std::string ProfileText(const nlohmann::ordered_json& profile) {
    return profile.dump(2) + "\n";
}

}  // namespace zm880
