#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/ReportBuffer.h"

namespace zm880 {

// Readable profiles: a JSON object naming any subset of the settings fields, under the keys and
// in the value forms of SettingsToJson (see ApplyProfileFields for what is refused).

// Largest profile file read; a real one is well under 2 KiB.
inline constexpr std::size_t kProfileReadLimit = 1024 * 1024;

// Whether a file name stands for a profile rather than a 64-byte settings file: it ends in
// ".json" (any case).
bool IsProfileName(std::string_view path);

// The profile in `text`: a JSON object. nullopt with `error` saying why in plain words: text that
// is not JSON (the line and column, what was found and what was expected), a key named twice in
// one object, values nested more than 8 deep or a number too large for a double (both naming
// the field), or JSON that is not an object.
std::optional<nlohmann::ordered_json> ParseProfile(std::string_view text, std::string& error);

// Sets the fields that `profile` names in the settings record `record`, whose byte 8 is its
// reader type: their bits as the encode writes them, and the control byte 1 as every encode
// writes it; every other bit stays as it was. All or nothing: a refusal (a message naming the
// field; also a record whose byte 0 is not 3) leaves the record untouched. `named` gets the
// names of the fields set.
std::optional<std::string> ApplyProfileToRecord(const nlohmann::ordered_json& profile,
                                                ReportBuffer& record,
                                                std::vector<std::string>* named = nullptr);

// The complete profile of a settings record (byte 0 must be 3): ReaderType, ReaderTypeName
// and every field that its reader type stores.
nlohmann::ordered_json RecordToProfile(const ReportBuffer& record);

// A profile as its file holds it: indented, one key a line, ending in a line end.
std::string ProfileText(const nlohmann::ordered_json& profile);

}  // namespace zm880
