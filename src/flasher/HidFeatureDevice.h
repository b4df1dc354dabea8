#pragma once

#include <memory>

#include "flasher/UpdateRun.h"
#include "hid/HidDevice.h"

namespace zm880::flasher {

// The loader transfers on a claimed reader. The result holds its own copy of the claim, so the
// reader stays claimed and alive for as long as an update run uses it, whatever the device list
// does meanwhile. A null reader gives null, which the run reports as an access error.
std::shared_ptr<FeatureDevice> FeatureDeviceOf(hid::DeviceRef reader);

}  // namespace zm880::flasher
