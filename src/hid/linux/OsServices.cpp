#include "hid/OsServices.h"

#include <poll.h>
#include <unistd.h>

namespace zm880::hid {

bool WaitSignalled(Waitable waitable, std::chrono::milliseconds timeout) {
    const int fd = static_cast<int>(waitable);
    if (fd < 0) {
        poll(nullptr, 0, static_cast<int>(timeout.count()));
        return false;
    }
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, static_cast<int>(timeout.count())) > 0;
}

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

}  // namespace zm880::hid
