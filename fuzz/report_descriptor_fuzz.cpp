#include "hid/ReportDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <span>

// Any byte string is a possible descriptor from a device: parsing must end and stay within the
// input (the sanitizers watch the rest).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static_cast<void>(zm880::hid::ComputeCaps(std::span<const std::uint8_t>(data, size)));
    return 0;
}
