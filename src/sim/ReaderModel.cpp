#include "sim/ReaderModel.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>

#include "reader/ReaderSettings.h"

namespace zm880::sim {
namespace {

// Byte-wise append: inserting an initializer list into the descriptor trips a false
// array-bounds warning of the optimiser.
void Append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) {
        out.push_back(byte);
    }
}

constexpr std::uint8_t kDefaultVersionByte = 21;
constexpr std::uint16_t kDefaultVersionNumber = 0x0100;
constexpr std::size_t kDataBytesPerReport = 63;

// Payload bytes each report needs; the data report takes whatever the length allows.
struct DeclaredReport {
    std::uint8_t id;
    std::size_t payload;
};
constexpr std::array<DeclaredReport, 5> kReports = {{
    {report::Command, 3},
    {report::Data, kSettingsRecordSize},
    {report::Checksum, 2},
    {report::Status, 1},
    {report::Reset, 3},
}};

void AppendCount(std::vector<std::uint8_t>& out, std::size_t count) {
    if (count <= 0xFF) {
        Append(out, {0x95, static_cast<std::uint8_t>(count)});
    } else {
        Append(out, {0x96, static_cast<std::uint8_t>(count & 0xFF),
                     static_cast<std::uint8_t>(count >> 8)});
    }
}

std::optional<int> ImagePageOf(std::uint8_t flashPage) {
    const int page = flashPage - flasher::kFlashPageOffset;
    if (page < 0 || page >= static_cast<int>(flasher::kPageCount)) {
        return std::nullopt;
    }
    return page;
}

void FillAnswer(std::span<std::uint8_t> report, std::initializer_list<std::uint8_t> answer) {
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    std::copy_n(answer.begin(), std::min(answer.size(), report.size()), report.begin());
}

}  // namespace

ReaderModel::ReaderModel()
    : DeviceModel({kReaderVendorId, kReaderProductId, kDefaultVersionNumber, "Tavrenix",
                   "ZM-880 RFID Reader"}),
      settings_(DefaultSettings()) {}

FlashImage& ReaderModel::Flash() {
    if (!flash_) {
        flash_ = std::make_unique<FlashImage>(std::as_const(*this).Flash());
    }
    return *flash_;
}

const FlashImage& ReaderModel::Flash() const {
    static const FlashImage erased = [] {
        FlashImage image;
        image.fill(0xFF);
        return image;
    }();
    return flash_ ? *flash_ : erased;
}

SettingsRecord ReaderModel::DefaultSettings() {
    ReportBuffer buffer{};
    buffer[0] = report::Data;
    buffer[1] = 1;
    buffer[2] = kDefaultVersionByte;
    ApplyDefaults(buffer);
    SettingsRecord record;
    std::copy_n(buffer.begin(), record.size(), record.begin());
    return record;
}

void ReaderModel::SetFeatureReportLength(std::size_t length) {
    if (length > kMaxFeatureReportLength) {
        throw std::invalid_argument("feature report length " + std::to_string(length) +
                                    " is longer than a HID report can be");
    }
    featureReportLength_ = length;
}

std::vector<std::uint8_t> ReaderModel::ReportDescriptor() const {
    std::vector<std::uint8_t> out = {
        0x06, 0x00, 0xFF,  // vendor-defined usage page
        0x09, 0x01,        // usage 1
        0xA1, 0x01,        // application collection
    };
    if (featureReportLength_ > 0) {
        Append(out, {0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08});  // bytes 0..255
        for (const DeclaredReport& declared : kReports) {
            Append(out, {0x85, declared.id, 0x09, declared.id});
            AppendCount(out, DeclaredLength(declared.id) - 1);
            Append(out, {0xB1, 0x02});  // feature: data, variable, absolute
        }
    }
    out.push_back(0xC0);
    return out;
}

std::size_t ReaderModel::DeclaredLength(std::uint8_t reportId) const {
    if (featureReportLength_ == 0) {
        return 0;
    }
    const std::size_t longest = featureReportLength_ - 1;
    for (const DeclaredReport& declared : kReports) {
        if (declared.id == reportId) {
            const std::size_t payload =
                declared.id == report::Data ? longest : std::min(declared.payload, longest);
            return payload + 1;
        }
    }
    return 0;
}

bool ReaderModel::MovesAtItsLength(std::span<const std::uint8_t> report) const {
    const std::size_t declared = DeclaredLength(report[0]);
    return declared > 0 && (report.size() == declared || report.size() == featureReportLength_);
}

bool ReaderModel::AnswerGet(std::span<std::uint8_t> report) {
    const std::uint8_t id = report[0];
    if (!MovesAtItsLength(report) || faults_.failGet.contains(id)) {
        return false;
    }
    switch (id) {
        case report::Data:
            if (loader_.active) {
                return false;  // the loader holds no settings record
            }
            for (std::size_t i = 1; i < report.size(); ++i) {
                report[i] = i < settings_.size() ? settings_[i] : 0;
            }
            report[0] = report::Data;
            return true;
        case report::Checksum:
            FillAnswer(report, {report::Checksum, static_cast<std::uint8_t>(loader_.checksum),
                                static_cast<std::uint8_t>(loader_.checksum >> 8)});
            return true;
        case report::Status:
            FillAnswer(report, {report::Status, loader_.status});
            return true;
        case report::Command:
            FillAnswer(report,
                       {lastCommand_[0], lastCommand_[1], lastCommand_[2], lastCommand_[3]});
            return true;
        default:
            FillAnswer(report, {id});
            return true;
    }
}

bool ReaderModel::TakeSet(std::span<const std::uint8_t> report) {
    const std::uint8_t id = report[0];
    if (!MovesAtItsLength(report) || faults_.failSet.contains(id)) {
        return false;
    }
    switch (id) {
        case report::Command:
            if (report.size() < 2) {
                return false;
            }
            RunCommand(report);
            return true;
        case report::Data:
            if (loader_.active) {
                return TakePageData(report);
            }
            std::copy_n(report.begin() + 1, std::min(report.size(), settings_.size()) - 1,
                        settings_.begin() + 1);
            return true;
        case report::Reset:
            loader_ = LoaderState{};
            return true;
        default:
            return false;  // checksum and status only answer
    }
}

std::uint8_t ReaderModel::StatusFor(std::uint8_t code, std::optional<int> page,
                                    bool accepted) const {
    for (const StatusAnswer& forced : faults_.statusAnswers) {
        if (forced.command == code && (!forced.page || forced.page == page)) {
            return forced.status;
        }
    }
    if (accepted) {
        return kStatusAccepted;
    }
    return loader_.active ? kStatusLoaderRefused : kStatusRefused;
}

void ReaderModel::RunCommand(std::span<const std::uint8_t> report) {
    lastCommand_.fill(0);
    std::copy_n(report.begin(), std::min(report.size(), lastCommand_.size()), lastCommand_.begin());
    const std::uint8_t code = lastCommand_[1];
    const std::optional<int> page = ImagePageOf(lastCommand_[2]);

    if (code == command::LoaderStart) {
        loader_ = LoaderState{};
        loader_.active = true;
        loader_.status = StatusFor(code, std::nullopt, true);
        return;
    }
    if (code == command::LoaderEnd) {
        loader_ = LoaderState{};
        loader_.status = StatusFor(code, std::nullopt, true);
        return;
    }
    if (!loader_.active) {
        loader_.status = StatusFor(code, page, false);
        return;
    }
    switch (code) {
        case command::PagePrepare:
        case command::PageCheck:
            loader_.status = StatusFor(code, page, page.has_value());
            return;
        case command::PageWrite:
            loader_.writePage = page;
            loader_.received = 0;
            loader_.page = ErasedPage();
            loader_.status = StatusFor(code, page, page.has_value());
            return;
        case command::PageChecksum:
            loader_.checksum = flasher::PageChecksum(loader_.page.View());
            if (loader_.writePage && faults_.wrongChecksumPage == loader_.writePage) {
                loader_.checksum ^= 0xFFFF;
            }
            loader_.status = StatusFor(code, loader_.writePage, true);
            return;
        default:
            loader_.status = StatusFor(code, page, false);
            return;
    }
}

bool ReaderModel::TakePageData(std::span<const std::uint8_t> report) {
    if (!loader_.writePage || loader_.received >= flasher::kPageSize) {
        return false;
    }
    const std::size_t chunk = std::min(kDataBytesPerReport, flasher::kPageSize - loader_.received);
    std::copy_n(report.begin() + 1, std::min(chunk, report.size() - 1),
                loader_.page.Edit().begin() + static_cast<std::ptrdiff_t>(loader_.received));
    loader_.received += chunk;
    if (loader_.received == flasher::kPageSize) {
        const LoaderPage::Bytes& written = loader_.page.View();
        std::copy(written.begin(), written.end(),
                  Flash().begin() + static_cast<std::ptrdiff_t>(*loader_.writePage) *
                                        static_cast<std::ptrdiff_t>(flasher::kPageSize));
    }
    return true;
}

}  // namespace zm880::sim
