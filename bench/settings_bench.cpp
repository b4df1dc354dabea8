#include <benchmark/benchmark.h>

#include "reader/ReaderSettings.h"

namespace zm880 {
namespace {

ReportBuffer SampleRecord(std::uint8_t readerType) {
    ReportBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    buffer[0] = kSettingsReportId;
    buffer[8] = readerType;
    return buffer;
}

// Argument: the reader type, which picks the branch.
void BM_DecodeSettings(benchmark::State& state) {
    ReportBuffer buffer = SampleRecord(static_cast<std::uint8_t>(state.range(0)));
    for (auto _ : state) {
        ReaderSettings settings;
        std::uint8_t readerType = 0;
        DecodeSettings(buffer, settings, readerType);
        benchmark::DoNotOptimize(settings);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_DecodeSettings)->Arg(0)->Arg(1)->Arg(3);

void BM_EncodeSettings(benchmark::State& state) {
    ReportBuffer buffer = SampleRecord(static_cast<std::uint8_t>(state.range(0)));
    ReaderSettings settings;
    std::uint8_t readerType = 0;
    DecodeSettings(buffer, settings, readerType);
    for (auto _ : state) {
        EncodeSettings(settings, readerType, buffer);
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_EncodeSettings)->Arg(0)->Arg(1)->Arg(3);

}  // namespace
}  // namespace zm880
