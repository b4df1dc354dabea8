#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/ReaderAccess.h"
#include "cli/UpdateFileGate.h"
#include "flasher/HidFeatureDevice.h"
#include "flasher/UpdateFileCheck.h"
#include "flasher/UpdateRun.h"
#include "hid/OsServices.h"

namespace zm880::cli {

namespace {

constexpr int kBarWidth = 30;

// Shells report a program ended by signal N with status 128 + N; a flash stopped by one ends
// with the same status, after it has closed the loader.
constexpr int kExitAfterSignal = 128;

// The signal that asked the update to stop; 0 while none did.
std::atomic<int> stopSignal{0};

void NoteStopSignal(int signal) {
    stopSignal.store(signal);
}

// Routes SIGINT and SIGTERM to a stop request for as long as the update runs, so that the page
// in flight is finished and the loader ended instead of the reader being left inside it.
class StopOnSignals {
  public:
    StopOnSignals() {
        stopSignal.store(0);
        previousInt_ = std::signal(SIGINT, NoteStopSignal);
        previousTerm_ = std::signal(SIGTERM, NoteStopSignal);
    }
    ~StopOnSignals() {
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

  private:
    void (*previousInt_)(int) = SIG_DFL;
    void (*previousTerm_)(int) = SIG_DFL;
};

// The update window's check on the chosen file: the extension from the last '.' must be
// exactly ".hex", capital letters refused.
bool HasUpdateFileExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return false;
    }
    return path.compare(dot, std::string::npos, ".hex") == 0;
}

// Page progress: a bar redrawn in place on a terminal, one line per page otherwise.
class ProgressPrinter final : public flasher::UpdateObserver {
  public:
    explicit ProgressPrinter(bool terminal)
        : terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

    void PageStarted(std::size_t page, std::size_t pageCount) override {
        Show(page, pageCount, page + 1);
    }

    bool StopRequested() override { return stopSignal.load() != 0; }

    void RunEnded(const flasher::UpdateResult& result) override {
        if (!terminal_ || !drawn_) {
            return;
        }
        if (result.ok()) {
            Show(flasher::kPageCount, flasher::kPageCount, flasher::kPageCount);
        }
        std::cout << '\n' << std::flush;
    }

  private:
    void Show(std::size_t pagesDone, std::size_t pageCount, std::size_t shownPage) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const std::size_t percent = pagesDone * 100 / pageCount;
        char line[128];
        if (!terminal_) {
            std::snprintf(line, sizeof line, "page %zu/%zu  %3zu%%  %.1f s\n", shownPage, pageCount,
                          percent, seconds);
            std::cout << line << std::flush;
            return;
        }
        const auto filled = static_cast<int>(pagesDone * kBarWidth / pageCount);
        std::snprintf(line, sizeof line, "\r[%-*s] page %2zu/%zu  %3zu%%  %.1f s", kBarWidth,
                      std::string(static_cast<std::size_t>(filled), '#').c_str(), shownPage,
                      pageCount, percent, seconds);
        std::cout << line << std::flush;
        drawn_ = true;
    }

    bool terminal_;
    std::chrono::steady_clock::time_point start_;
    bool drawn_ = false;
};

// One line: the step's message, then why and what the run left on the reader.
std::string FailureText(const flasher::UpdateResult& result) {
    const std::vector<std::string> lines = flasher::FailureLines(result);
    std::string text = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i) {
        text += (i == 1 ? " - " : "; ") + lines[i];
    }
    return text;
}

}  // namespace

void CheckUpdateFileBeforeSending(const std::string& file, bool allowPartial) {
    if (!HasUpdateFileExtension(file)) {
        throw CommandError(kExitUsage, "ERROR: Bad Update-File - the name must end in .hex");
    }
    const flasher::UpdateFileCheck check = flasher::CheckUpdateFile(file);
    if (check.Empty()) {
        throw CommandError(
            flasher::kUpdateFileNotFound,
            flasher::UpdateMessage(flasher::kUpdateFileNotFound) + " - " + flasher::NoDataReason());
    }
    if (!check.Partial()) {
        return;
    }
    const std::string warning = flasher::PartialFileWarning(file, check.pagesFilled);
    if (!allowPartial) {
        throw CommandError(kExitUsage, warning + "; add --allow-partial to update anyway");
    }
    std::cerr << "zm880ctl: warning: " << warning << '\n';
}

void AddFlashCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    auto file = std::make_shared<std::string>();
    auto allowPartial = std::make_shared<bool>(false);
    CLI::App* flash = app.add_subcommand(
        "flash",
        "Replace the reader's firmware from an update file (*.hex); exits with the "
        "update's step code: 0 ready, 1 file or loader status 2, 2 no reader object or "
        "status 3, 3 set report or status 4, 4 get report or status 5, 5 page checksum or "
        "status 6, 6 any other loader status; Ctrl+C or SIGTERM stop it after the page in "
        "flight and end the loader, with 130 or 143");
    flash->add_option("FILE", *file, "Intel HEX update file")->required();
    flash->add_flag("--allow-partial", *allowPartial,
                    "Update even when the file fills only some of the 20 pages (the others are "
                    "erased)");
    AddReaderOptions(*flash, *options);
    flash->callback([options, file, allowPartial, &exitCode] {
        CheckUpdateFileBeforeSending(*file, *allowPartial);
        ReaderAccess access(*options);
        const bool terminal = hid::StandardOutputIsTerminal();
        const StopOnSignals stopOnSignals;
        exitCode = RunOnReaders(access, [&](ReaderSession& session) {
            ProgressPrinter progress(terminal);
            flasher::UpdateRun run(flasher::FeatureDeviceOf(session.SelectedDevice()), &progress);
            const flasher::UpdateResult result = run.Run(*file);
            if (result.code == flasher::kUpdateStopped) {
                throw CommandError(kExitAfterSignal + stopSignal.load(), FailureText(result));
            }
            if (!result.ok()) {
                throw CommandError(result.code, FailureText(result));
            }
            if (!options->all) {
                std::cout << result.message << '\n';
            }
        });
    });
}

}  // namespace zm880::cli
