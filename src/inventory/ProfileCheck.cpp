#include "inventory/ProfileCheck.h"

#include "reader/Profile.h"
#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

namespace zm880::inventory {

namespace {

constexpr std::size_t kReaderTypeByte = 8;

std::string ValueText(const std::string& field, const nlohmann::ordered_json& value) {
    if (value.is_null()) {
        return "none";
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "on" : "off";
    }
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_array()) {
        std::string text;
        for (const auto& item : value) {
            text += (text.empty() ? "" : ",") + ValueText(field, item);
        }
        return text.empty() ? "none" : text;
    }
    if (value.is_number_integer()) {
        const long long number = value.get<long long>();
        const auto named = [&](const auto& names) {
            return number >= 0 && static_cast<std::size_t>(number) < names.size()
                       ? std::string(names[static_cast<std::size_t>(number)])
                       : std::to_string(number);
        };
        if (field == "Suffix") {
            return named(kSuffixNames);
        }
        if (field == "Interface") {
            return named(kInterfaceNames);
        }
        if (field == "UserCmd" && number < 0) {
            return "off";
        }
    }
    return value.dump();
}

ReaderSettings Decoded(ReportBuffer record) {
    ReaderSettings settings;
    std::uint8_t readerType = 0;
    DecodeSettings(record, settings, readerType);
    return settings;
}

}  // namespace

ProfileComparison CompareWithProfile(const nlohmann::ordered_json& profile,
                                     const ReportBuffer& record) {
    ProfileComparison comparison;
    const int readerType = record[kReaderTypeByte];
    if (const auto type = profile.find("ReaderType");
        type != profile.end() && !(type->is_number_integer() && *type == readerType)) {
        comparison.differences.push_back({"ReaderType", readerType, *type});
        return comparison;
    }
    ReportBuffer profiled = record;
    std::vector<std::string> named;
    if (std::optional<std::string> refusal = ApplyProfileToRecord(profile, profiled, &named)) {
        comparison.error = std::move(*refusal);
        return comparison;
    }
    const nlohmann::ordered_json held = SettingsToJson(Decoded(record));
    const nlohmann::ordered_json wanted = SettingsToJson(Decoded(profiled));
    for (const std::string& field : named) {
        if (held.contains(field) && held[field] != wanted[field]) {
            comparison.differences.push_back({field, held[field], wanted[field]});
        }
    }
    return comparison;
}

std::string DifferenceText(const FieldDifference& difference) {
    return difference.field + " " + ValueText(difference.field, difference.reader) + " (profile " +
           ValueText(difference.field, difference.profile) + ")";
}

std::string ComparisonText(const ProfileComparison& comparison) {
    if (!comparison.error.empty()) {
        return "cannot be compared: " + comparison.error;
    }
    if (comparison.differences.empty()) {
        return "matches";
    }
    std::string text = "differs: ";
    for (std::size_t i = 0; i < comparison.differences.size(); ++i) {
        text += (i > 0 ? ", " : "") + DifferenceText(comparison.differences[i]);
    }
    return text;
}

}  // namespace zm880::inventory
