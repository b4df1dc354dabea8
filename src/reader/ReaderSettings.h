#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "reader/ReportBuffer.h"

namespace zm880 {

// The settings record is feature report 3.
inline constexpr std::uint8_t kSettingsReportId = 3;

inline constexpr std::array<int, 4> kBaudRates = {9600, 19200, 38400, 115200};
inline constexpr std::array<std::string_view, 3> kSuffixNames = {"None", "Enter", "Tab"};
inline constexpr std::array<std::string_view, 3> kInterfaceNames = {"USB-HID-Keyboard", "USB-VCOM",
                                                                    "RS-232"};
inline constexpr std::array<std::string_view, 5> kDeviceTypeNames = {
    "ZM-880", "125/134kHz", "13,56MHz", "Legic", "ZM-880/Legic"};

// Multi-technology tags in bit order: bytes 16 and 17 (eight each), byte 18 (four) for LF,
// byte 20 for HF. The control of each is "cb" + caption.
inline constexpr std::array<std::string_view, 20> kLfTagCaptions = {
    "EM4102",   "HITAG1S", "HITAG2",  "EM4150",  "AT5555", "ISOFDX", "EM4026",
    "HITAGU",   "EM4305",  "HIDPROX", "TIRIS",   "COTAG",  "IOPROX", "INDITAG",
    "HONEYTAG", "AWID",    "GPROX",   "PYRAMID", "KERI",   "DEISTER"};
inline constexpr std::array<std::string_view, 8> kHfTagCaptions = {
    "MIFARE", "ISO14443B", "ISO15693", "LEGIC", "HIDICLASS", "FELICA", "SRX", "NFCP2P"};
// 125 kHz tags of byte 15, bit i has the value 1 << i (the check box's tag number).
inline constexpr std::array<std::string_view, 7> kTag125Captions = {
    "EM4x02", "EM4x05 (FXDB)", "EM4x50", "HITAG1/S", "HITAG2", "Q5", "TIRIS"};

// Ranges of the numeric fields; a value from outside is held to the nearest bound.
struct FieldRange {
    int min;
    int max;
};
inline constexpr FieldRange kReaderVersionRange{0, 255};
inline constexpr FieldRange kSuffixRange{0, 2};
inline constexpr FieldRange kCharDelayRange{0, 2000};  // ms, stored in 10 ms units
inline constexpr FieldRange kDoubleTimeoutRange{0, 99};
inline constexpr FieldRange kInterfaceRange{0, 2};
inline constexpr FieldRange kUserCmdRange{-1, 9};  // -1 is off
inline constexpr FieldRange kMultiLegicSegmentRange{0, 255};
inline constexpr FieldRange kMultiLegicOffsetRange{0, 255};
inline constexpr FieldRange kMultiLegicCountRange{1, 128};
inline constexpr FieldRange kLegicStartAddrRange{0, 9999};
inline constexpr FieldRange kLegicLengthRange{1, 200};
inline constexpr FieldRange kLegicSegmentRange{0, 99};
inline constexpr FieldRange kMaxLengthRange{0, 99};

// Reader types 0 and 4 carry the multi-technology tag lists, user command and Legic data fields;
// type 3 the Legic fields; every other type the maximum length and the 125 kHz tags.
inline constexpr bool IsMultiTechnologyType(int readerType) {
    return readerType == 0 || readerType == 4;
}
inline constexpr int kLegicReaderType = 3;
inline constexpr int kMultiLegicReaderType = 4;

// The decoded settings record, every field at its value before the first decode.
struct ReaderSettings {
    int ReaderVersion = 0;
    std::optional<int> Baud = 9600;  // one of kBaudRates, or no selection
    int Suffix = 1;                  // index into kSuffixNames
    bool AddType = false;
    bool UsedAltKey = false;
    int CharDelay = 0;       // ms, 0..2000
    int DoubleTimeout = 10;  // s, 0..99
    int ReaderType = 0;      // shown only; the encode uses the stored reader type
    bool ByteMirror = false;
    bool BitMirror = false;
    int Interface = 0;  // index into kInterfaceNames
    int UserCmd = -1;   // -1 off, 0..9
    std::array<bool, 20> LfTags{};
    std::array<bool, 8> HfTags{};
    bool LegicReadData = false;
    int MultiLegicSegment = 0;  // 0..255
    int MultiLegicOffset = 0;   // 0..255
    int MultiLegicCount = 1;    // 1..128
    int LegicStartAddr = 1;     // 0..9999
    int LegicLength = 6;        // 1..200
    int LegicSegment = 1;       // 0..99
    int MaxLength = 99;         // 0..99
    std::array<bool, 7> Tags125{};

    bool operator==(const ReaderSettings&) const = default;
};

// Decodes the record in `buffer` into `settings` and `storedReaderType`. Does nothing and returns
// false unless byte 0 is 3; otherwise copies byte 1 to byte 64 (its only change to the buffer).
// Fields of the branch that the reader type does not take keep their values.
bool DecodeSettings(ReportBuffer& buffer, ReaderSettings& settings, std::uint8_t& storedReaderType);

// Writes `settings` into `buffer` in place by the branch of `storedReaderType`, never byte 8;
// bytes the record does not interpret stay as they are. A field outside its range is written at
// the nearest bound, a Baud that is not one of kBaudRates as no selection (9600), so that no
// value can spill into a neighbouring bit or byte.
void EncodeSettings(const ReaderSettings& settings, std::uint8_t storedReaderType,
                    ReportBuffer& buffer);

// Bits of one record byte.
struct ByteBits {
    std::size_t byte = 0;
    std::uint8_t mask = 0;

    bool operator==(const ByteBits&) const = default;
};

// The bits that EncodeSettings with `storedReaderType` writes for the field of that ReaderSettings
// member name (LfTags, HfTags and Tags125 for the tag lists); empty for a field that the type
// does not store or that is shown only. Lets a caller set some fields and keep every other bit.
std::vector<ByteBits> EncodedFieldBits(std::string_view field, std::uint8_t storedReaderType);

// Writes the default record into bytes 3 to 25 and nothing else.
void ApplyDefaults(ReportBuffer& buffer);

// Name of reader types 0 to 4; no name for any other value.
std::optional<std::string_view> DeviceTypeName(int readerType);

}  // namespace zm880
