#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "flasher/IntelHex.h"

using namespace zm880::flasher;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    FirmwareImage image;
    const HexReadResult result = ParseUpdateText(text, image);
    if (result.ok() != (result.code == 0) || (result.code != 0 && result.code != 1)) {
        std::abort();
    }
    if (!result.ok()) {
        // LF, CR LF and a lone CR each end a line.
        std::size_t lines = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' ||
                (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
                ++lines;
            }
        }
        if (result.reason.empty() || result.line == 0 || result.line > lines + 1) {
            std::abort();
        }
        return 0;
    }
    // A page that no data reached must still be blank.
    for (std::size_t page = 0; page < kPageCount; ++page) {
        const auto bytes = ImagePage(image, page);
        if (!result.pagesTouched.test(page) &&
            std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != 0xFF; })) {
            std::abort();
        }
    }
    return 0;
}
