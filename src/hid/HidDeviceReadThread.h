#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/Platform.h"

namespace zm880::hid {

// Delivers the input reports of a claimed device to its data handler. The loop runs on its own
// thread and touches only the read channel and its buffer; each data or data-error step is
// posted to the owner's thread, and the loop waits until it has run there, so handlers run on
// the owner's thread one at a time. The poster must queue (not run the task in place).
class THidDeviceReadThread {
  public:
    // Error reported while the read channel is not open (it could not be opened, or the device
    // was unplugged).
    static constexpr std::uint32_t kNoReadChannel = 0xFFFFFFFFu;

    // `channel` may be null. The device outlives the thread.
    THidDeviceReadThread(THidDevice& device, std::unique_ptr<Channel> channel,
                         std::size_t inputReportLength, Poster poster);
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;
    // Stops: requests termination, abandons a pending hand-over, waits for the loop to end.
    ~THidDeviceReadThread();

    // Asks the loop to close the read channel; every later turn then reports an error.
    void CloseChannel() { closeChannel_ = true; }

  private:
    // State shared with steps posted to the owner's thread, which may run after the thread
    // object is gone.
    struct HandOver {
        std::mutex mutex;
        std::condition_variable wake;
        bool stopping = false;
        std::uint64_t completed = 0;
    };

    void Execute();
    void ReportError(std::uint32_t error);
    void DeliverData(std::size_t byteCount);
    // Posts a step and waits until it ran or the thread is stopping.
    void RunOnOwner(std::function<void(THidDevice&)> step);
    // Waits one turn of the device's sleep time, or until stopping.
    void Pause();
    bool Stopping();

    THidDevice& device_;
    std::unique_ptr<Channel> channel_;
    std::vector<std::uint8_t> buffer_;
    Poster poster_;
    std::shared_ptr<HandOver> handOver_ = std::make_shared<HandOver>();
    std::uint64_t posted_ = 0;
    std::atomic<bool> closeChannel_ = false;
    std::thread thread_;
};

}  // namespace zm880::hid
