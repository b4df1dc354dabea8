#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/ReportBuffer.h"

namespace zm880::inventory {

// A field the profile names whose value the reader does not hold; both values in the forms of
// `show --json`.
struct FieldDifference {
    std::string field;
    nlohmann::ordered_json reader;
    nlohmann::ordered_json profile;
};

// How a settings record stands against a profile.
struct ProfileComparison {
    std::vector<FieldDifference> differences;  // in the profile's order
    std::string error;  // why the record cannot be compared (a field its type does not store)

    bool Matches() const { return error.empty() && differences.empty(); }
};

// Compares the fields `profile` names with the settings record `record` (byte 0 is 3). A profile
// for another reader type differs in ReaderType alone.
ProfileComparison CompareWithProfile(const nlohmann::ordered_json& profile,
                                     const ReportBuffer& record);

// "CharDelay 0 (profile 50)": the field, the reader's value and the profile's, as a person
// reads them (Suffix and Interface by name, on/off, tag lists comma-separated).
std::string DifferenceText(const FieldDifference& difference);

// "matches", "differs: A (profile B), …" or "cannot be compared: REASON".
std::string ComparisonText(const ProfileComparison& comparison);

}  // namespace zm880::inventory
