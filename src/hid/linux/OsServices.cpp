#include "hid/OsServices.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>
#include <system_error>
#include <vector>

namespace zm880::hid {

bool WaitReadable(int fd, std::chrono::milliseconds timeout) {
    if (fd < 0) {
        poll(nullptr, 0, static_cast<int>(timeout.count()));
        return false;
    }
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, static_cast<int>(timeout.count())) > 0;
}

int WaitAnyReadable(std::span<const int> fds, std::chrono::milliseconds timeout) {
    std::vector<pollfd> watched;
    std::vector<int> indices;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i] >= 0) {
            watched.push_back({fds[i], POLLIN, 0});
            indices.push_back(static_cast<int>(i));
        }
    }
    const int wait = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    if (poll(watched.data(), watched.size(), wait) <= 0) {
        return -1;
    }
    for (std::size_t i = 0; i < watched.size(); ++i) {
        if ((watched[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return indices[i];
        }
    }
    return -1;
}

StopSignal::StopSignal() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a stop signal");
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
}

StopSignal::~StopSignal() {
    close(readFd_);
    close(writeFd_);
}

void StopSignal::Raise() noexcept {
    // One byte is enough: nobody drains the pipe, so it stays readable.
    if (!raised_.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(writeFd_, &byte, 1);
    }
}

bool StandardOutputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

}  // namespace zm880::hid
