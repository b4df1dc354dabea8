#include "reader/ReaderSettings.h"

#include <algorithm>

namespace zm880 {

namespace {

// Record byte offsets.
constexpr std::size_t kControlByte = 1;
constexpr std::size_t kVersionByte = 2;
constexpr std::size_t kBaudByte = 3;
constexpr std::size_t kSuffixByte = 4;
constexpr std::size_t kAltKeyByte = 5;
constexpr std::size_t kCharDelayByte = 6;
constexpr std::size_t kDoubleTimeoutByte = 7;
constexpr std::size_t kReaderTypeByte = 8;
constexpr std::size_t kByteMirrorByte = 9;
constexpr std::size_t kBitMirrorByte = 10;
constexpr std::size_t kInterfaceByte = 11;
constexpr std::size_t kTypeByte12 = 12;
constexpr std::size_t kTypeByte13 = 13;
constexpr std::size_t kTypeByte14 = 14;
constexpr std::size_t kTypeByte15 = 15;
constexpr std::size_t kLfTagBytes = 16;  // 16, 17 and the low half of 18
constexpr std::size_t kHfTagByte = 20;
constexpr std::size_t kUserCmdByte = 24;
constexpr std::size_t kLegicReadDataByte = 25;
constexpr std::size_t kControlByteCopy = 64;

constexpr std::uint8_t kAddTypeBit = 0x80;
constexpr std::uint8_t kSuffixMask = 0x03;
constexpr std::uint8_t kUserCmdOff = 255;
constexpr int kBaudDivisor = 1200;
constexpr int kCharDelayUnitMs = 10;

constexpr std::uint8_t Byte(int value) {
    return static_cast<std::uint8_t>(value & 0xFF);
}

int Clamp(int value, FieldRange range) {
    return std::clamp(value, range.min, range.max);
}

bool Bit(std::uint8_t byte, std::size_t bit) {
    return ((byte >> bit) & 1U) != 0;
}

// A baud byte maps to a rate in coarse bands so that a reader's odd values still show a rate.
std::optional<int> DecodeBaud(std::uint8_t byte) {
    std::size_t index = byte >> 3;
    if (index > 0) {
        index /= 2;
    }
    if (index > 2) {
        index /= 2;
    }
    if (index >= kBaudRates.size()) {
        return std::nullopt;
    }
    return kBaudRates[index];
}

std::uint8_t EncodeBaud(const std::optional<int>& baud) {
    const bool known = baud.has_value() &&
                       std::find(kBaudRates.begin(), kBaudRates.end(), *baud) != kBaudRates.end();
    return Byte((known ? *baud : kBaudRates[0]) / kBaudDivisor);
}

// Milliseconds to 10 ms units, an exact half going to the even neighbour.
std::uint8_t EncodeCharDelay(int milliseconds) {
    const int ms = Clamp(milliseconds, kCharDelayRange);
    int units = ms / kCharDelayUnitMs;
    const int rest = ms % kCharDelayUnitMs;
    if (rest * 2 > kCharDelayUnitMs || (rest * 2 == kCharDelayUnitMs && units % 2 == 1)) {
        ++units;
    }
    return Byte(units);
}

void DecodeMultiTechnology(const ReportBuffer& buffer, std::uint8_t readerType,
                           ReaderSettings& settings) {
    for (std::size_t i = 0; i < settings.LfTags.size(); ++i) {
        settings.LfTags[i] = Bit(buffer[kLfTagBytes + i / 8], i % 8);
    }
    for (std::size_t i = 0; i < settings.HfTags.size(); ++i) {
        settings.HfTags[i] = Bit(buffer[kHfTagByte], i);
    }
    settings.LegicReadData =
        Bit(buffer[kLegicReadDataByte], 0) && readerType == kMultiLegicReaderType;
    settings.MultiLegicSegment = buffer[kTypeByte12];
    settings.MultiLegicOffset = buffer[kTypeByte13];
    settings.MultiLegicCount = Clamp(buffer[kTypeByte14], kMultiLegicCountRange);
}

// Every other type fills the Legic and the 125 kHz fields from the same bytes.
void DecodeSingleTechnology(const ReportBuffer& buffer, ReaderSettings& settings) {
    settings.LegicStartAddr =
        Clamp(buffer[kTypeByte12] * 256 + buffer[kTypeByte13], kLegicStartAddrRange);
    settings.LegicLength = Clamp(buffer[kTypeByte14], kLegicLengthRange);
    settings.LegicSegment = Clamp(buffer[kTypeByte15], kLegicSegmentRange);
    settings.MaxLength = Clamp(buffer[kTypeByte14], kMaxLengthRange);
    for (std::size_t i = 0; i < settings.Tags125.size(); ++i) {
        settings.Tags125[i] = Bit(buffer[kTypeByte15], i);
    }
}

template <std::size_t N>
std::uint8_t PackFlags(const std::array<bool, N>& flags, std::size_t first, std::size_t count) {
    std::uint8_t byte = 0;
    for (std::size_t bit = 0; bit < count && first + bit < N; ++bit) {
        if (flags[first + bit]) {
            byte = static_cast<std::uint8_t>(byte | (1U << bit));
        }
    }
    return byte;
}

void EncodeMultiTechnology(const ReaderSettings& settings, ReportBuffer& buffer) {
    buffer[kTypeByte15] = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        buffer[kLfTagBytes + i] = PackFlags(settings.LfTags, i * 8, 8);
    }
    buffer[kHfTagByte] = PackFlags(settings.HfTags, 0, 8);
    const bool userCmdOn = settings.UserCmd >= 0 && settings.UserCmd <= kUserCmdRange.max;
    buffer[kUserCmdByte] = userCmdOn ? Byte(settings.UserCmd) : kUserCmdOff;
    buffer[kLegicReadDataByte] = static_cast<std::uint8_t>((buffer[kLegicReadDataByte] & 0xFE) |
                                                           (settings.LegicReadData ? 1 : 0));
    buffer[kTypeByte12] = Byte(Clamp(settings.MultiLegicSegment, kMultiLegicSegmentRange));
    buffer[kTypeByte13] = Byte(Clamp(settings.MultiLegicOffset, kMultiLegicOffsetRange));
    buffer[kTypeByte14] = Byte(Clamp(settings.MultiLegicCount, kMultiLegicCountRange));
}

void EncodeLegic(const ReaderSettings& settings, ReportBuffer& buffer) {
    const int address = Clamp(settings.LegicStartAddr, kLegicStartAddrRange);
    buffer[kTypeByte12] = Byte(address / 256);
    buffer[kTypeByte13] = Byte(address % 256);
    buffer[kTypeByte14] = Byte(Clamp(settings.LegicLength, kLegicLengthRange));
    buffer[kTypeByte15] = Byte(Clamp(settings.LegicSegment, kLegicSegmentRange));
}

void Encode125kHz(const ReaderSettings& settings, ReportBuffer& buffer) {
    buffer[kTypeByte14] = Byte(Clamp(settings.MaxLength, kMaxLengthRange));
    buffer[kTypeByte15] = PackFlags(settings.Tags125, 0, settings.Tags125.size());
    buffer[kTypeByte12] = 0;
}

}  // namespace

bool DecodeSettings(ReportBuffer& buffer, ReaderSettings& settings,
                    std::uint8_t& storedReaderType) {
    if (buffer[0] != kSettingsReportId) {
        return false;
    }
    buffer[kControlByteCopy] = buffer[kControlByte];
    settings.ReaderVersion = buffer[kVersionByte];
    settings.Baud = DecodeBaud(buffer[kBaudByte]);
    settings.Suffix = Clamp(buffer[kSuffixByte] & kSuffixMask, kSuffixRange);
    settings.AddType = (buffer[kSuffixByte] & kAddTypeBit) != 0;
    settings.UsedAltKey = buffer[kAltKeyByte] != 0;
    settings.CharDelay = Clamp(buffer[kCharDelayByte] * kCharDelayUnitMs, kCharDelayRange);
    settings.DoubleTimeout = Clamp(buffer[kDoubleTimeoutByte], kDoubleTimeoutRange);
    storedReaderType = buffer[kReaderTypeByte];
    settings.ReaderType = storedReaderType;
    settings.ByteMirror = buffer[kByteMirrorByte] != 0;
    settings.BitMirror = buffer[kBitMirrorByte] != 0;
    settings.Interface = Clamp(buffer[kInterfaceByte], kInterfaceRange);
    settings.UserCmd = buffer[kUserCmdByte] <= kUserCmdRange.max ? buffer[kUserCmdByte] : -1;
    if (IsMultiTechnologyType(storedReaderType)) {
        DecodeMultiTechnology(buffer, storedReaderType, settings);
    } else {
        DecodeSingleTechnology(buffer, settings);
    }
    return true;
}

void EncodeSettings(const ReaderSettings& settings, std::uint8_t storedReaderType,
                    ReportBuffer& buffer) {
    buffer[kControlByte] = 1;
    buffer[kBaudByte] = EncodeBaud(settings.Baud);
    buffer[kSuffixByte] = static_cast<std::uint8_t>(Clamp(settings.Suffix, kSuffixRange) |
                                                    (settings.AddType ? kAddTypeBit : 0));
    buffer[kAltKeyByte] = settings.UsedAltKey ? 1 : 0;
    buffer[kCharDelayByte] = EncodeCharDelay(settings.CharDelay);
    buffer[kDoubleTimeoutByte] = Byte(Clamp(settings.DoubleTimeout, kDoubleTimeoutRange));
    buffer[kByteMirrorByte] = settings.ByteMirror ? 1 : 0;
    buffer[kBitMirrorByte] = settings.BitMirror ? 1 : 0;
    buffer[kInterfaceByte] = Byte(Clamp(settings.Interface, kInterfaceRange));
    if (storedReaderType == kLegicReaderType) {
        EncodeLegic(settings, buffer);
    } else if (IsMultiTechnologyType(storedReaderType)) {
        EncodeMultiTechnology(settings, buffer);
    } else {
        Encode125kHz(settings, buffer);
    }
}

std::vector<ByteBits> EncodedFieldBits(std::string_view field, std::uint8_t storedReaderType) {
    constexpr std::uint8_t kAll = 0xFF;
    struct Common {
        std::string_view name;
        ByteBits bits;
    };
    // The suffix byte's bits 0 to 6 are the suffix's (the encode writes 2 to 6 as 0).
    static constexpr std::array<Common, 9> kCommon = {{
        {"Baud", {kBaudByte, kAll}},
        {"Suffix", {kSuffixByte, static_cast<std::uint8_t>(~kAddTypeBit)}},
        {"AddType", {kSuffixByte, kAddTypeBit}},
        {"UsedAltKey", {kAltKeyByte, kAll}},
        {"CharDelay", {kCharDelayByte, kAll}},
        {"DoubleTimeout", {kDoubleTimeoutByte, kAll}},
        {"ByteMirror", {kByteMirrorByte, kAll}},
        {"BitMirror", {kBitMirrorByte, kAll}},
        {"Interface", {kInterfaceByte, kAll}},
    }};
    for (const Common& common : kCommon) {
        if (common.name == field) {
            return {common.bits};
        }
    }
    if (IsMultiTechnologyType(storedReaderType)) {
        if (field == "UserCmd") {
            return {{kUserCmdByte, kAll}};
        }
        if (field == "LfTags") {
            return {{kLfTagBytes, kAll}, {kLfTagBytes + 1, kAll}, {kLfTagBytes + 2, kAll}};
        }
        if (field == "HfTags") {
            return {{kHfTagByte, kAll}};
        }
        if (field == "LegicReadData" && storedReaderType == kMultiLegicReaderType) {
            return {{kLegicReadDataByte, 0x01}};
        }
        if (field == "MultiLegicSegment") {
            return {{kTypeByte12, kAll}};
        }
        if (field == "MultiLegicOffset") {
            return {{kTypeByte13, kAll}};
        }
        if (field == "MultiLegicCount") {
            return {{kTypeByte14, kAll}};
        }
        return {};
    }
    if (storedReaderType == kLegicReaderType) {
        if (field == "LegicStartAddr") {
            return {{kTypeByte12, kAll}, {kTypeByte13, kAll}};
        }
        if (field == "LegicLength") {
            return {{kTypeByte14, kAll}};
        }
        if (field == "LegicSegment") {
            return {{kTypeByte15, kAll}};
        }
        return {};
    }
    if (field == "MaxLength") {
        return {{kTypeByte14, kAll}};
    }
    if (field == "Tags125") {
        return {{kTypeByte15, kAll}};
    }
    return {};
}

void ApplyDefaults(ReportBuffer& buffer) {
    // Byte 8, the reader type, lies between the two runs and keeps its value.
    static constexpr std::array<std::uint8_t, 5> kBytes3To7 = {
        8,  // 9600 baud
        1,  // suffix Enter, no tag type prefix
        0,  // Alt key off
        0,  // no character delay
        5,  // double timeout 5 s
    };
    static constexpr std::array<std::uint8_t, 17> kBytes9To25 = {
        0,   0,   0,                             // mirrors off, USB-HID-Keyboard
        0,   5,   2,   127,                      // bytes 12 to 15
        255, 255, 255, 255, 255, 255, 255, 255,  // every tag on, 19 and 21 to 23 as well
        255,                                     // user command off
        0,                                       // Read Data off
    };
    std::copy(kBytes3To7.begin(), kBytes3To7.end(), buffer.begin() + kBaudByte);
    std::copy(kBytes9To25.begin(), kBytes9To25.end(), buffer.begin() + kByteMirrorByte);
}

std::optional<std::string_view> DeviceTypeName(int readerType) {
    if (readerType < 0 || readerType >= static_cast<int>(kDeviceTypeNames.size())) {
        return std::nullopt;
    }
    return kDeviceTypeNames[static_cast<std::size_t>(readerType)];
}

}  // namespace zm880
