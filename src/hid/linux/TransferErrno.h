#pragma once

#include <chrono>

#include "hid/Platform.h"

namespace zm880::hid::hidraw {

// A failed transfer that waited this long before an I/O error was a request nobody answered:
// the kernel's uhid gives up on an unanswered request after about 5 s with EIO, not ETIMEDOUT.
inline constexpr std::chrono::milliseconds kNoAnswerAfter{1000};

// The cause of a failed feature ioctl, from its errno and how long it waited.
TransferError TransferErrorFromErrno(int error, std::chrono::milliseconds waited);

// True for the errors a device that drops off the bus in the middle of a transfer may give
// before the node itself says that it is gone.
bool MayMeanRemoved(int error);

}  // namespace zm880::hid::hidraw
