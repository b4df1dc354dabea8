#include "hid/ReportDescriptor.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <vector>

namespace zm880::hid {
namespace {

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

namespace main_tag {
constexpr std::uint8_t Input = 0x8;
constexpr std::uint8_t Output = 0x9;
constexpr std::uint8_t Collection = 0xA;
constexpr std::uint8_t Feature = 0xB;
constexpr std::uint8_t EndCollection = 0xC;
}  // namespace main_tag

// Usage page, logical/physical extents, unit exponent and unit are global items too, but they do
// not change how many bits a report holds, so only these are tracked.
namespace global_tag {
constexpr std::uint8_t ReportSize = 0x7;
constexpr std::uint8_t ReportId = 0x8;
constexpr std::uint8_t ReportCount = 0x9;
constexpr std::uint8_t Push = 0xA;
constexpr std::uint8_t Pop = 0xB;
}  // namespace global_tag

constexpr std::uint8_t kLongItemPrefix = 0xFE;

// A report longer than this cannot be described by the 16-bit lengths (report ID byte included).
constexpr std::uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

enum Kind : std::size_t { InputKind = 0, OutputKind = 1, FeatureKind = 2, KindCount = 3 };

// Bits per report ID for each kind. A kind that no main item declares has no reports; one
// declared only with empty fields still has reports that carry their report ID byte alone.
class ReportSizes {
  public:
    bool Add(Kind kind, std::uint8_t reportId, std::uint64_t bits) {
        declared_[kind] = true;
        declaredIds_[kind].set(reportId);
        std::uint64_t& total = bits_[kind][reportId];
        if (bits > kMaxReportBits - total) {
            return false;
        }
        total += bits;
        return true;
    }

    std::uint16_t ByteLength(Kind kind) const {
        std::uint64_t longest = 0;
        for (std::uint64_t bits : bits_[kind]) {
            if (bits > longest) {
                longest = bits;
            }
        }
        if (!declared_[kind]) {
            return 0;
        }
        return ToByteLength(longest);
    }

    FeatureLengths EachFeatureReport() const {
        FeatureLengths lengths;
        for (std::size_t id = 0; id < declaredIds_[FeatureKind].size(); ++id) {
            if (declaredIds_[FeatureKind].test(id)) {
                lengths[static_cast<std::uint8_t>(id)] = ToByteLength(bits_[FeatureKind][id]);
            }
        }
        return lengths;
    }

  private:
    static std::uint16_t ToByteLength(std::uint64_t bits) {
        return static_cast<std::uint16_t>((bits + 7) / 8 + 1);
    }

    std::array<std::array<std::uint64_t, 256>, KindCount> bits_{};
    std::array<bool, KindCount> declared_{};
    std::array<std::bitset<256>, KindCount> declaredIds_{};
};

std::uint32_t LittleEndianValue(std::span<const std::uint8_t> data) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    }
    return value;
}

class Parser {
  public:
    // Walks the whole descriptor; false when it cannot be parsed.
    bool Run(std::span<const std::uint8_t> descriptor) {
        std::size_t pos = 0;
        while (pos < descriptor.size()) {
            const std::uint8_t prefix = descriptor[pos];
            if (prefix == kLongItemPrefix) {
                // Long items carry no report layout; skip them whole.
                if (descriptor.size() - pos < 3) {
                    return false;
                }
                const std::size_t dataSize = descriptor[pos + 1];
                if (descriptor.size() - pos - 3 < dataSize) {
                    return false;
                }
                pos += 3 + dataSize;
                continue;
            }
            const std::size_t sizeCode = prefix & 0x3u;
            const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
            if (descriptor.size() - pos - 1 < dataSize) {
                return false;
            }
            const auto type = static_cast<ItemType>((prefix >> 2) & 0x3u);
            const auto tag = static_cast<std::uint8_t>(prefix >> 4);
            const std::uint32_t value = LittleEndianValue(descriptor.subspan(pos + 1, dataSize));
            pos += 1 + dataSize;
            if (!Apply(type, tag, value)) {
                return false;
            }
        }
        return openCollections_ == 0;
    }

    Caps ResultCaps() const {
        Caps caps;
        caps.InputReportByteLength = sizes_.ByteLength(InputKind);
        caps.OutputReportByteLength = sizes_.ByteLength(OutputKind);
        caps.FeatureReportByteLength = sizes_.ByteLength(FeatureKind);
        return caps;
    }

    FeatureLengths ResultFeatureLengths() const { return sizes_.EachFeatureReport(); }

  private:
    bool Apply(ItemType type, std::uint8_t tag, std::uint32_t value) {
        switch (type) {
            case ItemType::Main:
                return ApplyMain(tag);
            case ItemType::Global:
                return ApplyGlobal(tag, value);
            case ItemType::Local:
            case ItemType::Reserved:
                // Usages, designators and strings name fields but do not size them.
                return true;
        }
        return true;
    }

    bool ApplyMain(std::uint8_t tag) {
        const std::uint64_t bits =
            static_cast<std::uint64_t>(state_.reportSize) * state_.reportCount;
        switch (tag) {
            case main_tag::Input:
                return sizes_.Add(InputKind, state_.reportId, bits);
            case main_tag::Output:
                return sizes_.Add(OutputKind, state_.reportId, bits);
            case main_tag::Feature:
                return sizes_.Add(FeatureKind, state_.reportId, bits);
            case main_tag::Collection:
                ++openCollections_;
                return true;
            case main_tag::EndCollection:
                if (openCollections_ == 0) {
                    return false;
                }
                --openCollections_;
                return true;
            default:
                return true;
        }
    }

    bool ApplyGlobal(std::uint8_t tag, std::uint32_t value) {
        switch (tag) {
            case global_tag::ReportSize:
                state_.reportSize = value;
                return true;
            case global_tag::ReportCount:
                state_.reportCount = value;
                return true;
            case global_tag::ReportId:
                // ID 0 is reserved for "no report IDs"; IDs are one byte on the wire.
                if (value == 0 || value > 0xFF) {
                    return false;
                }
                state_.reportId = static_cast<std::uint8_t>(value);
                return true;
            case global_tag::Push:
                stack_.push_back(state_);
                return true;
            case global_tag::Pop:
                if (stack_.empty()) {
                    return false;
                }
                state_ = stack_.back();
                stack_.pop_back();
                return true;
            default:
                return true;
        }
    }

    GlobalState state_;
    std::vector<GlobalState> stack_;
    std::size_t openCollections_ = 0;
    ReportSizes sizes_;
};

}  // namespace

std::optional<Caps> ComputeCaps(std::span<const std::uint8_t> descriptor) {
    Parser parser;
    if (!parser.Run(descriptor)) {
        return std::nullopt;
    }
    return parser.ResultCaps();
}

std::optional<FeatureLengths> ComputeFeatureLengths(std::span<const std::uint8_t> descriptor) {
    Parser parser;
    if (!parser.Run(descriptor)) {
        return std::nullopt;
    }
    return parser.ResultFeatureLengths();
}

}  // namespace zm880::hid
