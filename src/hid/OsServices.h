#pragma once

#include <atomic>
#include <chrono>
#include <span>

// The few operating-system services that the tools need besides HID, kept behind the same seam
// so that nothing above hid/ includes an OS header.
namespace zm880::hid {

// Waits until `fd` can be read or `timeout` has passed. Returns false on a timeout, on an
// interrupting signal (so a stop request is seen at once) and for fd -1.
bool WaitReadable(int fd, std::chrono::milliseconds timeout);

// Waits until one of `fds` can be read or `timeout` has passed (a negative timeout waits without
// end); descriptors of -1 are skipped. Returns the index of the first readable one, or -1 on a
// timeout or an interrupting signal.
int WaitAnyReadable(std::span<const int> fds, std::chrono::milliseconds timeout);

// A one-way stop request that another thread or a signal handler raises: once raised, its
// descriptor stays readable, so a wait on it ends at once. Raise is async-signal-safe.
class StopSignal {
  public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    int Fd() const { return readFd_; }
    void Raise() noexcept;
    bool Raised() const noexcept { return raised_.load(); }

  private:
    std::atomic<bool> raised_{false};
    int readFd_ = -1;
    int writeFd_ = -1;
};

// Whether standard output is a terminal, where progress may be redrawn in place.
bool StandardOutputIsTerminal();

}  // namespace zm880::hid
