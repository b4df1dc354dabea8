#include "hid/linux/TransferErrno.h"

#include <cerrno>
#include <cstring>

namespace zm880::hid::hidraw {

TransferError TransferErrorFromErrno(int error, std::chrono::milliseconds waited) {
    using Kind = TransferError::Kind;
    switch (error) {
        case ENODEV:
        case ESHUTDOWN:
        case ENXIO:
            return {Kind::Removed, {}};
        case EACCES:
        case EPERM:
            return {Kind::AccessDenied, {}};
        case ETIMEDOUT:
            return {Kind::NoAnswer, {}};
        case EBUSY:
        case EAGAIN:
            return {Kind::Busy, {}};
        case EIO:
            if (waited >= kNoAnswerAfter) {
                return {Kind::NoAnswer, {}};
            }
            break;
        default:
            break;
    }
    return {Kind::Failed, std::strerror(error)};
}

bool MayMeanRemoved(int error) {
    switch (error) {
        case EIO:
        case EPROTO:
        case EPIPE:
        case EILSEQ:
        case ETIME:
        case ETIMEDOUT:
            return true;
        default:
            return false;
    }
}

}  // namespace zm880::hid::hidraw
