#include "hid/Platform.h"

namespace zm880::hid {

std::string DescribeTransferError(const TransferError& error) {
    using Kind = TransferError::Kind;
    switch (error.kind) {
    case Kind::None:
        return "no error";
    case Kind::Removed:
        return "the reader was removed";
    case Kind::AccessDenied:
#ifdef _WIN32
        // Windows gives HID devices to one program at a time when it asks for that.
        return "permission denied (another program may have the reader open)";
#else
        return "permission denied (install the udev rule, see README: Reader access on Linux)";
#endif
    case Kind::NoAnswer:
        return "the reader did not answer";
    case Kind::Busy:
        return "the reader is busy";
    case Kind::Failed:
        break;
    }
    return error.detail.empty() ? "the transfer failed" : "the transfer failed: " + error.detail;
}

}  // namespace zm880::hid
