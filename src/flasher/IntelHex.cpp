#include "flasher/IntelHex.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

namespace zm880::flasher {

namespace {

// Record layout: ':' count(2) address(4) type(2) data(2 per byte) checksum(2).
constexpr std::size_t kCountColumn = 1;
constexpr std::size_t kAddressColumn = 3;
constexpr std::size_t kDataColumn = 9;
constexpr std::size_t kMaxDataBytes = 255;
constexpr std::string_view kEndOfFileMark = "\x1A";

constexpr std::array<std::int8_t, 256> kHexDigitValue = [] {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c) {
        table[c] = static_cast<std::int8_t>(c - '0');
    }
    for (int c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<std::int8_t>(10 + c);
        table['a' + c] = static_cast<std::int8_t>(10 + c);
    }
    return table;
}();

enum class Fault {
    None,
    EmptyLine,
    TooShort,
    NotHexDigit,
    NoStartCharacter,
    Checksum,
    TrailingText
};

struct LineOutcome {
    Fault fault = Fault::None;
    std::size_t column = 0;  // 1-based, for faults tied to a character
};

LineOutcome FaultAt(Fault fault, std::size_t index) {
    return {fault, index + 1};
}

// Decodes the hex byte at line[index]; -1 when either character is not a hex digit.
int HexByte(std::string_view line, std::size_t index) {
    const int high = kHexDigitValue[static_cast<unsigned char>(line[index])];
    const int low = kHexDigitValue[static_cast<unsigned char>(line[index + 1])];
    return (high | low) < 0 ? -1 : high * 16 + low;
}

// Column of the first non-hex character in the byte at line[index].
std::size_t BadDigitIndex(std::string_view line, std::size_t index) {
    return kHexDigitValue[static_cast<unsigned char>(line[index])] < 0 ? index : index + 1;
}

class ImageWriter {
  public:
    explicit ImageWriter(FirmwareImage& image) : image_(image) {}

    LineOutcome ParseLine(std::string_view line) {
        if (line.empty()) {
            return {Fault::EmptyLine};
        }
        if (line.size() < kCountColumn + 2) {
            return {Fault::TooShort};
        }
        const int count = HexByte(line, kCountColumn);
        if (count < 0) {
            return FaultAt(Fault::NotHexDigit, BadDigitIndex(line, kCountColumn));
        }
        if (line[0] != ':') {
            // A line without ':' whose count reads 0 carries nothing and is passed over.
            return count == 0 ? LineOutcome{} : FaultAt(Fault::NoStartCharacter, 0);
        }
        const std::size_t checksumIndex = kDataColumn + 2 * static_cast<std::size_t>(count);
        if (line.size() < checksumIndex + 2) {
            return {Fault::TooShort};
        }
        for (std::size_t i = checksumIndex + 2; i < line.size(); ++i) {
            if (line[i] != ' ' && line[i] != '\t') {
                return FaultAt(Fault::TrailingText, i);
            }
        }

        unsigned sum = static_cast<unsigned>(count);
        std::array<int, 3> header{};
        for (std::size_t field = 0; field < header.size(); ++field) {
            const std::size_t index = kAddressColumn + 2 * field;
            header[field] = HexByte(line, index);
            if (header[field] < 0) {
                return FaultAt(Fault::NotHexDigit, BadDigitIndex(line, index));
            }
            sum += static_cast<unsigned>(header[field]);
        }
        std::array<std::uint8_t, kMaxDataBytes> data;
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
            const std::size_t index = kDataColumn + 2 * i;
            const int byte = HexByte(line, index);
            if (byte < 0) {
                return FaultAt(Fault::NotHexDigit, BadDigitIndex(line, index));
            }
            data[i] = static_cast<std::uint8_t>(byte);
            sum += static_cast<unsigned>(byte);
        }
        const int checksum = HexByte(line, checksumIndex);
        if (checksum < 0) {
            return FaultAt(Fault::NotHexDigit, BadDigitIndex(line, checksumIndex));
        }
        if (((sum + static_cast<unsigned>(checksum)) & 0xFF) != 0) {
            return {Fault::Checksum};
        }
        const int address = header[0] * 256 + header[1];
        Store(address - static_cast<int>(kImageBase), data.data(), static_cast<std::size_t>(count));
        return {};
    }

    const std::bitset<kPageCount>& pagesTouched() const { return pagesTouched_; }

  private:
    // Stores the bytes that fall inside the image; the rest are skipped.
    void Store(int offset, const std::uint8_t* bytes, std::size_t count) {
        const int end = offset + static_cast<int>(count);
        const int first = offset < 0 ? 0 : offset;
        const int last = end > static_cast<int>(kImageSize) ? static_cast<int>(kImageSize) : end;
        if (first >= last) {
            return;
        }
        std::memcpy(image_.data() + first, bytes + (first - offset),
                    static_cast<std::size_t>(last - first));
        for (std::size_t page = static_cast<std::size_t>(first) / kPageSize;
             page <= static_cast<std::size_t>(last - 1) / kPageSize; ++page) {
            pagesTouched_.set(page);
        }
    }

    FirmwareImage& image_;
    std::bitset<kPageCount> pagesTouched_;
};

std::string Describe(const LineOutcome& outcome) {
    switch (outcome.fault) {
        case Fault::EmptyLine:
            return "empty line";
        case Fault::TooShort:
            return "line too short for its byte count";
        case Fault::NotHexDigit:
            return "not a hex digit in column " + std::to_string(outcome.column);
        case Fault::NoStartCharacter:
            return "non-zero byte count but the line does not start with ':'";
        case Fault::Checksum:
            return "checksum mismatch";
        case Fault::TrailingText:
            return "unexpected text after the checksum in column " + std::to_string(outcome.column);
        case Fault::None:
            break;
    }
    return {};
}

HexReadResult Refused(std::string reason, std::size_t line = 0) {
    HexReadResult result;
    result.code = 1;
    result.reason = std::move(reason);
    result.line = line;
    return result;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

HexReadResult ParseUpdateText(std::string_view text, FirmwareImage& image) {
    image.fill(0xFF);
    ImageWriter writer(image);
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    // A final line break ends the last line rather than starting an empty one.
    while (start < text.size()) {
        ++lineNumber;
        // LF, CR LF and a lone CR each end a line.
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::size_t next = end;
        if (next < text.size()) {
            next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        }
        const std::string_view line = text.substr(start, end - start);
        // DOS tools close a text file with Ctrl-Z; as the last line it ends the file.
        if (line == kEndOfFileMark && next == text.size()) {
            break;
        }
        const LineOutcome outcome = writer.ParseLine(line);
        if (outcome.fault != Fault::None) {
            return Refused("line " + std::to_string(lineNumber) + ": " + Describe(outcome),
                           lineNumber);
        }
        start = next;
    }
    HexReadResult result;
    result.pagesTouched = writer.pagesTouched();
    return result;
}

HexReadResult ReadUpdateFile(const std::string& path, FirmwareImage& image) {
    image.fill(0xFF);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        const int error = errno;
        return Refused("cannot open " + path + ": " + std::strerror(error));
    }
    // The size is only a hint: one spare byte lets the first read reach the end of the file.
    // The buffer is left uninitialised, as every byte that is used comes from the file.
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(path, sizeError);
    std::size_t capacity = sizeError ? 64 * 1024 : static_cast<std::size_t>(size) + 1;
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t used = 0;
    for (;;) {
        if (used == capacity) {
            auto larger = std::make_unique_for_overwrite<char[]>(capacity * 2);
            std::memcpy(larger.get(), buffer.get(), used);
            buffer = std::move(larger);
            capacity *= 2;
        }
        const std::size_t read = std::fread(buffer.get() + used, 1, capacity - used, file.get());
        used += read;
        if (read == 0) {
            break;
        }
    }
    if (std::ferror(file.get())) {
        const int error = errno;
        return Refused("cannot read " + path + ": " + std::strerror(error));
    }
    const std::string_view text(buffer.get(), used);
    return ParseUpdateText(text, image);
}

}  // namespace zm880::flasher
