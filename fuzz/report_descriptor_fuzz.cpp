#include "hid/ReportDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

// Any byte string is a possible descriptor from a device: parsing must end, stay within the
// input, and give lengths that include the report ID byte whenever a kind has reports.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto caps = zm880::hid::ComputeCaps(std::span<const std::uint8_t>(data, size));
    if (caps && (caps->InputReportByteLength == 1 || caps->OutputReportByteLength == 1 ||
                 caps->FeatureReportByteLength == 1)) {
        std::abort();
    }
    return 0;
}
