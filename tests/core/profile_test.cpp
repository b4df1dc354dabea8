#include "reader/Profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

namespace zm880 {
namespace {

using json = nlohmann::ordered_json;

// Values of every settable field that between them move each bit the field owns.
const std::vector<std::pair<std::string, std::vector<json>>>& Probes() {
    static const std::vector<std::pair<std::string, std::vector<json>>> probes = {
        {"Baud", {9600, 19200, 38400, 115200}},
        {"Suffix", {0, 1, 2}},
        {"AddType", {false, true}},
        {"UsedAltKey", {false, true}},
        {"CharDelay", {0, 10, 1280, 2000}},
        {"DoubleTimeout", {0, 64, 99}},
        {"ByteMirror", {false, true}},
        {"BitMirror", {false, true}},
        {"Interface", {0, 1, 2}},
        {"UserCmd", {-1, 0, 9}},
        {"LfTags", {json::array(), {"EM4102", "HITAG2", "DEISTER"}, {"HONEYTAG", "TIRIS"}}},
        {"HfTags", {json::array(), {"MIFARE", "NFCP2P"}}},
        {"LegicReadData", {false, true}},
        {"MultiLegicSegment", {0, 255}},
        {"MultiLegicOffset", {0, 255}},
        {"MultiLegicCount", {1, 128}},
        {"LegicStartAddr", {0, 9999, 256}},
        {"LegicLength", {1, 200}},
        {"LegicSegment", {0, 99}},
        {"MaxLength", {0, 99}},
        {"Tags125", {json::array(), {"EM4x02", "TIRIS"}}},
    };
    return probes;
}

// A record as a reader might send it: odd values in the bytes that the decode reads loosely or
// not at all, so that re-encoding the whole record would change them.
ReportBuffer OddRecord(std::uint8_t readerType) {
    ReportBuffer record{};
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    }
    record[0] = kSettingsReportId;
    record[1] = 0;
    record[3] = 0x13;  // a baud byte of the 9600 band that the encode writes as 0x08
    record[4] = 0x7D;  // suffix 1 with stray bits 2 to 6
    record[7] = 0xC5;  // a double timeout above 99
    record[8] = readerType;
    record[15] = 0xAB;  // for a multi-technology type, a byte the encode clears
    record[18] = 0xF3;  // high nibble beyond the last LF tag
    record[25] = 0xFE;  // Read Data off, the other bits set
    return record;
}

std::vector<std::size_t> ChangedBytes(const ReportBuffer& a, const ReportBuffer& b) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            changed.push_back(i);
        }
    }
    return changed;
}

ReaderSettings Decoded(ReportBuffer record) {
    ReaderSettings settings;
    std::uint8_t type = 0;
    DecodeSettings(record, settings, type);
    return settings;
}

ReportBuffer Encoded(const ReaderSettings& settings, std::uint8_t type, ReportBuffer into) {
    EncodeSettings(settings, type, into);
    return into;
}

// The bits a profile may set for a field are exactly the encode's: every bit that a change of
// the field moves is among them, each of them is written by the encode (the same whatever the
// buffer held), enough of them for the field to read back as set, and a type that does not
// store the field has none.
TEST(ProfileFieldBits, AreTheBitsTheEncodeWritesForTheField) {
    for (const std::uint8_t type : std::vector<std::uint8_t>{0, 1, 2, 3, 4, 7}) {
        for (const auto& [field, values] : Probes()) {
            SCOPED_TRACE(field + " on type " + std::to_string(type));
            const std::vector<ByteBits> bits = EncodedFieldBits(field, type);
            ReaderSettings probe;
            const std::optional<std::string> refusal =
                ApplyProfileFields(probe, json{{field, values.front()}}, type);
            ASSERT_EQ(bits.empty(), refusal.has_value()) << refusal.value_or("stored");
            if (bits.empty()) {
                continue;
            }
            ReportBuffer owned{};
            for (const ByteBits& b : bits) {
                owned[b.byte] |= b.mask;
            }
            const ReportBuffer base = OddRecord(type);
            const ReaderSettings settings = Decoded(base);
            const ReportBuffer reference = Encoded(settings, type, base);
            for (const json& value : values) {
                ReaderSettings changed = settings;
                ASSERT_FALSE(ApplyProfileFields(changed, json{{field, value}}, type));
                const ReportBuffer encoded = Encoded(changed, type, base);
                // Set alone on the odd record, the field reads back as the value given.
                ReportBuffer applied = base;
                ASSERT_FALSE(ApplyProfileToRecord(json{{field, value}}, applied));
                EXPECT_EQ(SettingsToProfile(Decoded(applied))[field],
                          SettingsToProfile(changed)[field]);
                for (std::size_t i = 0; i < encoded.size(); ++i) {
                    EXPECT_EQ((encoded[i] ^ reference[i]) & ~owned[i], 0) << "byte " << i;
                }
                ReportBuffer zeros{};
                ReportBuffer ones{};
                ones.fill(0xFF);
                zeros[0] = ones[0] = kSettingsReportId;
                zeros[8] = ones[8] = type;
                const ReportBuffer fromZeros = Encoded(changed, type, zeros);
                const ReportBuffer fromOnes = Encoded(changed, type, ones);
                for (std::size_t i = 0; i < owned.size(); ++i) {
                    EXPECT_EQ((fromZeros[i] ^ fromOnes[i]) & owned[i], 0) << "byte " << i;
                }
            }
        }
    }
}

TEST(ProfileApply, SetsOnlyTheNamedFieldsAndKeepsEveryOtherByte) {
    struct Case {
        std::uint8_t type;
        json profile;
        std::vector<std::size_t> bytes;  // besides the control byte 1
    };
    const std::vector<Case> cases = {
        {0, {{"CharDelay", 150}, {"LfTags", {"EM4102", "DEISTER"}}}, {6, 16, 17, 18}},
        {4, {{"AddType", true}, {"LegicReadData", true}}, {4, 25}},
        {3, {{"LegicStartAddr", 300}, {"ReaderType", 3}, {"ReaderTypeName", "Legic"}}, {12, 13}},
        {1, {{"Tags125", {"HITAG2"}}, {"Baud", 115200}}, {3, 15}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile.dump());
        const ReportBuffer before = OddRecord(c.type);
        ReportBuffer record = before;
        std::vector<std::string> named;
        ASSERT_EQ(ApplyProfileToRecord(c.profile, record, &named), std::nullopt);
        std::vector<std::size_t> expected = {1};
        expected.insert(expected.end(), c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(ChangedBytes(before, record), expected);

        ReaderSettings wanted = Decoded(before);
        ASSERT_FALSE(ApplyProfileFields(wanted, c.profile, c.type));
        // Fields of other branches share bytes with these, so only the stored ones compare.
        EXPECT_EQ(SettingsToProfile(Decoded(record)), SettingsToProfile(wanted));
        EXPECT_FALSE(named.empty());
    }
}

TEST(ProfileApply, RefusesTheWholeProfileNamingTheFieldAndLeavesTheRecord) {
    struct Case {
        std::uint8_t type;
        json profile;
        std::string message;
    };
    const std::vector<Case> cases = {
        // A field of another type's branch, after one that would have been set.
        {0,
         {{"CharDelay", 20}, {"LegicLength", 10}},
         "LegicLength is not stored for reader type 0"},
        {1, {{"UserCmd", 3}}, "UserCmd is not stored for reader type 1"},
        {1, {{"MaxLength", 100}}, "MaxLength must be a whole number from 0 to 99"},
        {0, {{"CharDelay", 2001}}, "CharDelay must be a whole number from 0 to 2000"},
        {0, {{"CharDelay", 20.5}}, "CharDelay must be a whole number"},
        {0, {{"AddType", "maybe"}}, "AddType must be true or false, not \"maybe\""},
        {0, {{"Baud", 4800}}, "Baud must be one of 9600"},
        // The encode would write no selection as 9600, which the profile does not say.
        {0, {{"Baud", nullptr}}, "Baud must be one of 9600"},
        {0, {{"UserCmd", 10}}, "UserCmd must be a whole number from -1 to 9"},
        {0, {{"LfTags", {"EM4102", "NOPE"}}}, "unknown LfTags caption \"NOPE\""},
        {0, {{"LfTags", {1}}}, "LfTags must be an array of captions"},
        // Only the value forms of show --json: no text for numbers or booleans, no 1 for true.
        {0, {{"CharDelay", "50"}}, "CharDelay must be a whole number from 0 to 2000, not \"50\""},
        {0, {{"Baud", "9600"}}, "Baud must be one of 9600, 19200, 38400, 115200, not \"9600\""},
        {0, {{"UserCmd", "off"}}, "UserCmd must be a whole number from -1 to 9"},
        {0, {{"Suffix", "2"}}, "Suffix must be a whole number from 0 to 2 or one of None"},
        {0, {{"AddType", "on"}}, "AddType must be true or false, not \"on\""},
        {0, {{"AddType", 1}}, "AddType must be true or false, not 1"},
        {0, {{"LfTags", "EM4102"}}, "LfTags must be an array of captions"},
        {0, {{"LfTags", {{"EM4102"}}}}, "LfTags must be an array of captions"},
        {0, {{"Colour", "red"}}, "unknown field \"Colour\""},
        {0, {{"charDelay", 20}}, "unknown field \"charDelay\""},
        {0, {{"ReaderVersion", 3}}, "ReaderVersion is shown only"},
        {0,
         {{"ReaderType", 3}},
         "ReaderType is 3 in the profile, but the settings are of reader type 0 (ZM-880)"},
        {0, {{"ReaderTypeName", "Legic"}}, "ReaderTypeName is \"Legic\" in the profile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile.dump());
        const ReportBuffer before = OddRecord(c.type);
        ReportBuffer record = before;
        const std::optional<std::string> refusal = ApplyProfileToRecord(c.profile, record);
        ASSERT_TRUE(refusal.has_value());
        EXPECT_NE(refusal->find(c.message), std::string::npos) << *refusal;
        EXPECT_EQ(record, before);
    }
}

TEST(ProfileApply, ACompleteProfileCarriesEveryStoredFieldOntoAnotherRecordOfItsType) {
    for (const std::uint8_t type : std::vector<std::uint8_t>{0, 1, 3, 4}) {
        SCOPED_TRACE(type);
        ReportBuffer source = OddRecord(type);
        source[3] = 0x20;  // 38400
        source[6] = 42;
        source[20] = 0x81;
        source[24] = 7;
        source[14] = 60;
        const json profile = RecordToProfile(source);
        EXPECT_EQ(profile["ReaderType"], type);
        EXPECT_EQ(profile["Baud"], 38400);
        EXPECT_FALSE(profile.contains("ReaderVersion"));
        EXPECT_EQ(profile.contains("MaxLength"), type == 1);
        EXPECT_EQ(profile.contains("LegicStartAddr"), type == 3);
        EXPECT_EQ(profile.contains("LegicReadData"), type == 4);

        // Text and back, as a file carries it.
        std::string error;
        const std::optional<json> parsed = ParseProfile(profile.dump(2), error);
        ASSERT_TRUE(parsed) << error;
        ReportBuffer target{};
        target[0] = kSettingsReportId;
        target[8] = type;
        ASSERT_EQ(ApplyProfileToRecord(*parsed, target), std::nullopt);
        EXPECT_EQ(RecordToProfile(target), profile);
    }
}

// Every refusal of the text is in plain words: where, what was found and what was expected, the
// field for what lies inside a value; never the JSON library's own text, and never a crash on
// a depth no profile has.
TEST(ProfileParse, SaysInPlainWordsWhyTheTextIsRefused) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"{\"Baud\": ",
         "not a JSON profile: line 1, column 10: found the end of the text, expected a value"},
        {"{\n  \"Suffix\": 1\n  \"CharDelay\": 20\n}",
         "line 3, column 3: found '\"', expected ',' or '}'"},
        {"{\"Suffix\" 1}", "line 1, column 11: found '1', expected ':' after the key"},
        {"{Suffix: 1}", "line 1, column 2: found 'S', expected a key in double quotes"},
        {"{\"LfTags\": [\"EM4102\" \"AWID\"]}", "found '\"', expected ',' or ']'"},
        {"{} {}", "line 1, column 4: found '{', expected nothing after the profile's closing '}'"},
        {"{\"AddType\": tru}", "expected a value"},
        {"{\"Suffix\": \"Ta\nb\"}", "line 1, column 15: found a line end, expected text in "},
        {"\xFF", "line 1, column 1: found the byte \\xFF"},
        {"{\"Suffix\": \"T\xFF" "b\"}", "found the byte \\xFF, expected text in UTF-8"},
        {"{\"Suffix\": \"bogus\", \"Suffix\": 2}", "the key \"Suffix\" appears twice"},
        {"{\"Suffix\": 2, \"Suffix\": \"bogus\"}", "the key \"Suffix\" appears twice"},
        {"{\"LfTags\": [{\"a\": 1, \"a\": 2}]}", "the key \"a\" appears twice"},
        {"{\"CharDelay\": 1e400}", "field \"CharDelay\": a number too large"},
        {"{\"LfTags\": [-1e999]}", "field \"LfTags\": a number too large"},
        {"{\"LfTags\": " + std::string(100000, '['),
         "field \"LfTags\": values nested more than 8 deep"},
        {std::string(100000, '['), "values nested more than 8 deep"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        std::string error;
        EXPECT_FALSE(ParseProfile(c.text, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(error.find("json.exception"), std::string::npos) << error;
    }
    // Nesting within the limit is the fields' business, and their refusal stays one short line.
    std::string error;
    const std::optional<json> nested = ParseProfile("{\"LfTags\": [[[[[[\"EM4102\"]]]]]]}", error);
    ASSERT_TRUE(nested) << error;
    const std::optional<std::string> refusal = CheckProfileFields(*nested);
    ASSERT_TRUE(refusal);
    EXPECT_NE(refusal->find("LfTags must be an array of captions"), std::string::npos);
    EXPECT_EQ(refusal->find("EM4102\"]]"), std::string::npos) << *refusal;
}

TEST(ProfileParse, RefusesWhatIsNotAJsonObject) {
    for (const std::string text : {"", "{\"Baud\": ", "[1, 2]", "\"Baud\"", "{} {}"}) {
        std::string error;
        EXPECT_FALSE(ParseProfile(text, error)) << text;
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(ParseProfile(" {\"Suffix\": \"Tab\"} \n", error));
    EXPECT_TRUE(IsProfileName("dir.cfg/p.JSON"));

    // A record without a baud rate gives a profile without Baud: there is no rate to carry.
    ReportBuffer record{};
    record[0] = kSettingsReportId;
    record[3] = 0xF8;
    EXPECT_FALSE(RecordToProfile(record).contains("Baud"));
    EXPECT_FALSE(IsProfileName("p.json.cfg"));
}

}  // namespace
}  // namespace zm880
