#pragma once

#include <chrono>

#include "hid/Platform.h"

// The few operating-system services that the tools need besides HID, kept behind the same seam
// so that nothing above hid/ includes an OS header.
namespace zm880::hid {

// Waits until `waitable` is signalled or `timeout` has passed, without consuming anything.
// Returns false on a timeout, on an interrupting signal (so a stop request is seen at once) and
// for kNoWaitable.
bool WaitSignalled(Waitable waitable, std::chrono::milliseconds timeout);

// Whether standard output is a terminal, where progress may be redrawn in place.
bool StandardOutputIsTerminal();

}  // namespace zm880::hid
