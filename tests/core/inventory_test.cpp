#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/Csv.h"
#include "inventory/ProfileCheck.h"
#include "inventory/ReaderInventory.h"
#include "inventory/Sha256.h"
#include "reader/ReaderSettings.h"

namespace zm880::inventory {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Published vectors, and lengths around the padding's block boundary (55 bytes still fit the
// length in the same block, 56 and 64 do not).
TEST(Sha256Test, MatchesKnownDigests) {
    const struct {
        std::string input;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sha256Hex(Bytes(c.input)), c.digest) << c.input.size() << " bytes";
    }
}

ReportBuffer DefaultRecord(std::uint8_t readerType = 0) {
    ReportBuffer record{};
    record[0] = kSettingsReportId;
    record[1] = 0x01;
    record[8] = readerType;
    ApplyDefaults(record);
    return record;
}

// The digest covers the settings (bytes 2 to 63) and nothing else: not the report ID, not the
// control byte, not the copy of byte 1 that a decode leaves at 64.
TEST(SettingsDigestTest, CoversExactlyBytesTwoToSixtyThree) {
    const ReportBuffer record = DefaultRecord();
    const std::string digest = SettingsDigest(record, 65);
    for (const std::size_t outside : {0u, 1u, 64u, 65u}) {
        ReportBuffer changed = record;
        changed[outside] ^= 0xFF;
        EXPECT_EQ(SettingsDigest(changed, 65), digest) << "byte " << outside;
    }
    for (const std::size_t inside : {2u, 8u, 63u}) {
        ReportBuffer changed = record;
        changed[inside] ^= 0xFF;
        EXPECT_NE(SettingsDigest(changed, 65), digest) << "byte " << inside;
    }
    EXPECT_EQ(digest,
              Sha256Hex(std::vector<std::uint8_t>(record.begin() + 2, record.begin() + 64)));
    // A shorter report: only the bytes it carries.
    ReportBuffer beyond = record;
    beyond[40] ^= 0xFF;
    EXPECT_EQ(SettingsDigest(beyond, 32), SettingsDigest(record, 32));
}

TEST(CsvTest, QuotesOnlyWhatNeedsIt) {
    const struct {
        std::string field;
        std::string written;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"Reader, \"Desk\" 2", "\"Reader, \"\"Desk\"\" 2\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {" padded", "\" padded\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CsvField(c.field), c.written) << c.field;
    }
    EXPECT_EQ(CsvRecord({"a", "b,c", ""}), "a,\"b,c\",\r\n");
}

TEST(ProfileCheckTest, NamesTheFieldsThatDifferInPlainWords) {
    ReportBuffer record = DefaultRecord();
    ReaderSettings settings;
    std::uint8_t type = 0;
    DecodeSettings(record, settings, type);
    settings.Suffix = 2;
    settings.AddType = true;
    settings.CharDelay = 0;
    settings.LfTags = {};
    EncodeSettings(settings, type, record);

    const auto profile = nlohmann::ordered_json::parse(
        R"({"CharDelay": 0, "Suffix": "Enter", "AddType": false, "LfTags": []})");
    const ProfileComparison comparison = CompareWithProfile(profile, record);
    ASSERT_EQ(comparison.differences.size(), 2u);
    EXPECT_EQ(comparison.differences[0].field, "Suffix");
    EXPECT_EQ(comparison.differences[0].reader, 2);
    EXPECT_EQ(comparison.differences[0].profile, 1);
    EXPECT_EQ(ComparisonText(comparison),
              "differs: Suffix Tab (profile Enter), AddType on (profile off)");

    EXPECT_TRUE(
        CompareWithProfile(nlohmann::ordered_json::parse(R"({"Suffix": 2})"), record).Matches());
    // Fields the profile does not name are not looked at.
    EXPECT_TRUE(CompareWithProfile(nlohmann::ordered_json::object(), record).Matches());
}

TEST(ProfileCheckTest, AnotherReaderTypeOrAFieldItDoesNotStoreIsNoMatch) {
    const ReportBuffer record = DefaultRecord(1);
    const ProfileComparison otherType =
        CompareWithProfile(nlohmann::ordered_json::parse(R"({"ReaderType": 0})"), record);
    EXPECT_EQ(ComparisonText(otherType), "differs: ReaderType 1 (profile 0)");

    const ProfileComparison notStored =
        CompareWithProfile(nlohmann::ordered_json::parse(R"({"LfTags": ["EM4102"]})"), record);
    EXPECT_FALSE(notStored.Matches());
    EXPECT_NE(notStored.error.find("LfTags"), std::string::npos) << notStored.error;
}

}  // namespace
}  // namespace zm880::inventory
