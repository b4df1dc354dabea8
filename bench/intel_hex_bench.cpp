#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "flasher/IntelHex.h"

namespace {

using namespace zm880::flasher;

// A full update file: the whole 10 KiB image in 16-byte records from 0x1400, CR LF line ends.
std::string FullImageText() {
    std::string text;
    char line[64];
    for (unsigned address = kImageBase; address < kImageBase + kImageSize; address += 16) {
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        int at = std::snprintf(line, sizeof line, ":10%04X00", address);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned byte = (address + i * 7) & 0xFF;
            sum += byte;
            at +=
                std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X", byte);
        }
        std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "%02X\r\n",
                      (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

void BM_ParseUpdateText(benchmark::State& state) {
    const std::string text = FullImageText();
    FirmwareImage image;
    for (auto _ : state) {
        const HexReadResult result = ParseUpdateText(text, image);
        benchmark::DoNotOptimize(result.code);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseUpdateText);

void BM_ReadUpdateFile(benchmark::State& state) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zm880-bench-" + std::to_string(std::random_device{}()) + ".hex");
    const std::string text = FullImageText();
    std::ofstream(path, std::ios::binary) << text;
    FirmwareImage image;
    for (auto _ : state) {
        const HexReadResult result = ReadUpdateFile(path.string(), image);
        if (!result.ok()) {
            state.SkipWithError(result.reason.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadUpdateFile);

}  // namespace
