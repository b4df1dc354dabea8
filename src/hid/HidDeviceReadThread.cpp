#include "hid/HidDeviceReadThread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace zm880::hid {

THidDeviceReadThread::THidDeviceReadThread(THidDevice& device, std::unique_ptr<Channel> channel,
                                           std::size_t inputReportLength, Poster poster)
    : device_(device),
      channel_(std::move(channel)),
      // A device without input reports never sends one; one byte keeps the read meaningful.
      buffer_(std::max<std::size_t>(inputReportLength, 1)),
      poster_(std::move(poster)),
      thread_([this] { Execute(); }) {}

THidDeviceReadThread::~THidDeviceReadThread() {
    {
        std::lock_guard lock(handOver_->mutex);
        handOver_->stopping = true;
    }
    handOver_->wake.notify_all();
    thread_.join();
}

bool THidDeviceReadThread::Stopping() {
    std::lock_guard lock(handOver_->mutex);
    return handOver_->stopping;
}

void THidDeviceReadThread::Execute() {
    while (!Stopping()) {
        if (closeChannel_) {
            channel_.reset();
        }
        std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
        if (!channel_) {
            ReportError(kNoReadChannel);
            continue;
        }
        const InputRead read =
            channel_->ReadInput(buffer_, std::chrono::milliseconds(device_.SleepTime()));
        if (!read.ok) {
            ReportError(static_cast<std::uint32_t>(read.error));
        } else if (read.size > 0) {
            DeliverData(std::min(read.size, buffer_.size()));
        }
    }
}

void THidDeviceReadThread::ReportError(std::uint32_t error) {
    RunOnOwner([error](THidDevice& device) { device.RunDataErrorStep(error); });
    // A failing channel keeps failing; pausing keeps the loop from spinning on it.
    Pause();
}

void THidDeviceReadThread::DeliverData(std::size_t byteCount) {
    std::vector<std::uint8_t> report(buffer_.begin(),
                                     buffer_.begin() + static_cast<std::ptrdiff_t>(byteCount));
    RunOnOwner([report = std::move(report)](THidDevice& device) { device.RunDataStep(report); });
}

void THidDeviceReadThread::RunOnOwner(std::function<void(THidDevice&)> step) {
    const std::uint64_t ticket = ++posted_;
    poster_([handOver = handOver_, device = &device_, ticket, step = std::move(step)] {
        {
            std::lock_guard lock(handOver->mutex);
            if (handOver->stopping) {
                return;  // the thread and possibly the device are gone
            }
        }
        step(*device);
        {
            std::lock_guard lock(handOver->mutex);
            handOver->completed = ticket;
        }
        handOver->wake.notify_all();
    });
    std::unique_lock lock(handOver_->mutex);
    handOver_->wake.wait(lock,
                         [&] { return handOver_->stopping || handOver_->completed >= ticket; });
}

void THidDeviceReadThread::Pause() {
    std::unique_lock lock(handOver_->mutex);
    handOver_->wake.wait_for(lock, std::chrono::milliseconds(device_.SleepTime()),
                             [&] { return handOver_->stopping; });
}

}  // namespace zm880::hid
