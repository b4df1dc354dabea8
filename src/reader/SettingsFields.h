#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/ReaderSettings.h"

namespace zm880 {

// The settings addressed field by field, by the names of the ReaderSettings members. Shared by
// the file and the reader commands, so nothing here knows where the settings came from.

// One object, keys in field order: every ReaderSettings field under its own name, plus
// ReaderTypeName after ReaderType (null for a type without a name). Numbers as numbers, on/off as
// booleans, Suffix and Interface as item indexes, Baud null when no rate is selected, UserCmd -1
// when off, and LfTags, HfTags and Tags125 as arrays of the captions that are on, in bit order.
nlohmann::ordered_json SettingsToJson(const ReaderSettings& settings);

// One "Name  value" line for ReaderVersion, ReaderType and each field that an encode with
// settings.ReaderType writes, under the names that assignments use; for example "Suffix  1
// (Enter)", "CharDelay  20 ms", "UserCmd  off", "LfTags  EM4102,HITAG2", "Tags125  none".
std::string SettingsToText(const ReaderSettings& settings);

// Applies "FIELD=VALUE" assignments in order, all or nothing: on the first refused one the
// settings stay as they were and the message says why, naming the allowed range or names.
// A field that an encode with `storedReaderType` would not write is refused, and so are the
// shown-only ReaderVersion, ReaderType and ReaderTypeName. Field names, captions and item
// names match in any case. Values: numbers in the field's range; booleans as
// true/false/1/0/on/off; Baud one of the four rates; Suffix and Interface as index or item name;
// UserCmd -1 to 9 or "off"; tag lists as comma-separated captions, empty for none.
std::optional<std::string> ApplyAssignments(ReaderSettings& settings,
                                            const std::vector<std::string>& assignments,
                                            std::uint8_t storedReaderType);

// Profiles: JSON objects naming any subset of the keys of SettingsToJson, with exactly its value
// forms: numbers as JSON numbers, on/off as JSON booleans, tag lists as arrays of captions; Suffix
// and Interface also by item name. Text for a number or a boolean, or 1 for true, is refused.

// Sets the fields that `profile` names, all or nothing: on the first refused key the settings
// stay as they were and the message names the key. Refused: a key that is not a field (names
// match exactly), ReaderVersion (shown only), a field that an encode with `storedReaderType`
// does not write, a value out of range or of the wrong form, and a ReaderType or ReaderTypeName
// other than those of `storedReaderType` (they only say what the profile is for). `named` gets
// the names of the fields set, in the profile's order.
std::optional<std::string> ApplyProfileFields(ReaderSettings& settings,
                                              const nlohmann::ordered_json& profile,
                                              std::uint8_t storedReaderType,
                                              std::vector<std::string>* named = nullptr);

// The same checks without a reader type: refuses what no reader type would take.
std::optional<std::string> CheckProfileFields(const nlohmann::ordered_json& profile);

// A complete profile of the settings: ReaderType, ReaderTypeName and every field that an encode
// with settings.ReaderType writes, in the order and forms of SettingsToJson; Baud only when a
// rate is selected (a profile cannot ask for none: the encode writes that as 9600).
nlohmann::ordered_json SettingsToProfile(const ReaderSettings& settings);

// A field whose value differs, both values as SettingsToText shows them.
struct FieldChange {
    std::string field;
    std::string before;
    std::string after;

    bool operator==(const FieldChange&) const = default;
};

// Every field (in the order of SettingsToJson) whose value differs between the two.
std::vector<FieldChange> DiffSettings(const ReaderSettings& before, const ReaderSettings& after);

}  // namespace zm880
