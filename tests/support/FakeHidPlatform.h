#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/Platform.h"

namespace zm880::testing {

// One simulated HID interface with switches for every fault the transport must survive.
// Everything except the input queue is used from the test's thread only.
struct FakeInterface {
    std::string identity;
    std::string path;

    hid::OpenError readWriteRefusal = hid::OpenError::None;  // None: read-write opens work
    bool queryOnlyOpens = true;
    bool queryOnlyDeniesAccess = false;  // the query-only channel stands in for a locked node
    std::optional<hid::Attributes> attributes = hid::Attributes{0x169B, 0x0710, 0x0100};
    std::optional<std::vector<std::uint8_t>> descriptor;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    // Feature reports by ID, report ID byte included; a get answers as much as fits.
    std::map<std::uint8_t, std::vector<std::uint8_t>> features;
    // When set, every feature transfer fails with this cause.
    std::optional<hid::TransferError> transferFault;
    std::vector<std::vector<std::uint8_t>> featuresSet;

    int opens = 0;
    int openChannels = 0;
    int descriptorQueries = 0;
    int manufacturerQueries = 0;
    int productQueries = 0;

    // Input reports waiting to be read; closing the queue makes reads fail.
    void PushInput(std::vector<std::uint8_t> report);
    bool InputQueueEmpty();

    std::mutex inputMutex;
    std::condition_variable inputArrived;
    std::deque<std::vector<std::uint8_t>> inputs;
    std::atomic<bool> gone = false;
};

class FakeHidPlatform : public hid::Platform {
  public:
    // Adds a present interface (path "/dev/fake/<identity>") and returns its switches.
    std::shared_ptr<FakeInterface> Plug(const std::string& identity);
    // Removes it from the walk; channels already open on it start failing.
    void Unplug(const std::string& identity);
    // One pending change for TakeChanges.
    void AnnounceChange() { ++pendingChanges_; }

    // Runs at the start of every walk (lets a test act in the middle of a reconciliation).
    std::function<void()> onWalk;
    int walks = 0;

    std::vector<hid::InterfaceEntry> PresentInterfaces() override;
    std::unique_ptr<hid::Channel> Open(const std::string& path, hid::OpenMode mode,
                                       hid::OpenError& error) override;
    hid::Waitable ChangeWaitable() const override { return hid::kNoWaitable; }
    int TakeChanges() override;

  private:
    std::vector<std::shared_ptr<FakeInterface>> present_;
    int pendingChanges_ = 0;
};

// Runs posted tasks when asked, like an event loop turn; safe to post from any thread.
class TaskQueue {
  public:
    void Post(std::function<void()> task);
    // Runs what is queued, including tasks queued meanwhile; returns how many ran.
    int RunPending();
    // Runs tasks as they come until `done` holds or the time is up.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
    std::function<void(std::function<void()>)> Poster() {
        return [this](std::function<void()> task) { Post(std::move(task)); };
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace zm880::testing
