#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "flasher/FirmwareImage.h"
#include "sim/DeviceModel.h"

namespace zm880::sim {

inline constexpr std::uint16_t kReaderVendorId = 0x169B;
inline constexpr std::uint16_t kReaderProductId = 0x0710;
inline constexpr std::size_t kSettingsRecordSize = 64;
// Report ID byte plus the 64 bytes of the longest report.
inline constexpr std::size_t kDefaultFeatureReportLength = 65;
inline constexpr std::size_t kMaxFeatureReportLength = 0xFFFF;

// Report IDs the reader understands.
namespace report {
inline constexpr std::uint8_t Command = 2;
inline constexpr std::uint8_t Data = 3;  // settings record; page data while the loader runs
inline constexpr std::uint8_t Checksum = 4;
inline constexpr std::uint8_t Status = 5;
inline constexpr std::uint8_t Reset = 6;
}  // namespace report

// Command codes of report 2.
namespace command {
inline constexpr std::uint8_t PagePrepare = 0x01;
inline constexpr std::uint8_t PageCheck = 0x02;
inline constexpr std::uint8_t PageWrite = 0x03;
inline constexpr std::uint8_t PageChecksum = 0x04;
inline constexpr std::uint8_t LoaderEnd = 0x06;
inline constexpr std::uint8_t LoaderStart = 0x34;
}  // namespace command

inline constexpr std::uint8_t kStatusAccepted = 1;
// What the firmware answers to loader commands it does not run.
inline constexpr std::uint8_t kStatusRefused = 0;
// What the loader answers to a command it refuses (the host's step code 1).
inline constexpr std::uint8_t kStatusLoaderRefused = 2;

// A status answer forced onto a command: `page` is the image page (flash page - 10) and matches
// any page when absent, as for commands without a page.
struct StatusAnswer {
    std::uint8_t command = 0;
    std::optional<int> page;
    std::uint8_t status = 0;

    bool operator==(const StatusAnswer&) const = default;
};

struct ReaderFaults {
    std::set<std::uint8_t> failGet;        // report IDs whose GET fails
    std::set<std::uint8_t> failSet;        // report IDs whose SET fails
    std::optional<int> wrongChecksumPage;  // image page whose checksum answer is wrong
    std::vector<StatusAnswer> statusAnswers;

    bool operator==(const ReaderFaults&) const = default;
};

constexpr std::array<std::uint8_t, flasher::kPageSize> ErasedPage() {
    std::array<std::uint8_t, flasher::kPageSize> page{};
    page.fill(0xFF);
    return page;
}

// The loader's page buffer. Held on the heap only while it differs from an erased page: most
// readers of a large bus never see an update, and their loader keeps no page of its own.
class LoaderPage {
  public:
    using Bytes = std::array<std::uint8_t, flasher::kPageSize>;

    LoaderPage() = default;
    LoaderPage(const LoaderPage& other) { *this = other; }
    LoaderPage(LoaderPage&&) noexcept = default;
    LoaderPage& operator=(const LoaderPage& other) {
        bytes_ = other.bytes_ ? std::make_unique<Bytes>(*other.bytes_) : nullptr;
        return *this;
    }
    LoaderPage& operator=(LoaderPage&&) noexcept = default;
    ~LoaderPage() = default;
    LoaderPage& operator=(const Bytes& bytes) {
        bytes_ = bytes == kErased ? nullptr : std::make_unique<Bytes>(bytes);
        return *this;
    }

    const Bytes& View() const { return bytes_ ? *bytes_ : kErased; }
    Bytes& Edit() {
        if (!bytes_) {
            bytes_ = std::make_unique<Bytes>(kErased);
        }
        return *bytes_;
    }

    bool operator==(const LoaderPage& other) const { return View() == other.View(); }

  private:
    static constexpr Bytes kErased = ErasedPage();
    std::unique_ptr<Bytes> bytes_;
};

// The loader's registers and the page being written. While the loader runs, report 3 is its page
// data and the settings record cannot be read or written; the status register answers what the
// last command got, the firmware's 0 never.
struct LoaderState {
    bool active = false;
    std::uint8_t status = kStatusRefused;
    std::uint16_t checksum = 0;
    std::optional<int> writePage;  // image page that data reports go to
    std::size_t received = 0;      // page bytes received so far
    LoaderPage page;

    bool operator==(const LoaderState&) const = default;
};

using SettingsRecord = std::array<std::uint8_t, kSettingsRecordSize>;
using FlashImage = flasher::FirmwareImage;

// A ZM-880 reader: its settings record (feature report 3), its loader and its flash from 0x1400.
class ReaderModel : public DeviceModel {
  public:
    ReaderModel();

    // Report ID byte included; 0 means the reader declares no feature report.
    std::size_t FeatureReportLength() const { return featureReportLength_; }
    void SetFeatureReportLength(std::size_t length);
    // Length of report `reportId`, report ID included, as the descriptor declares it; 0 for a
    // report it does not declare.
    std::size_t DeclaredLength(std::uint8_t reportId) const;

    SettingsRecord& Settings() { return settings_; }
    const SettingsRecord& Settings() const { return settings_; }
    void SetReaderType(std::uint8_t type) { settings_[8] = type; }
    void SetVersionByte(std::uint8_t version) { settings_[2] = version; }

    FlashImage& Flash();
    const FlashImage& Flash() const;

    LoaderState& Loader() { return loader_; }
    const LoaderState& Loader() const { return loader_; }

    ReaderFaults& Faults() { return faults_; }
    const ReaderFaults& Faults() const { return faults_; }

    std::vector<std::uint8_t> ReportDescriptor() const override;

    // The record a new reader holds: default settings, reader type 0.
    static SettingsRecord DefaultSettings();

  protected:
    bool AnswerGet(std::span<std::uint8_t> report) override;
    bool TakeSet(std::span<const std::uint8_t> report) override;

  private:
    // A declared report moves at its own length, or padded to the longest one as Windows hands
    // every feature report over; a HID stack refuses any other size.
    bool MovesAtItsLength(std::span<const std::uint8_t> report) const;
    void RunCommand(std::span<const std::uint8_t> report);
    bool TakePageData(std::span<const std::uint8_t> report);
    std::uint8_t StatusFor(std::uint8_t code, std::optional<int> page, bool accepted) const;

    std::size_t featureReportLength_ = kDefaultFeatureReportLength;
    SettingsRecord settings_;
    // Erased flash until written: most readers of a large bus never see an update, and a bus
    // keeps only what differs from a default reader.
    std::unique_ptr<FlashImage> flash_;
    LoaderState loader_;
    ReaderFaults faults_;
    std::array<std::uint8_t, 4> lastCommand_{report::Command, 0, 0, 0};
};

}  // namespace zm880::sim
