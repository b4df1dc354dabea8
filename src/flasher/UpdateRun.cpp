#include "flasher/UpdateRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "flasher/IntelHex.h"
#include "flasher/UpdateFileCheck.h"

namespace zm880::flasher {

namespace {

constexpr std::uint8_t kCommandReportId = 0x02;
constexpr std::uint8_t kDataReportId = 0x03;
constexpr std::uint8_t kChecksumReportId = 0x04;
constexpr std::uint8_t kStatusReportId = 0x05;

constexpr std::uint8_t kLoaderStart = 0x34;
constexpr std::uint8_t kPageCommand1 = 0x01;
constexpr std::uint8_t kPageCommand2 = 0x02;
constexpr std::uint8_t kPageWrite = 0x03;
constexpr std::uint8_t kPageChecksum = 0x04;
constexpr std::uint8_t kLoaderEnd = 0x06;

// The loader's report lengths, report ID included. A reader that declares a report longer gets it
// at that length (a HID stack may refuse a report of another size than declared), the bytes
// past these filled as the report's padding; one that declares it shorter cannot be updated.
constexpr std::size_t kCommandLength = 4;
constexpr std::size_t kDataLength = 64;
constexpr std::size_t kChecksumLength = 3;
constexpr std::size_t kStatusLength = 2;

constexpr std::size_t kDataBytesPerReport = kDataLength - 1;
constexpr std::size_t kDataReportsPerPage = (kPageSize - 1) / kDataBytesPerReport + 1;

constexpr std::uint8_t kStatusAccepted = 1;
constexpr std::uint8_t kStatusBeforeRead = 2;
constexpr int kHighestKnownStatus = 6;

// Slice of the pause between two event pumps.
constexpr std::chrono::milliseconds kPumpSlice{5};

class SteadyClock final : public UpdateClock {
  public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void WaitUntil(TimePoint until) override { std::this_thread::sleep_until(until); }
};

UpdateObserver& SilentObserver() {
    static UpdateObserver silent;
    return silent;
}

std::uint8_t FlashPageOf(std::size_t page) {
    return static_cast<std::uint8_t>(page + kFlashPageOffset);
}

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Pages are counted from 1 for the user, as the progress shows them.
std::string PageOfCount(std::size_t page) {
    return "page " + std::to_string(page + 1) + " of " + std::to_string(kPageCount);
}

std::string StatusReason(int status, std::uint8_t command, std::size_t page) {
    if (status == kStatusBeforeRead) {
        return "the loader refused the update (status 2)";
    }
    return "the loader answered status " + std::to_string(status) + " to command " +
           Hex(command, 2) + " for " + PageOfCount(page);
}

}  // namespace

std::string PagesNote(const UpdateResult& result) {
    if (!result.loaderStarted || result.ok()) {
        return {};
    }
    const std::size_t replaced = result.pagesWritten;
    if (replaced == 0 && !result.pageDamaged) {
        return "no page was replaced";
    }
    std::string note;
    if (replaced == 1) {
        note = "page 1 of " + std::to_string(kPageCount) + " was replaced";
    } else if (replaced > 1) {
        note = "pages 1 to " + std::to_string(replaced) + " of " + std::to_string(kPageCount) +
               " were replaced";
    }
    if (result.pageDamaged) {
        note += (note.empty() ? "" : " and ") + PageOfCount(replaced) + " may be damaged";
    }
    return note + "; the update must be run again";
}

std::vector<std::string> FailureLines(const UpdateResult& result) {
    std::vector<std::string> lines;
    for (const std::string& line : {result.message, result.reason, PagesNote(result)}) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

UpdateClock& SteadyUpdateClock() {
    static SteadyClock clock;
    return clock;
}

std::string UpdateMessage(int code, int status) {
    switch (code) {
        case kUpdateReady:
            return "ready";
        case kUpdateFileNotFound:
            return "ERROR: File not found!";
        case kUpdateAccessError:
            return "ACCESS ERROR";
        case kUpdateSetReportError:
            return "ERROR: set report";
        case kUpdateGetReportError:
            return "ERROR: get report";
        case kUpdateCrcError:
            return "CRC Error during flash write";
        case kUpdateStopped:
            return "update stopped";
        default:
            return "unexpected loader status " + std::to_string(status);
    }
}

UpdateRun::UpdateRun(std::shared_ptr<FeatureDevice> device, UpdateObserver* observer,
                     UpdateClock* clock)
    : device_(std::move(device)),
      observer_(observer != nullptr ? observer : &SilentObserver()),
      clock_(clock != nullptr ? clock : &SteadyUpdateClock()),
      commandLength_(kCommandLength),
      dataLength_(kDataLength),
      checksumLength_(kChecksumLength),
      statusLength_(kStatusLength) {
    image_.fill(0xFF);
}

int UpdateRun::SendReport(std::span<const std::uint8_t> report) {
    if (!device_) {
        return kUpdateAccessError;
    }
    const bool ok = device_->SetFeatureReport(report);
    observer_->Transferred({TransferKind::Set, report, ok});
    return ok ? kUpdateReady : kUpdateSetReportError;
}

int UpdateRun::ReadReport(std::span<std::uint8_t> report) {
    if (!device_) {
        return kUpdateAccessError;
    }
    const bool ok = device_->GetFeatureReport(report);
    observer_->Transferred({TransferKind::Get, report, ok});
    return ok ? kUpdateReady : kUpdateGetReportError;
}

int UpdateRun::SendCommand(std::uint8_t command, std::uint8_t flashPage) {
    std::vector<std::uint8_t> report(commandLength_, 0);
    report[0] = kCommandReportId;
    report[1] = command;
    report[2] = flashPage;
    return SendReport(report);
}

int UpdateRun::StatusStep(std::uint8_t command, std::uint8_t flashPage, int& status) {
    // The answer decides the step, so the outcome of the command's send is not looked at.
    SendCommand(command, flashPage);
    std::vector<std::uint8_t> answer(statusLength_, 0);
    answer[0] = kStatusReportId;
    answer[1] = kStatusBeforeRead;
    if (const int code = ReadReport(answer); code != kUpdateReady) {
        return code;
    }
    status = answer[1];
    if (status < kStatusAccepted || status > kHighestKnownStatus) {
        return kUpdateUnexpectedStatus;
    }
    return status - kStatusAccepted;
}

int UpdateRun::PageWriteStep(std::size_t page, bool& begun) {
    if (const int code = SendCommand(kPageWrite, FlashPageOf(page)); code != kUpdateReady) {
        return code;
    }
    begun = true;
    const auto bytes = ImagePage(image_, page);
    for (std::size_t k = 0; k < kDataReportsPerPage; ++k) {
        std::vector<std::uint8_t> report(dataLength_, 0xFF);
        report[0] = kDataReportId;
        const std::size_t first = k * kDataBytesPerReport;
        const std::size_t count = std::min(kDataBytesPerReport, kPageSize - first);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(first), count, report.begin() + 1);
        if (const int code = SendReport(report); code != kUpdateReady) {
            return code;
        }
    }
    return kUpdateReady;
}

int UpdateRun::PageChecksumStep(std::uint16_t expected, std::uint16_t& reported) {
    SendCommand(kPageChecksum, 0);
    std::vector<std::uint8_t> answer(checksumLength_, 0);
    answer[0] = kChecksumReportId;
    if (const int code = ReadReport(answer); code != kUpdateReady) {
        return code;
    }
    reported = static_cast<std::uint16_t>(answer[1] | (answer[2] << 8));
    return reported == expected ? kUpdateReady : kUpdateCrcError;
}

int UpdateRun::ReadImage(const std::string& updateFilePath, UpdateResult& result) {
    // Only a path that names nothing is missing; one the system cannot follow (a link loop) is
    // read, so that its reason is said.
    std::error_code error;
    if (std::filesystem::status(updateFilePath, error).type() ==
        std::filesystem::file_type::not_found) {
        result.reason = "the file does not exist";
        return kUpdateFileNotFound;
    }
    const HexReadResult read = ReadUpdateFile(updateFilePath, image_);
    if (!read.ok()) {
        result.fileReason = read.reason;
        result.fileLine = read.line;
        result.reason = "the update file was refused: " + read.reason;
        return kUpdateFileNotFound;
    }
    // All 20 pages of 0xFF would erase the firmware and leave the reader without one.
    if (read.pagesTouched.none()) {
        result.reason = NoDataReason();
        return kUpdateFileNotFound;
    }
    return kUpdateReady;
}

int UpdateRun::TakeReportLengths(UpdateResult& result) {
    struct LoaderReport {
        std::uint8_t id;
        std::size_t needed;
        std::size_t& length;
        int failure;
    };
    const LoaderReport reports[] = {
        {kCommandReportId, kCommandLength, commandLength_, kUpdateSetReportError},
        {kDataReportId, kDataLength, dataLength_, kUpdateSetReportError},
        {kChecksumReportId, kChecksumLength, checksumLength_, kUpdateGetReportError},
        {kStatusReportId, kStatusLength, statusLength_, kUpdateGetReportError},
    };
    for (const LoaderReport& report : reports) {
        const std::optional<std::size_t> declared = device_->DeclaredLength(report.id);
        if (!declared) {
            continue;
        }
        if (*declared < report.needed) {
            result.reason = "the reader declares feature report " + Hex(report.id, 2) + " as " +
                            std::to_string(*declared) + " bytes; the loader needs " +
                            std::to_string(report.needed);
            return report.failure;
        }
        report.length = *declared;
    }
    return kUpdateReady;
}

void UpdateRun::PauseAfterLoaderStart() {
    const auto end = clock_->Now() + kLoaderStartPause;
    observer_->ProcessEvents();
    for (auto now = clock_->Now(); now < end; now = clock_->Now()) {
        clock_->WaitUntil(std::min(end, now + kPumpSlice));
        observer_->ProcessEvents();
    }
}

UpdateResult UpdateRun::Run(const std::string& updateFilePath) {
    UpdateResult result;
    int code = ReadImage(updateFilePath, result);
    if (code == kUpdateReady && device_) {
        code = TakeReportLengths(result);
    }
    if (code == kUpdateReady && observer_->StopRequested()) {
        code = kUpdateStopped;
        result.reason = "interrupted before the loader was started";
    }
    if (code == kUpdateReady) {
        result.loaderStarted = true;
        code = SendCommand(kLoaderStart, 0);
    }
    PauseAfterLoaderStart();

    if (code == kUpdateReady) {
        for (std::size_t page = 0; page < kPageCount; ++page) {
            observer_->ProcessEvents();
            if (observer_->StopRequested()) {
                code = kUpdateStopped;
                result.reason = "interrupted before " + PageOfCount(page);
                break;
            }
            observer_->PageStarted(page, kPageCount);
            std::uint8_t command = kPageCommand1;
            int answered = -1;
            code = StatusStep(command, FlashPageOf(page), answered);
            if (code == kUpdateReady) {
                command = kPageCommand2;
                answered = -1;
                code = StatusStep(command, FlashPageOf(page), answered);
            }
            if (code != kUpdateReady) {
                // A status that was read decided the step; otherwise the read itself failed.
                if (answered >= 0) {
                    result.status = answered;
                    result.reason = StatusReason(answered, command, page);
                }
            } else {
                const std::uint16_t checksum = PageChecksum(ImagePage(image_, page));
                code = PageWriteStep(page, result.pageDamaged);
                std::uint16_t reported = 0;
                if (code == kUpdateReady) {
                    code = PageChecksumStep(checksum, reported);
                }
                if (code == kUpdateCrcError) {
                    result.reason = "checksum mismatch on " + PageOfCount(page) +
                                    " (flash address " +
                                    Hex(static_cast<unsigned>(kImageBase + page * kPageSize), 4) +
                                    "): the loader reported " + Hex(reported, 4) + ", expected " +
                                    Hex(checksum, 4);
                }
            }
            if (code != kUpdateReady) {
                break;
            }
            result.pageDamaged = false;
            ++result.pagesWritten;
        }
    }

    result.code = code;
    if (code != kUpdateUnexpectedStatus) {
        result.status = -1;
    }
    if (result.reason.empty() && (code == kUpdateSetReportError || code == kUpdateGetReportError)) {
        result.reason = hid::DescribeTransferError(device_->LastTransferError());
    }
    if (!device_ && result.reason.empty()) {
        result.reason = "no reader could be taken for the update";
    }
    result.message = UpdateMessage(code, result.status);
    observer_->RunEnded(result);

    // Ends every run, after a failure too; its answer changes nothing.
    int endStatus = 0;
    StatusStep(kLoaderEnd, 0, endStatus);
    return result;
}

}  // namespace zm880::flasher
