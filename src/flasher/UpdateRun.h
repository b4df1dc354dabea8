#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flasher/FirmwareImage.h"
#include "hid/Platform.h"

namespace zm880::flasher {

// Step codes of an update run. 1 to 5 are the loader's own failure codes (a status answer of
// s > 1 gives s - 1); a status byte outside 1 to 6 gives kUnexpectedStatus.
enum UpdateCode : int {
    kUpdateReady = 0,
    kUpdateFileNotFound = 1,
    kUpdateAccessError = 2,
    kUpdateSetReportError = 3,
    kUpdateGetReportError = 4,
    kUpdateCrcError = 5,
    kUpdateUnexpectedStatus = 6,
    kUpdateStopped = 7,  // the caller asked the run to stop (Ctrl+C); it ended at a page boundary
};

// The text the user sees for a code; `status` is only used by kUpdateUnexpectedStatus.
std::string UpdateMessage(int code, int status = 0);

// The two feature transfers the loader protocol needs. The run keeps its shared_ptr for its whole
// length, so whoever else lets go of the device cannot pull it away mid-run.
class FeatureDevice {
  public:
    virtual ~FeatureDevice() = default;
    virtual bool GetFeatureReport(std::span<std::uint8_t> report) = 0;
    virtual bool SetFeatureReport(std::span<const std::uint8_t> report) = 0;
    // Why the last transfer failed; devices that cannot tell say Failed.
    virtual hid::TransferError LastTransferError() const {
        return {hid::TransferError::Kind::Failed, {}};
    }
    // Length of feature report `reportId`, report ID included, as the reader declares it;
    // nullopt where that is not known (the loader's own lengths are used then).
    virtual std::optional<std::size_t> DeclaredLength(std::uint8_t /*reportId*/) {
        return std::nullopt;
    }
};

enum class TransferKind { Set, Get };

// One feature transfer as it happened: for a Get, `report` holds what came back.
struct TransferRecord {
    TransferKind kind = TransferKind::Set;
    std::span<const std::uint8_t> report;
    bool ok = false;
};

struct UpdateResult;

// What a caller sees of a run while it goes on. Every method has a do-nothing default.
class UpdateObserver {
  public:
    virtual ~UpdateObserver() = default;
    // Called at the start of every page and repeatedly during the pause after the loader start:
    // a window pumps its pending events here.
    virtual void ProcessEvents() {}
    // Page `page` (0-based) of `pageCount` is about to be sent.
    virtual void PageStarted(std::size_t /*page*/, std::size_t /*pageCount*/) {}
    virtual void Transferred(const TransferRecord& /*transfer*/) {}
    // Asked before the loader start and before every page: true ends the run there, with the
    // pages sent so far kept and the loader ended as after any failure. May be raised from a
    // signal handler, so a page in flight is always finished.
    virtual bool StopRequested() { return false; }
    // The outcome is settled; called before the closing loader end command is sent, so that a
    // window shows its message first.
    virtual void RunEnded(const UpdateResult& /*result*/) {}
};

// Monotonic time for the pause after the loader start.
class UpdateClock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~UpdateClock() = default;
    virtual TimePoint Now() = 0;
    // Waits until `until` (or returns earlier); the pause calls it between event pumps.
    virtual void WaitUntil(TimePoint until) = 0;
};

// std::chrono::steady_clock with a real sleep.
UpdateClock& SteadyUpdateClock();

inline constexpr std::chrono::milliseconds kLoaderStartPause{100};

struct UpdateResult {
    int code = kUpdateReady;
    std::string message;  // UpdateMessage(code, status)
    // Why the step failed, for the line under the message: the transfer's cause, the status the
    // loader answered, the page whose checksum differed, or what is wrong with the file.
    std::string reason;
    // Set when the update file was refused by the reader (not when it was missing): the reason,
    // which names its line, and that line (1-based, 0 when the fault has none).
    std::string fileReason;
    std::size_t fileLine = 0;
    int status = -1;               // the loader's status byte for kUpdateUnexpectedStatus
    std::size_t pagesWritten = 0;  // pages whose checksum the loader confirmed
    bool loaderStarted = false;    // the loader start command was sent (or tried)
    bool pageDamaged = false;      // the failed page had begun to be written

    bool ok() const { return code == kUpdateReady; }
};

// What a failed run left on the reader, for the user: which pages were replaced and that the
// update must be run again; empty when the loader was never started.
std::string PagesNote(const UpdateResult& result);
// The message, the reason and the pages note of a failed run, each non-empty one once.
std::vector<std::string> FailureLines(const UpdateResult& result);

// One firmware update: reads the update file, sends the loader start, pauses, sends the 20 pages
// with a checksum check each, and always ends with the loader end command. The first failure
// ends the page loop; nothing is retried.
class UpdateRun {
  public:
    // `device` may be null: every transfer then fails with kUpdateAccessError. `observer` and
    // `clock` must outlive the run; null means no observer and the steady clock.
    explicit UpdateRun(std::shared_ptr<FeatureDevice> device, UpdateObserver* observer = nullptr,
                       UpdateClock* clock = nullptr);

    UpdateResult Run(const std::string& updateFilePath);

    // The image read by the last run (all 0xFF before one).
    const FirmwareImage& image() const { return image_; }

  private:
    int SendReport(std::span<const std::uint8_t> report);
    int ReadReport(std::span<std::uint8_t> report);
    int SendCommand(std::uint8_t command, std::uint8_t flashPage);
    int StatusStep(std::uint8_t command, std::uint8_t flashPage, int& status);
    int PageWriteStep(std::size_t page, bool& begun);
    int PageChecksumStep(std::uint16_t expected, std::uint16_t& reported);
    // Reads the update file into the image; a code above 0 with the reasons set in `result`.
    int ReadImage(const std::string& updateFilePath, UpdateResult& result);
    // Takes the reader's declared length for each loader report; a code above 0, with the
    // reason set in `result`, when one is too short to carry what the loader needs.
    int TakeReportLengths(UpdateResult& result);
    void PauseAfterLoaderStart();

    std::shared_ptr<FeatureDevice> device_;
    UpdateObserver* observer_;
    UpdateClock* clock_;
    FirmwareImage image_;
    // The loader's report lengths, report ID included: the fixed ones until the reader's
    // declared ones are known.
    std::size_t commandLength_;
    std::size_t dataLength_;
    std::size_t checksumLength_;
    std::size_t statusLength_;
};

}  // namespace zm880::flasher
