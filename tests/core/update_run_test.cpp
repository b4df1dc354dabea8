#include <gtest/gtest.h>

#include "flasher/UpdateRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "flasher/HidFeatureDevice.h"
#include "flasher/UpdateFileCheck.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "reader/ReaderSession.h"
#include "support/HexFiles.h"

namespace zm880::flasher {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FakeClock final : public UpdateClock {
  public:
    TimePoint Now() override { return now; }
    void WaitUntil(TimePoint until) override { now = std::max(now, until); }
    TimePoint now{};
};

constexpr std::size_t kEmptyPage = 5;

// Every page filled with a pattern except one, which the file leaves out.
FirmwareImage PatternImage() {
    FirmwareImage image;
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool empty = i / kPageSize == kEmptyPage;
        image[i] = empty ? 0xFF : static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    }
    return image;
}

std::string HexTextOf(const FirmwareImage& image) {
    std::string text;
    for (std::size_t offset = 0; offset < image.size(); offset += 16) {
        if (offset / kPageSize == kEmptyPage) {
            continue;
        }
        text += test::HexRecord(0, static_cast<unsigned>(kImageBase + offset),
                                Bytes(image.begin() + static_cast<std::ptrdiff_t>(offset),
                                      image.begin() + static_cast<std::ptrdiff_t>(offset + 16))) +
                "\n";
    }
    return text + test::HexRecord(1, 0, {}) + "\n";
}

using sim::Transfer;

Transfer Command(std::uint8_t code, std::uint8_t flashPage = 0) {
    return {Transfer::Kind::Set, {0x02, code, flashPage, 0x00}, true};
}
const Transfer kStatusRead{Transfer::Kind::Get, {0x05, 0x02}, true};
const Transfer kChecksumRead{Transfer::Kind::Get, {0x04, 0x00, 0x00}, true};
const std::vector<Transfer> kLoaderEnd{Command(0x06), kStatusRead};

// What the reader must receive for one page, written out from the loader's report layouts, with
// data reports of the length the reader declares (65 for the default reader).
std::vector<Transfer> PageTransfers(const FirmwareImage& image, std::size_t page,
                                    std::size_t dataLength = 65) {
    const auto flashPage = static_cast<std::uint8_t>(page + 10);
    std::vector<Transfer> sequence{Command(0x01, flashPage), kStatusRead, Command(0x02, flashPage),
                                   kStatusRead, Command(0x03, flashPage)};
    for (std::size_t k = 0; k < 9; ++k) {
        Bytes report(dataLength, 0xFF);
        report[0] = 0x03;
        for (std::size_t i = 0; i < 63 && k * 63 + i < kPageSize; ++i) {
            report[1 + i] = image[page * kPageSize + k * 63 + i];
        }
        sequence.push_back({Transfer::Kind::Set, report, true});
    }
    sequence.push_back(Command(0x04));
    sequence.push_back(kChecksumRead);
    return sequence;
}

std::vector<Transfer> Concat(std::initializer_list<std::vector<Transfer>> parts) {
    std::vector<Transfer> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A simulated bus with one reader, claimed through a session as the main window claims it, and
// an observer that handles device changes whenever the run lets events through.
class UpdateRunTest : public ::testing::Test, public UpdateObserver {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zm880-update-" + std::to_string(std::random_device{}()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        goodFile_ = WriteFile("firmware.hex", HexTextOf(PatternImage()));

        bus_ = std::make_shared<hid::SimulatedBus>();
        bus_->Add(std::make_unique<sim::ReaderModel>());
        controller_ = std::make_unique<hid::THidDeviceController>(
            bus_, [this](std::function<void()> task) { posted_.push_back(std::move(task)); });
        session_ = std::make_unique<ReaderSession>(*controller_);
        controller_->SetOnDeviceChange(
            [this](hid::THidDeviceController&) { session_->RebuildDeviceList(); });
        controller_->Loaded();
        ProcessEvents();
        ASSERT_TRUE(session_->HasReader());
    }
    void TearDown() override {
        session_.reset();
        controller_.reset();
        std::filesystem::remove_all(dir_);
    }

    std::string WriteFile(const std::string& name, const std::string& text) {
        const auto path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    sim::ReaderModel& Reader() { return bus_->Reader(0); }

    UpdateResult RunOnSelected(const std::string& path) {
        UpdateRun run(FeatureDeviceOf(session_->SelectedDevice()), this, &clock_);
        return run.Run(path);
    }

    void ExpectReceived(const std::vector<Transfer>& expected) {
        const std::vector<Transfer>& log = Reader().TransferLog();
        ASSERT_EQ(log.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(log[i].kind, expected[i].kind) << "transfer " << i;
            EXPECT_EQ(log[i].bytes, expected[i].bytes) << "transfer " << i;
        }
    }

    // The observer side.
    void ProcessEvents() override {
        ++eventPumps_;
        controller_->HandlePlatformChanges();
        while (!posted_.empty()) {
            const std::function<void()> task = std::move(posted_.front());
            posted_.pop_front();
            task();
        }
    }
    void PageStarted(std::size_t page, std::size_t pageCount) override {
        pages_.push_back(page);
        EXPECT_EQ(pageCount, kPageCount);
        if (onPage_) {
            onPage_(page);
        }
    }
    bool StopRequested() override { return stopBeforePage_ && *stopBeforePage_ == pages_.size(); }
    void Transferred(const TransferRecord& transfer) override {
        times_.push_back(clock_.Now());
        answers_.emplace_back(transfer.report.begin(), transfer.report.end());
        lastOk_ = transfer.ok;
    }
    void RunEnded(const UpdateResult& result) override {
        endedWith_ = result.code;
        transfersAtEnd_ = Reader().TransferLog().size();
    }

    std::filesystem::path dir_;
    std::string goodFile_;
    std::shared_ptr<hid::SimulatedBus> bus_;
    std::deque<std::function<void()>> posted_;
    std::unique_ptr<hid::THidDeviceController> controller_;
    std::unique_ptr<ReaderSession> session_;
    FakeClock clock_;

    std::function<void(std::size_t)> onPage_;
    std::optional<std::size_t> stopBeforePage_;  // pages sent before StopRequested says true
    int eventPumps_ = 0;
    std::vector<std::size_t> pages_;
    std::vector<UpdateClock::TimePoint> times_;
    std::vector<Bytes> answers_;
    bool lastOk_ = true;
    int endedWith_ = -1;
    std::size_t transfersAtEnd_ = 0;
};

TEST_F(UpdateRunTest, SuccessfulUpdateSendsEveryPageInOrderAndLandsTheImage) {
    const UpdateResult result = RunOnSelected(goodFile_);

    EXPECT_EQ(result.code, kUpdateReady);
    EXPECT_EQ(result.message, "ready");
    EXPECT_EQ(result.pagesWritten, kPageCount);
    EXPECT_EQ(endedWith_, kUpdateReady);

    const FirmwareImage image = PatternImage();
    std::vector<Transfer> expected{Command(0x34)};
    for (std::size_t page = 0; page < kPageCount; ++page) {
        expected = Concat({expected, PageTransfers(image, page)});
    }
    ExpectReceived(Concat({expected, kLoaderEnd}));
    EXPECT_EQ(Reader().Flash(), image);
    // RunEnded comes before the loader end, so a window shows its message first.
    EXPECT_EQ(transfersAtEnd_, expected.size());

    // The pause: at least 100 ms between the loader start and the first page, events pumped.
    ASSERT_GE(times_.size(), 2u);
    EXPECT_GE(times_[1] - times_[0], kLoaderStartPause);
    EXPECT_GE(eventPumps_, 2 + int(kPageCount));
    std::vector<std::size_t> allPages(kPageCount);
    for (std::size_t page = 0; page < kPageCount; ++page) {
        allPages[page] = page;
    }
    EXPECT_EQ(pages_, allPages);
}

TEST_F(UpdateRunTest, EmptyPageTravelsAsFillWithItsChecksum) {
    ASSERT_TRUE(RunOnSelected(goodFile_).ok());

    const auto landed = ImagePage(Reader().Flash(), kEmptyPage);
    EXPECT_TRUE(
        std::all_of(landed.begin(), landed.end(), [](std::uint8_t b) { return b == 0xFF; }));
    // The loader's answer to that page's checksum command (the page's last transfer).
    const std::size_t checksumRead = 1 + kEmptyPage * 16 + 15;
    EXPECT_EQ(answers_[checksumRead], (Bytes{0x04, 0x76, 0x37}));
}

TEST_F(UpdateRunTest, UnusableFileSendsOnlyTheLoaderEnd) {
    const std::string refused =
        WriteFile("refused.hex", test::HexRecord(0, 0x1400, {1, 2, 3}) + "\n\n");
    struct Case {
        std::string name;
        std::string path;
        std::size_t line;
        std::string reason;
    };
    std::vector<Case> cases{
        {"missing", (dir_ / "gone.hex").string(), 0, "the file does not exist"},
        {"refused by the reader (empty line 2)", refused, 2,
         "the update file was refused: line 2: empty line"},
        // Without data for the image, 20 pages of 0xFF would erase the firmware.
        {"0 bytes", WriteFile("empty.hex", ""), 0, NoDataReason()},
        {"data only outside the image",
         WriteFile("outside.hex", test::HexRecord(0, 0x13F0, Bytes(16, 0x11)) + "\n" +
                                      test::HexRecord(0, 0x3C00, {1, 2}) + "\n" +
                                      test::HexRecord(1, 0, {}) + "\n"),
         0, NoDataReason()},
    };
#ifndef _WIN32
    // A path the system cannot follow is there, not missing: the system's reason is said.
    const std::filesystem::path loop = dir_ / "loop.hex";
    std::filesystem::create_symlink(loop.filename(), loop);
    cases.push_back({"a link loop", loop.string(), 0,
                     "the update file was refused: cannot open " + loop.string() + ": " +
                         std::strerror(ELOOP)});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reader().ClearTransferLog();
        const UpdateResult result = RunOnSelected(c.path);
        EXPECT_EQ(result.code, kUpdateFileNotFound);
        EXPECT_EQ(result.message, "ERROR: File not found!");
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.fileLine, c.line);
        EXPECT_EQ(PagesNote(result), "");
        ExpectReceived(kLoaderEnd);
        EXPECT_TRUE(pages_.empty());
    }
}

TEST_F(UpdateRunTest, ChecksumMismatchOnFirstPageStopsBeforeTheNext) {
    Reader().Faults().wrongChecksumPage = 0;
    const UpdateResult result = RunOnSelected(goodFile_);

    EXPECT_EQ(result.code, kUpdateCrcError);
    EXPECT_EQ(result.message, "CRC Error during flash write");
    EXPECT_EQ(result.pagesWritten, 0u);
    const std::uint16_t expected = PageChecksum(ImagePage(PatternImage(), 0));
    char reason[160];
    std::snprintf(reason, sizeof reason,
                  "checksum mismatch on page 1 of 20 (flash address 0x1400): the loader reported "
                  "0x%04X, expected 0x%04X",
                  expected ^ 0xFFFFu, unsigned{expected});
    EXPECT_EQ(result.reason, reason);
    EXPECT_EQ(PagesNote(result), "page 1 of 20 may be damaged; the update must be run again");
    ExpectReceived(Concat({{Command(0x34)}, PageTransfers(PatternImage(), 0), kLoaderEnd}));
}

// Failures of single steps: the code and text, and how many transfers the reader saw before the
// closing loader end, which it always receives.
TEST_F(UpdateRunTest, StepFailuresEndTheRunWithTheirMessage) {
    struct Case {
        std::string name;
        std::function<void(sim::ReaderFaults&)> arrange;
        int code;
        std::string message;
        std::size_t transfersBeforeEnd;
    };
    const std::vector<Case> cases{
        {"status 2 to page command 0x01",
         [](sim::ReaderFaults& f) {
             f.statusAnswers.push_back({0x01, 0, 2});
         },
         1, "ERROR: File not found!", 3},
        {"status 6 to page command 0x02 on page 3",
         [](sim::ReaderFaults& f) {
             f.statusAnswers.push_back({0x02, 3, 6});
         },
         5, "CRC Error during flash write", 1 + 3 * 16 + 4},
        {"status read fails", [](sim::ReaderFaults& f) { f.failGet.insert(0x05); }, 4,
         "ERROR: get report", 3},
        {"checksum read fails", [](sim::ReaderFaults& f) { f.failGet.insert(0x04); }, 4,
         "ERROR: get report", 1 + 16},
        {"data report refused", [](sim::ReaderFaults& f) { f.failSet.insert(0x03); }, 3,
         "ERROR: set report", 1 + 5 + 1},
        {"loader start refused", [](sim::ReaderFaults& f) { f.failSet.insert(0x02); }, 3,
         "ERROR: set report", 1},
        {"unexpected status 0",
         [](sim::ReaderFaults& f) {
             f.statusAnswers.push_back({0x02, 0, 0});
         },
         6, "unexpected loader status 0", 5},
        {"unexpected status 7",
         [](sim::ReaderFaults& f) {
             f.statusAnswers.push_back({0x01, 1, 7});
         },
         6, "unexpected loader status 7", 1 + 16 + 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reader().Faults() = {};
        c.arrange(Reader().Faults());
        Reader().ClearTransferLog();
        const UpdateResult result = RunOnSelected(goodFile_);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.message, c.message);
        const std::vector<Transfer>& log = Reader().TransferLog();
        ASSERT_EQ(log.size(), c.transfersBeforeEnd + 2);
        EXPECT_EQ(log[c.transfersBeforeEnd].bytes, Command(0x06).bytes);
    }
}

// Every status byte the loader may answer to a page command: 1 goes on, 2 to 6 are the step
// codes 1 to 5 (status - 1), every other value is unexpected. The pages before stay replaced.
TEST_F(UpdateRunTest, EveryStatusAnswerEndsWithItsCodeAndReason) {
    for (int status = 0; status <= 255; ++status) {
        SCOPED_TRACE(status);
        Reader().Faults() = {};
        Reader().Faults().statusAnswers.push_back({0x02, 2, static_cast<std::uint8_t>(status)});
        const UpdateResult result = RunOnSelected(goodFile_);

        if (status == 1) {
            EXPECT_TRUE(result.ok());
            continue;
        }
        const int code = status >= 2 && status <= 6 ? status - 1 : kUpdateUnexpectedStatus;
        EXPECT_EQ(result.code, code);
        EXPECT_EQ(result.message, UpdateMessage(code, status));
        EXPECT_EQ(result.reason, status == 2
                                     ? "the loader refused the update (status 2)"
                                     : "the loader answered status " + std::to_string(status) +
                                           " to command 0x02 for page 3 of 20");
        EXPECT_EQ(PagesNote(result),
                  "pages 1 to 2 of 20 were replaced; the update must be run again");
    }
}

// Passes transfers to the reader until the n-th, which fails with the given cause.
class CutOffDevice final : public FeatureDevice {
  public:
    CutOffDevice(std::shared_ptr<FeatureDevice> inner, int failAt, hid::TransferError cause)
        : inner_(std::move(inner)), failAt_(failAt), cause_(std::move(cause)) {}

    bool GetFeatureReport(std::span<std::uint8_t> report) override {
        return Pass() && inner_->GetFeatureReport(report);
    }
    bool SetFeatureReport(std::span<const std::uint8_t> report) override {
        return Pass() && inner_->SetFeatureReport(report);
    }
    hid::TransferError LastTransferError() const override { return cause_; }
    std::optional<std::size_t> DeclaredLength(std::uint8_t reportId) override {
        return inner_->DeclaredLength(reportId);
    }

  private:
    bool Pass() { return transfers_++ != failAt_; }

    std::shared_ptr<FeatureDevice> inner_;
    int failAt_;
    hid::TransferError cause_;
    int transfers_ = 0;
};

TEST_F(UpdateRunTest, TransferFailuresNameTheirCauseAndWhatWasReplaced) {
    using Kind = hid::TransferError::Kind;
    struct Case {
        int failAt;
        hid::TransferError cause;
        int code;
        std::string reason;
        std::string pages;
    };
    // Transfer 0 is the loader start; page p starts at 1 + 16p; its data reports at +6 to +14.
    const Case cases[] = {
        {0,
         {Kind::Removed, {}},
         kUpdateSetReportError,
         "the reader was removed",
         "no page was replaced"},
        {1 + 16 * 3 + 3,
         {Kind::NoAnswer, {}},
         kUpdateGetReportError,
         "the reader did not answer",
         "pages 1 to 3 of 20 were replaced; the update must be run again"},
        {1 + 16 + 7,
         {Kind::Failed, "Broken pipe"},
         kUpdateSetReportError,
         "the transfer failed: Broken pipe",
         "page 1 of 20 was replaced and page 2 of 20 may be damaged; the update must be run again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.failAt);
        UpdateRun run(std::make_shared<CutOffDevice>(FeatureDeviceOf(session_->SelectedDevice()),
                                                     c.failAt, c.cause),
                      this, &clock_);
        const UpdateResult result = run.Run(goodFile_);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(PagesNote(result), c.pages);
        const std::vector<std::string> lines = FailureLines(result);
        EXPECT_EQ(lines, (std::vector<std::string>{UpdateMessage(c.code), c.reason, c.pages}));
    }
}

TEST_F(UpdateRunTest, UnplugMidRunEndsWithTheFailedTransfersCode) {
    struct Case {
        int answered;
        int code;
        std::size_t pagesWritten;
    };
    // Transfer 50 is page 3's first status read; transfer 60 one of page 3's data reports.
    for (const Case& c : {Case{50, 4, 3}, Case{60, 3, 3}, Case{0, 3, 0}}) {
        SCOPED_TRACE(c.answered);
        Reader().ClearTransferLog();
        Reader().Link().unplugAfterTransfers = c.answered;
        const UpdateResult result = RunOnSelected(goodFile_);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.pagesWritten, c.pagesWritten);
        EXPECT_EQ(Reader().TransferLog().size(), std::size_t(c.answered));
        EXPECT_FALSE(lastOk_);
        // The unplug at the loader start is handled in the pause, while the run still holds
        // the reader; later ones after it.
        ProcessEvents();
        EXPECT_FALSE(session_->HasReader());
        bus_->Plug(0);
        ProcessEvents();
        ASSERT_TRUE(session_->HasReader());
    }
}

// A stop request (Ctrl+C in the command line) ends the run at a page boundary: the pages sent
// stay, the loader is ended, and the lines say which pages were replaced.
TEST_F(UpdateRunTest, StopRequestEndsTheRunAtAPageBoundaryAndEndsTheLoader) {
    struct Case {
        std::size_t pagesBeforeStop;
        std::string reason;
        std::string pages;
    };
    const Case cases[] = {
        {0, "interrupted before the loader was started", ""},
        {6, "interrupted before page 7 of 20",
         "pages 1 to 6 of 20 were replaced; the update must be run again"},
        {19, "interrupted before page 20 of 20",
         "pages 1 to 19 of 20 were replaced; the update must be run again"},
    };
    const FirmwareImage image = PatternImage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pagesBeforeStop);
        Reader().Flash().fill(0xFF);
        Reader().ClearTransferLog();
        pages_.clear();
        // Asked before the loader start too: a stop there starts nothing.
        stopBeforePage_ = c.pagesBeforeStop;
        const bool beforeStart = c.pagesBeforeStop == 0;
        const UpdateResult result = RunOnSelected(goodFile_);

        EXPECT_EQ(result.code, kUpdateStopped);
        EXPECT_EQ(result.message, "update stopped");
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.pagesWritten, c.pagesBeforeStop);
        EXPECT_EQ(PagesNote(result), c.pages);
        std::vector<Transfer> expected;
        if (!beforeStart) {
            expected.push_back(Command(0x34));
        }
        for (std::size_t page = 0; page < c.pagesBeforeStop; ++page) {
            expected = Concat({expected, PageTransfers(image, page)});
        }
        ExpectReceived(Concat({expected, kLoaderEnd}));
        EXPECT_FALSE(Reader().Loader().active);
        for (std::size_t page = 0; page < kPageCount; ++page) {
            const auto landed = ImagePage(Reader().Flash(), page);
            const auto sent = ImagePage(image, page);
            const bool replaced = page < c.pagesBeforeStop;
            EXPECT_EQ(std::equal(landed.begin(), landed.end(), sent.begin()),
                      replaced || page == kEmptyPage)
                << "page " << page;
        }
    }
}

TEST_F(UpdateRunTest, DeviceListRebuiltMidRunCannotPullTheReaderAway) {
    // Another reader arrives at page 4: the next event pump rebuilds the list, releasing every
    // entry the session held, the one in use included. The run's own claim keeps the reader.
    const std::weak_ptr<hid::THidDevice> inUse = session_->SelectedDevice();
    onPage_ = [this](std::size_t page) {
        if (page == 4) {
            bus_->Add(std::make_unique<sim::ReaderModel>());
        }
    };
    {
        UpdateRun run(FeatureDeviceOf(session_->SelectedDevice()), this, &clock_);
        const UpdateResult result = run.Run(goodFile_);

        EXPECT_EQ(result.code, kUpdateReady);
        EXPECT_EQ(Reader().Flash(), PatternImage());
        EXPECT_EQ(session_->Entries().size(), 2u);
        EXPECT_FALSE(inUse.expired());
    }
    // The rebuild shared the run's claim, so the list still reaches the reader afterwards.
    ASSERT_FALSE(inUse.expired());
    EXPECT_EQ(session_->Entries()[0].Device, inUse.lock());
}

// Each loader report goes out at the length the reader's descriptor declares for it; a reader
// whose data report cannot carry 63 page bytes is refused before its loader is started.
TEST_F(UpdateRunTest, ReportsTravelAtTheLengthsTheReaderDeclares) {
    struct Case {
        std::size_t featureLength;
        int code;
        std::string reason;
    };
    const Case cases[] = {
        {65, kUpdateReady, ""},
        {64, kUpdateReady, ""},
        {200, kUpdateReady, ""},
        {33, kUpdateSetReportError,
         "the reader declares feature report 0x03 as 33 bytes; the loader needs 64"},
    };
    const FirmwareImage image = PatternImage();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.featureLength);
        // A new plug, so that the reader's descriptor is read afresh.
        bus_->Unplug(0);
        ProcessEvents();
        Reader().SetFeatureReportLength(c.featureLength);
        Reader().Flash().fill(0xFF);
        bus_->Plug(0);
        ProcessEvents();
        Reader().ClearTransferLog();

        const UpdateResult result = RunOnSelected(goodFile_);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.reason, c.reason);
        if (c.code != kUpdateReady) {
            EXPECT_EQ(PagesNote(result), "");
            ExpectReceived(kLoaderEnd);
            continue;
        }
        std::vector<Transfer> expected{Command(0x34)};
        for (std::size_t page = 0; page < kPageCount; ++page) {
            expected = Concat({expected, PageTransfers(image, page, c.featureLength)});
        }
        ExpectReceived(Concat({expected, kLoaderEnd}));
        EXPECT_EQ(Reader().Flash(), image);
    }
}

TEST_F(UpdateRunTest, NoDeviceIsAnAccessErrorWithoutAnyTransfer) {
    UpdateRun run(FeatureDeviceOf(nullptr), this, &clock_);
    const UpdateResult result = run.Run(goodFile_);
    EXPECT_EQ(result.code, kUpdateAccessError);
    EXPECT_EQ(result.message, "ACCESS ERROR");
    EXPECT_TRUE(times_.empty());
    EXPECT_TRUE(Reader().TransferLog().empty());
}

}  // namespace
}  // namespace zm880::flasher
