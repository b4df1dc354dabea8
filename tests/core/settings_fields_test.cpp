#include "reader/SettingsFields.h"

#include <gtest/gtest.h>

namespace zm880 {
namespace {

using json = nlohmann::ordered_json;

ReaderSettings Applied(std::vector<std::string> assignments, std::uint8_t readerType = 0,
                       ReaderSettings settings = {}) {
    const std::optional<std::string> refusal = ApplyAssignments(settings, assignments, readerType);
    EXPECT_FALSE(refusal.has_value()) << *refusal;
    return settings;
}

TEST(SettingsFieldsJson, KeysAreTheFieldNamesWithNativeValues) {
    ReaderSettings s;
    s.ReaderVersion = 7;
    s.Baud.reset();
    s.Suffix = 2;
    s.UsedAltKey = true;
    s.ReaderType = 4;
    s.LfTags[2] = true;
    s.LfTags[19] = true;
    s.HfTags[0] = true;
    s.Tags125[1] = true;

    const json j = SettingsToJson(s);
    const json expected = {
        {"ReaderVersion", 7},
        {"Baud", nullptr},
        {"Suffix", 2},
        {"AddType", false},
        {"UsedAltKey", true},
        {"CharDelay", 0},
        {"DoubleTimeout", 10},
        {"ReaderType", 4},
        {"ReaderTypeName", "ZM-880/Legic"},
        {"ByteMirror", false},
        {"BitMirror", false},
        {"Interface", 0},
        {"UserCmd", -1},
        {"LfTags", {"HITAG2", "DEISTER"}},
        {"HfTags", {"MIFARE"}},
        {"LegicReadData", false},
        {"MultiLegicSegment", 0},
        {"MultiLegicOffset", 0},
        {"MultiLegicCount", 1},
        {"LegicStartAddr", 1},
        {"LegicLength", 6},
        {"LegicSegment", 1},
        {"MaxLength", 99},
        {"Tags125", {"EM4x05 (FXDB)"}},
    };
    EXPECT_EQ(j, expected);

    s.ReaderType = 9;
    EXPECT_TRUE(SettingsToJson(s)["ReaderTypeName"].is_null());
    EXPECT_EQ(SettingsToJson(ReaderSettings{})["Tags125"], json::array());
}

TEST(SettingsFieldsAssign, AcceptsEachKindOfValue) {
    const ReaderSettings multi =
        Applied({"Baud=115200", "Suffix=tab", "Interface=1", "AddType=on", "UsedAltKey=TRUE",
                 "ByteMirror=1", "BitMirror=off", "CharDelay=2000", "UserCmd=off",
                 "lftags=em4102, HITAG2", "HfTags=NFCP2P", "MultiLegicCount=128"});
    EXPECT_EQ(multi.Baud, 115200);
    EXPECT_EQ(multi.Suffix, 2);
    EXPECT_EQ(multi.Interface, 1);
    EXPECT_TRUE(multi.AddType && multi.UsedAltKey && multi.ByteMirror);
    EXPECT_FALSE(multi.BitMirror);
    EXPECT_EQ(multi.CharDelay, 2000);
    EXPECT_EQ(multi.UserCmd, -1);
    EXPECT_EQ(SettingsToJson(multi)["LfTags"], json({"EM4102", "HITAG2"}));
    EXPECT_EQ(SettingsToJson(multi)["HfTags"], json({"NFCP2P"}));
    EXPECT_EQ(multi.MultiLegicCount, 128);

    // An empty list clears, and a later assignment wins.
    const ReaderSettings cleared = Applied({"LfTags=", "UserCmd=3", "UserCmd=9"}, 0, multi);
    EXPECT_EQ(cleared.LfTags, decltype(cleared.LfTags){});
    EXPECT_EQ(cleared.UserCmd, 9);

    const ReaderSettings legic = Applied({"LegicStartAddr=9999", "LegicSegment=0"}, 3);
    EXPECT_EQ(legic.LegicStartAddr, 9999);
    EXPECT_EQ(legic.LegicSegment, 0);

    const ReaderSettings single = Applied({"Tags125=EM4x05 (FXDB),Q5", "MaxLength=0"}, 2);
    EXPECT_EQ(single.Tags125, (std::array<bool, 7>{false, true, false, false, false, true, false}));
    EXPECT_EQ(single.MaxLength, 0);

    EXPECT_TRUE(Applied({"LegicReadData=true"}, 4).LegicReadData);
}

struct Refusal {
    std::uint8_t readerType;
    std::string assignment;
    std::string message;
};

TEST(SettingsFieldsAssign, RefusesWithTheAllowedValuesAndChangesNothing) {
    const Refusal cases[] = {
        {0, "CharDelay=2001", "CharDelay must be a whole number from 0 to 2000, not \"2001\""},
        {0, "DoubleTimeout=-1", "DoubleTimeout must be a whole number from 0 to 99, not \"-1\""},
        {0, "MultiLegicCount=0", "MultiLegicCount must be a whole number from 1 to 128, not \"0\""},
        {0, "MultiLegicOffset=1.5",
         "MultiLegicOffset must be a whole number from 0 to 255, not \"1.5\""},
        {0, "UserCmd=10",
         "UserCmd must be a whole number from -1 to 9 (-1 or off: no user command), not \"10\""},
        {0, "Baud=4800", "Baud must be one of 9600, 19200, 38400, 115200, not \"4800\""},
        {0, "Baud=", "Baud must be one of 9600, 19200, 38400, 115200, not \"\""},
        {0, "AddType=yes", "AddType must be true, false, 1, 0, on or off, not \"yes\""},
        {0, "Suffix=3", "Suffix must be 0 to 2 or one of None, Enter, Tab, not \"3\""},
        {0, "Interface=USB",
         "Interface must be 0 to 2 or one of USB-HID-Keyboard, USB-VCOM, RS-232, not \"USB\""},
        {0, "HfTags=MIFARE,FOO",
         "unknown HfTags caption \"FOO\"; captions: MIFARE, ISO14443B, ISO15693, LEGIC, "
         "HIDICLASS, FELICA, SRX, NFCP2P (empty for none)"},
        {0, "HfTags=MIFARE,,LEGIC",
         "unknown HfTags caption \"\"; captions: MIFARE, ISO14443B, ISO15693, LEGIC, HIDICLASS, "
         "FELICA, SRX, NFCP2P (empty for none)"},
        {0, "Colour=red",
         "unknown field \"Colour\"; fields: Baud, Suffix, AddType, UsedAltKey, CharDelay, "
         "DoubleTimeout, ByteMirror, BitMirror, Interface, UserCmd, LfTags, HfTags, "
         "LegicReadData, MultiLegicSegment, MultiLegicOffset, MultiLegicCount, LegicStartAddr, "
         "LegicLength, LegicSegment, MaxLength, Tags125"},
        {0, "Baud", "expected FIELD=VALUE, not \"Baud\""},
        {0, "ReaderVersion=5",
         "ReaderVersion is shown only: the reader reports it and writing the settings never "
         "changes it"},
        {0, "ReaderTypeName=Legic",
         "ReaderType is shown only: the reader reports it and writing the settings never "
         "changes it"},
        {0, "LegicStartAddr=5",
         "LegicStartAddr is not stored for reader type 0 (ZM-880), only for reader type 3"},
        {0, "LegicReadData=on",
         "LegicReadData is not stored for reader type 0 (ZM-880), only for reader type 4"},
        {3, "MaxLength=5",
         "MaxLength is not stored for reader type 3 (Legic), only for reader types 1, 2 and "
         "above 4"},
        {1, "LfTags=EM4102",
         "LfTags is not stored for reader type 1 (125/134kHz), only for reader types 0 and 4"},
        {9, "UserCmd=1",
         "UserCmd is not stored for reader type 9 (no name), only for reader types 0 and 4"},
    };
    for (const Refusal& c : cases) {
        ReaderSettings s;
        const std::optional<std::string> refusal =
            ApplyAssignments(s, {"Baud=19200", c.assignment}, c.readerType);
        EXPECT_EQ(refusal.value_or("(accepted)"), c.message) << c.assignment;
        EXPECT_EQ(s, ReaderSettings{}) << c.assignment;  // not even the valid first assignment
    }
}

TEST(SettingsFieldsText, ShowsTheFieldsOfTheReaderType) {
    ReaderSettings s;
    s.ReaderVersion = 5;
    s.ReaderType = 3;
    s.LegicStartAddr = 300;
    const std::string legic = SettingsToText(s);
    EXPECT_EQ(legic,
              "ReaderVersion       005\n"
              "Baud                9600\n"
              "Suffix              1 (Enter)\n"
              "AddType             off\n"
              "UsedAltKey          off\n"
              "CharDelay           0 ms\n"
              "DoubleTimeout       10 s\n"
              "ReaderType          3 (Legic)\n"
              "ByteMirror          off\n"
              "BitMirror           off\n"
              "Interface           0 (USB-HID-Keyboard)\n"
              "LegicStartAddr      300\n"
              "LegicLength         6\n"
              "LegicSegment        1\n");

    s.ReaderType = 4;
    s.ReaderVersion = 255;
    s.LfTags[0] = s.LfTags[1] = true;
    s.Baud.reset();
    const std::string multi = SettingsToText(s);
    for (const char* line : {"ReaderVersion       255\n", "Baud                none\n",
                             "ReaderType          4 (ZM-880/Legic)\n", "UserCmd             off\n",
                             "LfTags              EM4102,HITAG1S\n", "HfTags              none\n",
                             "LegicReadData       off\n", "MultiLegicCount     1\n"}) {
        EXPECT_NE(multi.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(multi.find("LegicStartAddr"), std::string::npos);
    EXPECT_EQ(multi.find("Tags125"), std::string::npos);
}

TEST(SettingsFieldsDiff, ListsChangedFieldsInOrder) {
    const ReaderSettings before;
    EXPECT_TRUE(DiffSettings(before, before).empty());

    ReaderSettings after = before;
    after.Baud = 19200;
    after.HfTags[3] = true;
    after.UserCmd = 2;
    after.MaxLength = 10;
    const std::vector<FieldChange> expected = {
        {"Baud", "9600", "19200"},
        {"UserCmd", "off", "2"},
        {"HfTags", "none", "LEGIC"},
        {"MaxLength", "99", "10"},
    };
    EXPECT_EQ(DiffSettings(before, after), expected);
}

}  // namespace
}  // namespace zm880
