#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cfgfile/ConfigFile.h"
#include "reader/ReaderSettings.h"
#include "reader/SettingsFields.h"

using namespace zm880;

// Fills a zero buffer the way a configuration file load does (up to 64 leading bytes, byte 1
// kept), then decodes and encodes. One decode-encode pass must leave a record that another pass
// reproduces byte for byte, and the bytes the record does not interpret must survive.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReportBuffer buffer{};
    const std::size_t taken = size < cfgfile::kConfigFileSize ? size : cfgfile::kConfigFileSize;
    std::memcpy(buffer.data(), data, taken);
    buffer[1] = 0;
    const ReportBuffer loaded = buffer;

    ReaderSettings settings;
    std::uint8_t readerType = 0;
    DecodeSettings(buffer, settings, readerType);
    EncodeSettings(settings, readerType, buffer);
    if (std::memcmp(buffer.data() + 26, loaded.data() + 26, 38) != 0 || buffer[0] != loaded[0] ||
        buffer[2] != loaded[2] || buffer[8] != loaded[8]) {
        std::abort();
    }
    const ReportBuffer firstPass = buffer;

    ReaderSettings again = settings;
    DecodeSettings(buffer, again, readerType);
    EncodeSettings(again, readerType, buffer);
    if (std::memcmp(buffer.data(), firstPass.data(), cfgfile::kConfigFileSize) != 0) {
        std::abort();
    }

    (void)SettingsToJson(again).dump();
    (void)SettingsToText(again);
    return 0;
}
