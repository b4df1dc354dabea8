#include "reader/ReaderSettings.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

namespace zm880 {
namespace {

using ByteValues = std::vector<std::pair<std::size_t, std::uint8_t>>;

ReportBuffer Record(std::uint8_t readerType, const ByteValues& bytes = {}) {
    ReportBuffer buffer{};
    buffer[0] = kSettingsReportId;
    buffer[8] = readerType;
    for (const auto& [index, value] : bytes) {
        buffer[index] = value;
    }
    return buffer;
}

// Every byte a different value, so that a write to the wrong byte shows.
ReportBuffer PatternRecord(std::uint8_t readerType) {
    ReportBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(0xA5 ^ (i * 7));
    }
    buffer[0] = kSettingsReportId;
    buffer[8] = readerType;
    return buffer;
}

ReaderSettings Decoded(ReportBuffer& buffer, std::uint8_t& storedType) {
    ReaderSettings settings;
    EXPECT_TRUE(DecodeSettings(buffer, settings, storedType));
    return settings;
}

TEST(ReaderSettingsDecode, IgnoresBufferThatIsNotTheSettingsRecord) {
    ReportBuffer buffer = PatternRecord(3);
    buffer[0] = 5;
    const ReportBuffer before = buffer;
    ReaderSettings settings;
    std::uint8_t storedType = 4;

    EXPECT_FALSE(DecodeSettings(buffer, settings, storedType));
    EXPECT_EQ(settings, ReaderSettings{});
    EXPECT_EQ(storedType, 4);
    EXPECT_EQ(buffer, before);
}

TEST(ReaderSettingsDecode, MinimalRecordGivesLowestValuesAndCopiesControlByte) {
    ReportBuffer buffer = Record(0, {{1, 0x5A}});
    std::uint8_t storedType = 9;
    const ReaderSettings s = Decoded(buffer, storedType);

    EXPECT_EQ(buffer[64], 0x5A);
    EXPECT_EQ(storedType, 0);
    EXPECT_EQ(s.ReaderVersion, 0);
    EXPECT_EQ(s.Baud, 9600);
    EXPECT_EQ(s.Suffix, 0);
    EXPECT_FALSE(s.AddType || s.UsedAltKey || s.ByteMirror || s.BitMirror || s.LegicReadData);
    EXPECT_EQ(s.CharDelay, 0);
    EXPECT_EQ(s.DoubleTimeout, 0);
    EXPECT_EQ(s.Interface, 0);
    EXPECT_EQ(s.UserCmd, 0);  // 0 is a command number, not off
    EXPECT_EQ(s.MultiLegicSegment, 0);
    EXPECT_EQ(s.MultiLegicOffset, 0);
    EXPECT_EQ(s.MultiLegicCount, 1);
    EXPECT_EQ(s.LfTags, decltype(s.LfTags){});
    EXPECT_EQ(s.HfTags, decltype(s.HfTags){});
}

struct BaudCase {
    std::uint8_t byte;
    std::optional<int> rate;
    std::uint8_t encoded;
};

TEST(ReaderSettingsCodec, BaudByteBandsAndTheirEncoding) {
    const BaudCase cases[] = {
        {0x00, 9600, 8},    {0x08, 9600, 8},         {0x0F, 9600, 8},         {0x10, 19200, 16},
        {0x1F, 19200, 16},  {0x20, 38400, 32},       {0x2F, 38400, 32},       {0x30, 19200, 16},
        {0x3F, 19200, 16},  {0x40, 38400, 32},       {0x5F, 38400, 32},       {0x60, 115200, 96},
        {0x7F, 115200, 96}, {0x80, std::nullopt, 8}, {0xFF, std::nullopt, 8},
    };
    for (const BaudCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte 3 = " << int{c.byte});
        ReportBuffer buffer = Record(0, {{3, c.byte}});
        std::uint8_t type = 0;
        const ReaderSettings s = Decoded(buffer, type);
        EXPECT_EQ(s.Baud, c.rate);
        EncodeSettings(s, type, buffer);
        EXPECT_EQ(buffer[3], c.encoded);
    }
}

TEST(ReaderSettingsEncode, CharDelayRoundsHalvesToEven) {
    const std::pair<int, std::uint8_t> cases[] = {
        {0, 0},  {4, 0},  {5, 0},      {6, 1},      {14, 1},     {15, 2},
        {25, 2}, {35, 4}, {1985, 198}, {1995, 200}, {2000, 200},
    };
    for (const auto& [ms, byte] : cases) {
        ReaderSettings s;
        s.CharDelay = ms;
        ReportBuffer buffer{};
        EncodeSettings(s, 0, buffer);
        EXPECT_EQ(buffer[6], byte) << ms << " ms";
    }
}

// A record goes through decode and encode; the listed bytes must come back as given.
struct RoundTripCase {
    const char* what;
    std::uint8_t readerType;
    ByteValues in;
    ByteValues out;
};

TEST(ReaderSettingsCodec, OutOfRangeBytesComeBackAsShown) {
    const RoundTripCase cases[] = {
        {"char delay above 2000 ms", 0, {{6, 250}}, {{6, 200}}},
        {"double timeout above 99", 0, {{7, 200}}, {{7, 99}}},
        {"suffix 3 is Tab, bits 2-6 cleared", 0, {{4, 0xFF}}, {{4, 0x82}}},
        {"suffix Tab with tag type", 0, {{4, 0x83}}, {{4, 0x82}}},
        {"any non-zero on/off byte", 0, {{5, 7}, {9, 0x80}, {10, 2}}, {{5, 1}, {9, 1}, {10, 1}}},
        {"interface above 2", 0, {{11, 7}}, {{11, 2}}},
        {"user command above 9, multi", 4, {{24, 10}}, {{24, 255}}},
        {"user command above 9, 125 kHz", 1, {{24, 10}}, {{24, 10}}},
        {"Read Data bit on type 0", 0, {{25, 0x03}}, {{25, 0x02}}},
        {"Read Data bit on type 4", 4, {{25, 0x03}}, {{25, 0x03}}},
        {"multi Legic count 0", 0, {{14, 0}}, {{14, 1}}},
        {"multi Legic count above 128", 4, {{14, 200}}, {{14, 128}}},
        {"multi branch clears byte 15", 0, {{15, 0x7F}}, {{15, 0}}},
        {"LF bits 4-7 of byte 18", 0, {{18, 0xF5}}, {{18, 0x05}}},
        {"Legic address 10000", 3, {{12, 0x27}, {13, 0x10}}, {{12, 0x27}, {13, 0x0F}}},
        {"Legic address big-endian", 3, {{12, 0x12}, {13, 0x34}}, {{12, 0x12}, {13, 0x34}}},
        {"Legic segment above 99", 3, {{15, 127}}, {{15, 99}}},
        {"Legic length 0", 3, {{14, 0}}, {{14, 1}}},
        {"125 kHz bit 7", 1, {{15, 0x80}}, {{15, 0}}},
        {"125 kHz tags and length", 1, {{14, 120}, {15, 0x55}}, {{14, 99}, {15, 0x55}}},
        {"13,56 MHz uses the 125 kHz branch",
         2,
         {{12, 9}, {13, 9}, {14, 5}, {15, 0x03}},
         {{12, 0}, {13, 9}, {14, 5}, {15, 0x03}}},
        {"unnamed type uses the 125 kHz branch", 7, {{12, 9}, {15, 0x81}}, {{12, 0}, {15, 0x01}}},
    };
    for (const RoundTripCase& c : cases) {
        SCOPED_TRACE(c.what);
        ReportBuffer buffer = Record(c.readerType, c.in);
        std::uint8_t type = 0;
        const ReaderSettings s = Decoded(buffer, type);
        EncodeSettings(s, type, buffer);
        for (const auto& [index, value] : c.out) {
            EXPECT_EQ(buffer[index], value) << "byte " << index;
        }
    }
}

TEST(ReaderSettingsDecode, FieldsOfSpecialValues) {
    std::uint8_t type = 0;
    ReportBuffer record = Record(0, {{24, 255}, {25, 1}, {4, 0x83}});
    ReaderSettings s = Decoded(record, type);
    EXPECT_EQ(s.UserCmd, -1);
    EXPECT_FALSE(s.LegicReadData);
    EXPECT_EQ(s.Suffix, 2);
    EXPECT_TRUE(s.AddType);

    record = Record(4, {{25, 1}, {2, 7}});
    s = Decoded(record, type);
    EXPECT_TRUE(s.LegicReadData);
    EXPECT_EQ(s.ReaderVersion, 7);
    EXPECT_EQ(s.ReaderType, 4);

    // Single-technology types fill Legic and 125 kHz fields from the same bytes.
    record = Record(1, {{12, 0x27}, {13, 0x10}, {14, 150}, {15, 0x45}});
    s = Decoded(record, type);
    EXPECT_EQ(s.LegicStartAddr, 9999);
    EXPECT_EQ(s.LegicLength, 150);
    EXPECT_EQ(s.MaxLength, 99);
    EXPECT_EQ(s.LegicSegment, 69);
    EXPECT_EQ(s.Tags125, (std::array<bool, 7>{true, false, true, false, false, false, true}));
}

TEST(ReaderSettingsDecode, MultiTechnologyTagBitsFollowTheCaptionOrder) {
    ReportBuffer buffer = Record(0, {{16, 0x04}, {17, 0x80}, {18, 0xF8}, {19, 0xFF}, {20, 0x80}});
    std::uint8_t type = 0;
    const ReaderSettings s = Decoded(buffer, type);

    std::vector<std::string_view> lfOn;
    for (std::size_t i = 0; i < s.LfTags.size(); ++i) {
        if (s.LfTags[i]) {
            lfOn.push_back(kLfTagCaptions[i]);
        }
    }
    EXPECT_EQ(lfOn, (std::vector<std::string_view>{"HITAG2", "AWID", "DEISTER"}));
    EXPECT_EQ(s.HfTags,
              (std::array<bool, 8>{false, false, false, false, false, false, false, true}));
    EXPECT_EQ(kHfTagCaptions[7], "NFCP2P");
}

TEST(ReaderSettingsDecode, BranchNotTakenKeepsItsFields) {
    ReaderSettings s;
    s.LegicStartAddr = 1234;
    s.MaxLength = 42;
    s.Tags125[3] = true;
    std::uint8_t type = 0;
    ReportBuffer multi = Record(4, {{16, 0xFF}, {14, 50}});
    ASSERT_TRUE(DecodeSettings(multi, s, type));
    EXPECT_EQ(s.LegicStartAddr, 1234);
    EXPECT_EQ(s.MaxLength, 42);
    EXPECT_TRUE(s.Tags125[3]);

    ReportBuffer legic = Record(3, {{16, 0}, {24, 3}, {12, 0}, {13, 0}, {14, 0}});
    ASSERT_TRUE(DecodeSettings(legic, s, type));
    EXPECT_TRUE(s.LfTags[0]);
    EXPECT_EQ(s.MultiLegicCount, 50);
    EXPECT_EQ(s.LegicLength, 1);
    EXPECT_EQ(s.UserCmd, 3);  // the user command decodes for every type
}

class ReaderSettingsUntouched : public testing::TestWithParam<std::uint8_t> {};

TEST_P(ReaderSettingsUntouched, EncodeLeavesBytesItDoesNotOwn) {
    const std::uint8_t readerType = GetParam();
    const ReportBuffer original = PatternRecord(readerType);
    ReportBuffer buffer = original;
    std::uint8_t type = 0;
    const ReaderSettings s = Decoded(buffer, type);
    EncodeSettings(s, type, buffer);

    std::vector<std::size_t> untouched = {0, 2, 8, 19, 21, 22, 23};
    for (std::size_t i = 26; i < 64; ++i) {
        untouched.push_back(i);
    }
    if (!IsMultiTechnologyType(readerType)) {
        for (std::size_t i : {16, 17, 18, 20, 24, 25}) {
            untouched.push_back(i);
        }
    }
    if (!IsMultiTechnologyType(readerType) && readerType != kLegicReaderType) {
        untouched.push_back(13);
    }
    for (const std::size_t i : untouched) {
        EXPECT_EQ(buffer[i], original[i]) << "byte " << i;
    }
    EXPECT_EQ(buffer[1], 1);
    EXPECT_EQ(buffer[64], original[1]);
    EXPECT_EQ(buffer[65], original[65]);
}

INSTANTIATE_TEST_SUITE_P(EveryBranch, ReaderSettingsUntouched,
                         testing::Values<std::uint8_t>(0, 1, 2, 3, 4, 7, 255));

TEST(ReaderSettingsEncode, BranchFollowsStoredTypeNotByte8) {
    ReportBuffer buffer = Record(3, {{12, 0x01}, {13, 0x02}, {16, 0xAA}, {24, 0x07}});
    std::uint8_t type = 0;
    ReaderSettings s = Decoded(buffer, type);
    s.LegicStartAddr = 0x0304;
    buffer[8] = 0;  // a raw transfer may change byte 8 after the decode
    EncodeSettings(s, type, buffer);

    EXPECT_EQ(buffer[12], 0x03);
    EXPECT_EQ(buffer[13], 0x04);
    EXPECT_EQ(buffer[16], 0xAA);
    EXPECT_EQ(buffer[24], 0x07);
    EXPECT_EQ(buffer[8], 0);
}

TEST(ReaderSettingsEncode, BeforeAnyDecodeWritesInitialFieldsByTypeZero) {
    ReportBuffer buffer{};
    EncodeSettings(ReaderSettings{}, 0, buffer);
    const std::vector<std::uint8_t> expected = {1, 0, 8, 1, 0, 0, 10, 0, 0, 0, 0,   0, 0,
                                                1, 0, 0, 0, 0, 0, 0,  0, 0, 0, 255, 0};
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin() + 1, buffer.begin() + 26), expected);
    EXPECT_EQ(buffer[0], 0);
}

TEST(ReaderSettingsEncode, FieldsOutsideTheirRangeAreHeldToIt) {
    ReaderSettings s;
    s.Baud = 1234;
    s.CharDelay = 5000;
    s.DoubleTimeout = -3;
    s.UserCmd = 42;
    s.Suffix = 9;
    s.MaxLength = 500;
    ReportBuffer buffer{};
    EncodeSettings(s, 0, buffer);
    EXPECT_EQ(buffer[3], 8);
    EXPECT_EQ(buffer[4], 2);
    EXPECT_EQ(buffer[6], 200);
    EXPECT_EQ(buffer[7], 0);
    EXPECT_EQ(buffer[24], 255);
    EncodeSettings(s, 1, buffer);
    EXPECT_EQ(buffer[14], 99);
}

TEST(ReaderSettingsDefaults, WritesBytes3To25Only) {
    ReportBuffer buffer = PatternRecord(0);
    const ReportBuffer original = buffer;
    ApplyDefaults(buffer);
    for (std::size_t i : {0, 1, 2, 8}) {
        EXPECT_EQ(buffer[i], original[i]) << "byte " << i;
    }
    for (std::size_t i = 26; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], original[i]) << "byte " << i;
    }
    const std::vector<std::uint8_t> defaults = {
        8, 1, 0, 0, 5, 0, 0, 0, 0, 5, 2, 127, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0};
    std::vector<std::uint8_t> written(buffer.begin() + 3, buffer.begin() + 26);
    written.erase(written.begin() + 5);  // byte 8
    EXPECT_EQ(written, defaults);
}

TEST(ReaderSettingsDefaults, DecodeAndEncodeByReaderType) {
    ReportBuffer buffer = Record(0);
    ApplyDefaults(buffer);
    std::uint8_t type = 0;
    ReaderSettings s = Decoded(buffer, type);
    EXPECT_EQ(s.MultiLegicSegment, 0);
    EXPECT_EQ(s.MultiLegicOffset, 5);
    EXPECT_EQ(s.MultiLegicCount, 2);
    EXPECT_EQ(s.DoubleTimeout, 5);
    EXPECT_EQ(s.UserCmd, -1);
    for (const bool on : s.LfTags) {
        EXPECT_TRUE(on);
    }
    for (const bool on : s.HfTags) {
        EXPECT_TRUE(on);
    }
    EncodeSettings(s, type, buffer);
    EXPECT_EQ(buffer[15], 0);
    EXPECT_EQ(buffer[18], 0x0F);
    for (std::size_t i : {19, 21, 22, 23}) {
        EXPECT_EQ(buffer[i], 255) << "byte " << i;
    }

    ReportBuffer legic = Record(3);
    ApplyDefaults(legic);
    s = Decoded(legic, type);
    EXPECT_EQ(s.LegicStartAddr, 5);
    EXPECT_EQ(s.LegicLength, 2);
    EXPECT_EQ(s.LegicSegment, 99);
}

TEST(ReaderSettings, DeviceTypeNames) {
    const std::pair<int, std::optional<std::string_view>> cases[] = {
        {0, "ZM-880"},       {1, "125/134kHz"}, {2, "13,56MHz"},    {3, "Legic"},
        {4, "ZM-880/Legic"}, {5, std::nullopt}, {-1, std::nullopt}, {255, std::nullopt},
    };
    for (const auto& [type, name] : cases) {
        EXPECT_EQ(DeviceTypeName(type), name) << type;
    }
}

}  // namespace
}  // namespace zm880
