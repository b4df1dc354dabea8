#include "reader/SettingsFields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <span>

namespace zm880 {

namespace {

enum class Kind { Number, Flag, Choice, Baud, UserCmd, Tags };

// Which encodes write a field.
enum class Scope {
    ShownOnly,   // never written
    Common,      // every reader type
    Multi,       // types 0 and 4
    MultiLegic,  // type 4 only: the decode shows Read Data only for it
    Legic,       // type 3
    SingleTech,  // every type other than 0, 3 and 4
};

using TagsView = std::span<const bool> (*)(const ReaderSettings&);
using TagsEdit = std::span<bool> (*)(ReaderSettings&);

template <auto Member>
std::span<const bool> ViewTags(const ReaderSettings& settings) {
    return settings.*Member;
}

template <auto Member>
std::span<bool> EditTags(ReaderSettings& settings) {
    return settings.*Member;
}

struct Field {
    std::string_view name;
    Kind kind;
    Scope scope;
    int ReaderSettings::*number = nullptr;
    bool ReaderSettings::*flag = nullptr;
    FieldRange range{};
    std::span<const std::string_view> names{};  // item names of a choice, captions of tags
    TagsView viewTags = nullptr;
    TagsEdit editTags = nullptr;
    std::string_view unit{};
};

constexpr Field NumberField(std::string_view name, Scope scope, int ReaderSettings::*member,
                            FieldRange range, std::string_view unit = {}) {
    return {.name = name,
            .kind = Kind::Number,
            .scope = scope,
            .number = member,
            .range = range,
            .unit = unit};
}

constexpr Field FlagField(std::string_view name, Scope scope, bool ReaderSettings::*member) {
    return {.name = name, .kind = Kind::Flag, .scope = scope, .flag = member};
}

constexpr Field ChoiceField(std::string_view name, int ReaderSettings::*member, FieldRange range,
                            std::span<const std::string_view> names) {
    return {.name = name,
            .kind = Kind::Choice,
            .scope = Scope::Common,
            .number = member,
            .range = range,
            .names = names};
}

template <auto Member>
constexpr Field TagsField(std::string_view name, Scope scope,
                          std::span<const std::string_view> captions) {
    return {.name = name,
            .kind = Kind::Tags,
            .scope = scope,
            .names = captions,
            .viewTags = &ViewTags<Member>,
            .editTags = &EditTags<Member>};
}

using RS = ReaderSettings;

const std::array<Field, 23> kFields = {
    NumberField("ReaderVersion", Scope::ShownOnly, &RS::ReaderVersion, kReaderVersionRange),
    Field{.name = "Baud", .kind = Kind::Baud, .scope = Scope::Common},
    ChoiceField("Suffix", &RS::Suffix, kSuffixRange, kSuffixNames),
    FlagField("AddType", Scope::Common, &RS::AddType),
    FlagField("UsedAltKey", Scope::Common, &RS::UsedAltKey),
    NumberField("CharDelay", Scope::Common, &RS::CharDelay, kCharDelayRange, "ms"),
    NumberField("DoubleTimeout", Scope::Common, &RS::DoubleTimeout, kDoubleTimeoutRange, "s"),
    NumberField("ReaderType", Scope::ShownOnly, &RS::ReaderType, {0, 255}),
    FlagField("ByteMirror", Scope::Common, &RS::ByteMirror),
    FlagField("BitMirror", Scope::Common, &RS::BitMirror),
    ChoiceField("Interface", &RS::Interface, kInterfaceRange, kInterfaceNames),
    Field{.name = "UserCmd",
          .kind = Kind::UserCmd,
          .scope = Scope::Multi,
          .number = &RS::UserCmd,
          .range = kUserCmdRange},
    TagsField<&RS::LfTags>("LfTags", Scope::Multi, kLfTagCaptions),
    TagsField<&RS::HfTags>("HfTags", Scope::Multi, kHfTagCaptions),
    FlagField("LegicReadData", Scope::MultiLegic, &RS::LegicReadData),
    NumberField("MultiLegicSegment", Scope::Multi, &RS::MultiLegicSegment, kMultiLegicSegmentRange),
    NumberField("MultiLegicOffset", Scope::Multi, &RS::MultiLegicOffset, kMultiLegicOffsetRange),
    NumberField("MultiLegicCount", Scope::Multi, &RS::MultiLegicCount, kMultiLegicCountRange),
    NumberField("LegicStartAddr", Scope::Legic, &RS::LegicStartAddr, kLegicStartAddrRange),
    NumberField("LegicLength", Scope::Legic, &RS::LegicLength, kLegicLengthRange),
    NumberField("LegicSegment", Scope::Legic, &RS::LegicSegment, kLegicSegmentRange),
    NumberField("MaxLength", Scope::SingleTech, &RS::MaxLength, kMaxLengthRange),
    TagsField<&RS::Tags125>("Tags125", Scope::SingleTech, kTag125Captions),
};

constexpr std::string_view kReaderTypeNameKey = "ReaderTypeName";

bool Writes(Scope scope, int readerType) {
    switch (scope) {
        case Scope::ShownOnly:
            return false;
        case Scope::Common:
            return true;
        case Scope::Multi:
            return IsMultiTechnologyType(readerType);
        case Scope::MultiLegic:
            return readerType == kMultiLegicReaderType;
        case Scope::Legic:
            return readerType == kLegicReaderType;
        case Scope::SingleTech:
            return !IsMultiTechnologyType(readerType) && readerType != kLegicReaderType;
    }
    return false;
}

std::string_view ScopeText(Scope scope) {
    switch (scope) {
        case Scope::Multi:
            return "reader types 0 and 4";
        case Scope::MultiLegic:
            return "reader type 4";
        case Scope::Legic:
            return "reader type 3";
        case Scope::SingleTech:
            return "reader types 1, 2 and above 4";
        case Scope::ShownOnly:
        case Scope::Common:
            break;
    }
    return "every reader type";
}

std::string ReaderTypeText(int readerType) {
    const std::optional<std::string_view> name = DeviceTypeName(readerType);
    return std::to_string(readerType) + " (" + std::string(name.value_or("no name")) + ")";
}

bool SameText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view Trim(std::string_view text) {
    const auto isBlank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Join(std::span<const std::string_view> items, std::string_view separator) {
    std::string text;
    for (const std::string_view item : items) {
        if (!text.empty()) {
            text += separator;
        }
        text += item;
    }
    return text;
}

std::vector<std::string_view> TagsOn(const Field& field, const ReaderSettings& settings) {
    const std::span<const bool> flags = field.viewTags(settings);
    std::vector<std::string_view> on;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (flags[i]) {
            on.push_back(field.names[i]);
        }
    }
    return on;
}

std::string ValueText(const Field& field, const ReaderSettings& settings) {
    switch (field.kind) {
        case Kind::Number: {
            const int value = settings.*field.number;
            if (field.number == &RS::ReaderVersion) {
                char digits[8];
                std::snprintf(digits, sizeof digits, "%.3d", value);
                return digits;
            }
            if (field.number == &RS::ReaderType) {
                return ReaderTypeText(value);
            }
            std::string text = std::to_string(value);
            return field.unit.empty() ? text : text + " " + std::string(field.unit);
        }
        case Kind::Flag:
            return settings.*field.flag ? "on" : "off";
        case Kind::Choice: {
            const int index = settings.*field.number;
            const bool named = index >= 0 && static_cast<std::size_t>(index) < field.names.size();
            return std::to_string(index) + " (" +
                   std::string(named ? field.names[static_cast<std::size_t>(index)] : "?") + ")";
        }
        case Kind::Baud:
            return settings.Baud ? std::to_string(*settings.Baud) : "none";
        case Kind::UserCmd:
            return settings.UserCmd >= 0 ? std::to_string(settings.UserCmd) : "off";
        case Kind::Tags: {
            const std::vector<std::string_view> on = TagsOn(field, settings);
            return on.empty() ? "none" : Join(on, ",");
        }
    }
    return {};
}

bool SameValue(const Field& field, const ReaderSettings& a, const ReaderSettings& b) {
    switch (field.kind) {
        case Kind::Number:
        case Kind::Choice:
        case Kind::UserCmd:
            return a.*field.number == b.*field.number;
        case Kind::Flag:
            return a.*field.flag == b.*field.flag;
        case Kind::Baud:
            return a.Baud == b.Baud;
        case Kind::Tags: {
            const std::span<const bool> x = field.viewTags(a);
            const std::span<const bool> y = field.viewTags(b);
            return std::equal(x.begin(), x.end(), y.begin(), y.end());
        }
    }
    return false;
}

const Field* FindField(std::string_view name) {
    const auto found = std::find_if(kFields.begin(), kFields.end(),
                                    [&](const Field& field) { return SameText(field.name, name); });
    return found == kFields.end() ? nullptr : &*found;
}

std::string SettableFieldNames() {
    std::vector<std::string_view> names;
    for (const Field& field : kFields) {
        if (field.scope != Scope::ShownOnly) {
            names.push_back(field.name);
        }
    }
    return Join(names, ", ");
}

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ParseBool(std::string_view text) {
    for (const std::string_view yes : {"true", "1", "on"}) {
        if (SameText(text, yes)) {
            return true;
        }
    }
    for (const std::string_view no : {"false", "0", "off"}) {
        if (SameText(text, no)) {
            return false;
        }
    }
    return std::nullopt;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string RangeText(FieldRange range) {
    return std::to_string(range.min) + " to " + std::to_string(range.max);
}

// Sets one field from its value text; returns the refusal message, if any.
std::optional<std::string> SetValue(const Field& field, std::string_view value,
                                    ReaderSettings& settings) {
    const std::string name(field.name);
    switch (field.kind) {
        case Kind::Number:
        case Kind::UserCmd: {
            std::optional<int> number = ParseInt(value);
            if (field.kind == Kind::UserCmd && SameText(value, "off")) {
                number = -1;
            }
            if (!number || *number < field.range.min || *number > field.range.max) {
                return name + " must be a whole number from " + RangeText(field.range) +
                       (field.kind == Kind::UserCmd ? " (-1 or off: no user command)" : "") +
                       ", not " + Quoted(value);
            }
            settings.*field.number = *number;
            return std::nullopt;
        }
        case Kind::Flag: {
            const std::optional<bool> flag = ParseBool(value);
            if (!flag) {
                return name + " must be true, false, 1, 0, on or off, not " + Quoted(value);
            }
            settings.*field.flag = *flag;
            return std::nullopt;
        }
        case Kind::Choice: {
            std::optional<int> index = ParseInt(value);
            for (std::size_t i = 0; i < field.names.size(); ++i) {
                if (SameText(value, field.names[i])) {
                    index = static_cast<int>(i);
                }
            }
            if (!index || *index < field.range.min || *index > field.range.max) {
                return name + " must be " + RangeText(field.range) + " or one of " +
                       Join(field.names, ", ") + ", not " + Quoted(value);
            }
            settings.*field.number = *index;
            return std::nullopt;
        }
        case Kind::Baud: {
            const std::optional<int> rate = ParseInt(value);
            if (!rate ||
                std::find(kBaudRates.begin(), kBaudRates.end(), *rate) == kBaudRates.end()) {
                return name + " must be one of 9600, 19200, 38400, 115200, not " + Quoted(value);
            }
            settings.Baud = *rate;
            return std::nullopt;
        }
        case Kind::Tags: {
            const std::span<bool> flags = field.editTags(settings);
            std::fill(flags.begin(), flags.end(), false);
            std::string_view rest = Trim(value);
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view caption = Trim(rest.substr(0, comma));
                rest =
                    comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
                const auto found =
                    std::find_if(field.names.begin(), field.names.end(),
                                 [&](std::string_view known) { return SameText(known, caption); });
                if (found == field.names.end()) {
                    return "unknown " + name + " caption " + Quoted(caption) +
                           "; captions: " + Join(field.names, ", ") + " (empty for none)";
                }
                flags[static_cast<std::size_t>(found - field.names.begin())] = true;
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ApplyAssignment(ReaderSettings& settings, std::string_view assignment,
                                           std::uint8_t storedReaderType) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        return "expected FIELD=VALUE, not " + Quoted(assignment);
    }
    const std::string_view name = Trim(assignment.substr(0, equals));
    const std::string_view value = Trim(assignment.substr(equals + 1));
    const Field* field = FindField(name);
    if (field == nullptr && SameText(name, kReaderTypeNameKey)) {
        field = FindField("ReaderType");
    }
    if (field == nullptr) {
        return "unknown field " + Quoted(name) + "; fields: " + SettableFieldNames();
    }
    if (field->scope == Scope::ShownOnly) {
        return std::string(field->name) +
               " is shown only: the reader reports it and writing the settings never changes it";
    }
    if (!Writes(field->scope, storedReaderType)) {
        return std::string(field->name) + " is not stored for reader type " +
               ReaderTypeText(storedReaderType) + ", only for " +
               std::string(ScopeText(field->scope));
    }
    return SetValue(*field, value, settings);
}

// A profile value in a message: scalars as JSON (long text cut), containers by their kind, so a
// message stays one short line whatever the file holds.
std::string Described(const nlohmann::ordered_json& value) {
    if (value.is_array()) {
        return "an array";
    }
    if (value.is_object()) {
        return "an object";
    }
    constexpr std::size_t kShownLength = 40;
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return text.size() <= kShownLength ? text : text.substr(0, kShownLength) + "...";
}

// The JSON type a field's value has in SettingsToJson; the refusal when `value` has another.
std::optional<std::string> WrongForm(const Field& field, const nlohmann::ordered_json& value) {
    const std::string name(field.name);
    switch (field.kind) {
        case Kind::Number:
        case Kind::Choice:
        case Kind::UserCmd:
        case Kind::Baud:
            if (value.is_number_integer() ||
                (field.kind == Kind::Choice && value.is_string() &&
                 std::any_of(field.names.begin(), field.names.end(), [&](std::string_view item) {
                     return SameText(item, value.get_ref<const std::string&>());
                 }))) {
                return std::nullopt;
            }
            if (field.kind == Kind::Baud) {
                return name + " must be one of 9600, 19200, 38400, 115200, not " + Described(value);
            }
            return name + " must be a whole number from " + RangeText(field.range) +
                   (field.kind == Kind::Choice ? " or one of " + Join(field.names, ", ") : "") +
                   (field.kind == Kind::UserCmd ? " (-1: no user command)" : "") + ", not " +
                   Described(value);
        case Kind::Flag:
            if (value.is_boolean()) {
                return std::nullopt;
            }
            return name + " must be true or false, not " + Described(value);
        case Kind::Tags:
            if (value.is_array() && std::all_of(value.begin(), value.end(), [](const auto& item) {
                    return item.is_string() && item.template get_ref<const std::string&>().find(
                                                   ',') == std::string::npos;
                })) {
                return std::nullopt;
            }
            return name + " must be an array of captions (" + Join(field.names, ", ") + "), not " +
                   Described(value);
    }
    return std::nullopt;
}

// A profile value of the right form as the text an assignment would give, so that one parser
// checks the ranges of both.
std::string ProfileValueText(const nlohmann::ordered_json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "true" : "false";
    }
    if (value.is_array()) {
        std::string text;
        for (const nlohmann::ordered_json& caption : value) {
            text += (text.empty() ? "" : ",") + caption.get<std::string>();
        }
        return text;
    }
    return value.dump();
}

// What a profile's ReaderType or ReaderTypeName must say for a record of `readerType`.
std::optional<std::string> CheckProfileType(const std::string& key,
                                            const nlohmann::ordered_json& value,
                                            std::optional<std::uint8_t> readerType) {
    const bool isTypeKey = key == "ReaderType";
    const bool wellFormed = isTypeKey ? value.is_number_integer() && value.get<long long>() >= 0 &&
                                            value.get<long long>() <= 255
                                      : value.is_string() || value.is_null();
    if (!wellFormed) {
        return key +
               (isTypeKey ? " must be a whole number from 0 to 255, not "
                          : " must be a type name or null, not ") +
               Described(value);
    }
    if (!readerType) {
        return std::nullopt;
    }
    const std::optional<std::string_view> name = DeviceTypeName(*readerType);
    const bool matches =
        isTypeKey ? value.get<long long>() == *readerType
                  : (value.is_null() ? !name : name && *name == value.get<std::string>());
    if (matches) {
        return std::nullopt;
    }
    return key + " is " + Described(value) +
           " in the profile, but the settings are of reader type " + ReaderTypeText(*readerType);
}

// ApplyProfileFields; without a reader type, only what no type would take is refused.
std::optional<std::string> ApplyProfile(ReaderSettings& settings,
                                        const nlohmann::ordered_json& profile,
                                        std::optional<std::uint8_t> readerType,
                                        std::vector<std::string>* named) {
    if (!profile.is_object()) {
        return "a profile must be a JSON object of settings fields, not " +
               std::string(profile.type_name());
    }
    ReaderSettings changed = settings;
    std::vector<std::string> names;
    for (const auto& [key, value] : profile.items()) {
        if (key == "ReaderType" || key == kReaderTypeNameKey) {
            if (std::optional<std::string> refusal = CheckProfileType(key, value, readerType)) {
                return refusal;
            }
            continue;
        }
        // A structured binding cannot be captured by every compiler the project builds with.
        const std::string& name = key;
        const auto found = std::find_if(kFields.begin(), kFields.end(),
                                        [&](const Field& field) { return field.name == name; });
        if (found == kFields.end()) {
            return "unknown field " + Quoted(key) + "; fields: " + SettableFieldNames();
        }
        const Field& field = *found;
        if (field.scope == Scope::ShownOnly) {
            return key +
                   " is shown only: the reader reports it and writing the settings never "
                   "changes it";
        }
        if (readerType && !Writes(field.scope, *readerType)) {
            return key + " is not stored for reader type " + ReaderTypeText(*readerType) +
                   ", only for " + std::string(ScopeText(field.scope));
        }
        if (std::optional<std::string> refusal = WrongForm(field, value)) {
            return refusal;
        }
        if (std::optional<std::string> refused =
                SetValue(field, ProfileValueText(value), changed)) {
            return refused;
        }
        names.push_back(key);
    }
    settings = changed;
    if (named != nullptr) {
        *named = std::move(names);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ApplyProfileFields(ReaderSettings& settings,
                                              const nlohmann::ordered_json& profile,
                                              std::uint8_t storedReaderType,
                                              std::vector<std::string>* named) {
    return ApplyProfile(settings, profile, storedReaderType, named);
}

std::optional<std::string> CheckProfileFields(const nlohmann::ordered_json& profile) {
    ReaderSettings scratch;
    return ApplyProfile(scratch, profile, std::nullopt, nullptr);
}

nlohmann::ordered_json SettingsToProfile(const ReaderSettings& settings) {
    const nlohmann::ordered_json all = SettingsToJson(settings);
    nlohmann::ordered_json profile = nlohmann::ordered_json::object();
    for (const auto& [key, value] : all.items()) {
        const Field* field = FindField(key);
        // Without a selected rate there is no baud rate to carry (the encode would write 9600).
        const bool stored = field != nullptr && Writes(field->scope, settings.ReaderType) &&
                            !(field->kind == Kind::Baud && value.is_null());
        if (key == "ReaderType" || key == kReaderTypeNameKey || stored) {
            profile[key] = value;
        }
    }
    return profile;
}

nlohmann::ordered_json SettingsToJson(const ReaderSettings& settings) {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const Field& field : kFields) {
        const std::string name(field.name);
        switch (field.kind) {
            case Kind::Number:
            case Kind::Choice:
            case Kind::UserCmd:
                object[name] = settings.*field.number;
                if (field.number == &RS::ReaderType) {
                    const std::optional<std::string_view> typeName =
                        DeviceTypeName(settings.ReaderType);
                    object[std::string(kReaderTypeNameKey)] =
                        typeName ? nlohmann::ordered_json(*typeName) : nlohmann::ordered_json();
                }
                break;
            case Kind::Flag:
                object[name] = settings.*field.flag;
                break;
            case Kind::Baud:
                object[name] = settings.Baud ? nlohmann::ordered_json(*settings.Baud)
                                             : nlohmann::ordered_json();
                break;
            case Kind::Tags: {
                nlohmann::ordered_json captions = nlohmann::ordered_json::array();
                for (const std::string_view caption : TagsOn(field, settings)) {
                    captions.push_back(caption);
                }
                object[name] = captions;
                break;
            }
        }
    }
    return object;
}

std::string SettingsToText(const ReaderSettings& settings) {
    std::string text;
    for (const Field& field : kFields) {
        if (field.scope == Scope::ShownOnly || Writes(field.scope, settings.ReaderType)) {
            std::string line(field.name);
            line.resize(20, ' ');
            text += line + ValueText(field, settings) + "\n";
        }
    }
    return text;
}

std::optional<std::string> ApplyAssignments(ReaderSettings& settings,
                                            const std::vector<std::string>& assignments,
                                            std::uint8_t storedReaderType) {
    ReaderSettings changed = settings;
    for (const std::string& assignment : assignments) {
        if (std::optional<std::string> refusal =
                ApplyAssignment(changed, assignment, storedReaderType)) {
            return refusal;
        }
    }
    settings = changed;
    return std::nullopt;
}

std::vector<FieldChange> DiffSettings(const ReaderSettings& before, const ReaderSettings& after) {
    std::vector<FieldChange> changes;
    for (const Field& field : kFields) {
        // The texts differ exactly when the values do; only those are worth building.
        if (SameValue(field, before, after)) {
            continue;
        }
        std::string was = ValueText(field, before);
        std::string now = ValueText(field, after);
        if (was != now) {
            changes.push_back({std::string(field.name), std::move(was), std::move(now)});
        }
    }
    return changes;
}

}  // namespace zm880
