#include "reader/Profile.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

namespace zm880 {

namespace {

constexpr std::size_t kControlByte = 1;
constexpr std::size_t kReaderTypeByte = 8;

// A profile is an object of fields whose values are at most lists of captions; anything nested
// deeper is refused while parsing, so no later step ever walks an untrusted depth.
constexpr int kProfileDepthLimit = 8;

struct ProfileRefusal {
    std::string message;
};

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Follows the parse: the field being read (for messages naming it), the keys of every open
// object (a duplicate would let the later value hide the earlier one), and the depth.
class ProfileReader {
  public:
    explicit ProfileReader(std::string_view text) : text_(text) {}

    void Take(int depth, nlohmann::ordered_json::parse_event_t event,
              const nlohmann::ordered_json& parsed) {
        using Event = nlohmann::ordered_json::parse_event_t;
        switch (event) {
            case Event::object_start:
            case Event::array_start:
                if (depth >= kProfileDepthLimit) {
                    throw ProfileRefusal{Where() + "values nested more than " +
                                         std::to_string(kProfileDepthLimit) +
                                         " deep; a field holds a number, true or false, text "
                                         "or a list of captions"};
                }
                open_.emplace_back();
                break;
            case Event::object_end:
            case Event::array_end:
                if (!open_.empty()) {
                    open_.pop_back();
                }
                break;
            case Event::key: {
                const std::string& key = parsed.get_ref<const std::string&>();
                if (depth == 1) {
                    field_ = key;
                }
                if (!open_.empty() && !open_.back().insert(key).second) {
                    throw ProfileRefusal{"the key " + Quoted(key) +
                                         " appears twice; each field may be named once"};
                }
                break;
            }
            case Event::value:
                break;
        }
    }

    // "field "NAME": " for the field being read, or nothing before the first key.
    std::string Where() const { return field_ ? "field " + Quoted(*field_) + ": " : std::string{}; }

    // The parse error in plain words: where it is, what was found and what was expected.
    std::string SyntaxError(const nlohmann::ordered_json::parse_error& e) const {
        const std::size_t at =
            TokenStart(std::min<std::size_t>(e.byte == 0 ? 0 : e.byte - 1, text_.size()),
                       std::string_view(e.what()));
        const std::string_view before = text_.substr(0, at);
        const std::size_t line =
            1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
        const std::size_t lineStart = before.rfind('\n');
        const std::size_t column =
            at - (lineStart == std::string_view::npos ? 0 : lineStart + 1) + 1;
        return "not a JSON profile: line " + std::to_string(line) + ", column " +
               std::to_string(column) + ": found " + Found(at) + ", expected " + Expected(e.what());
    }

  private:
    // The parser stops at the end of the token it could not take; the user looks for its start.
    std::size_t TokenStart(std::size_t at, std::string_view what) const {
        if (at >= text_.size()) {
            return at;
        }
        if (text_[at] == '"' && what.find("invalid string") == std::string_view::npos) {
            std::size_t open = at;
            while (open > 0 && !(text_[open - 1] == '"' && (open < 2 || text_[open - 2] != '\\'))) {
                --open;
            }
            return open == 0 ? at : open - 1;
        }
        const auto inLiteral = [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '+' ||
                   c == '-';
        };
        const bool brokenLiteral = what.find("invalid literal") != std::string_view::npos ||
                                   what.find("invalid number") != std::string_view::npos;
        if (brokenLiteral && !inLiteral(text_[at]) && at > 0 && inLiteral(text_[at - 1])) {
            --at;
        }
        if (inLiteral(text_[at])) {
            while (at > 0 && inLiteral(text_[at - 1])) {
                --at;
            }
        }
        return at;
    }

    std::string Found(std::size_t at) const {
        if (at >= text_.size()) {
            return "the end of the text";
        }
        const auto c = static_cast<unsigned char>(text_[at]);
        if (c == '\n' || c == '\r') {
            return "a line end";
        }
        if (c < 0x20 || c >= 0x7F) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            return std::string("the byte \\x") + kDigits[c >> 4] + kDigits[c & 0xF];
        }
        return "'" + std::string(1, static_cast<char>(c)) + "'";
    }

    // What the parser looked for, from the part of the text it was in.
    static std::string Expected(std::string_view what) {
        if (what.find("; expected end of input") != std::string_view::npos) {
            return "nothing after the profile's closing '}'";
        }
        if (what.find("while parsing object key") != std::string_view::npos) {
            return "a key in double quotes";
        }
        if (what.find("while parsing object separator") != std::string_view::npos) {
            return "':' after the key";
        }
        if (what.find("while parsing object") != std::string_view::npos) {
            return "',' or '}'";
        }
        if (what.find("while parsing array") != std::string_view::npos) {
            return "',' or ']'";
        }
        if (what.find("UTF-8") != std::string_view::npos) {
            return "text in UTF-8";
        }
        if (what.find("invalid string") != std::string_view::npos) {
            return "text in double quotes, closed on its line, with control characters escaped";
        }
        if (what.find("invalid number") != std::string_view::npos) {
            return "a number such as 50 or -1";
        }
        return "a value: a number, true, false, null, text in double quotes, '[' or '{'";
    }

    std::string_view text_;
    std::optional<std::string> field_;
    std::vector<std::set<std::string>> open_;  // keys so far, per open object or array
};

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
    ProfileReader reader(text);
    nlohmann::ordered_json profile;
    try {
        profile = nlohmann::ordered_json::parse(
            text, [&reader](int depth, nlohmann::ordered_json::parse_event_t event,
                            nlohmann::ordered_json& parsed) {
                reader.Take(depth, event, parsed);
                return true;
            });
    } catch (const ProfileRefusal& refusal) {
        error = refusal.message;
        return std::nullopt;
    } catch (const nlohmann::ordered_json::parse_error& e) {
        error = reader.SyntaxError(e);
        return std::nullopt;
    } catch (const nlohmann::ordered_json::out_of_range&) {
        // The only range error of parsing: a number beyond what a double holds.
        error = reader.Where() + "a number too large to be a setting";
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
