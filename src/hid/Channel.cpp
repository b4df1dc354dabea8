#include "hid/Platform.h"

namespace zm880::hid {

std::optional<Caps> Channel::GetCaps() {
    const auto descriptor = GetReportDescriptor();
    if (!descriptor) {
        return std::nullopt;
    }
    // An unparsable descriptor counts as fetched: asking again would give the same.
    return ComputeCaps(*descriptor).value_or(Caps{});
}

}  // namespace zm880::hid
