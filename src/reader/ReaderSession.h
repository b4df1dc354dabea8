#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "reader/ReaderSettings.h"
#include "reader/ReportBuffer.h"

namespace zm880::hid {
class THidDevice;
class THidDeviceController;
}  // namespace zm880::hid

namespace zm880 {

// The only vendor and product pair that is a supported reader.
inline constexpr std::uint16_t kReaderVendorId = 0x169B;
inline constexpr std::uint16_t kReaderProductId = 0x0710;

// Udev rule that grants users access to the readers; named in every "not accessible" message.
// What the user can do about a reader that is present but may not be opened.
#ifdef _WIN32
inline constexpr const char* kAccessHint = "another program may have it open";
#else
inline constexpr const char* kAccessHint = "install the udev rule packaging/linux/70-zm880.rules";
#endif

// Shortest feature report, report ID included, that carries every field of the settings record
// (the encode writes up to byte 25).
inline constexpr std::size_t kMinSettingsReportLength = 26;

// Indices of the record bytes that an encode with this stored reader type writes.
std::vector<std::size_t> EncodedByteIndices(std::uint8_t readerType);
// Those of them, below `length`, where a record read back differs from the one written.
std::vector<std::size_t> DifferingEncodedBytes(const ReportBuffer& written,
                                               const ReportBuffer& readBack,
                                               std::uint8_t readerType, std::size_t length);

// A claimed reader; the last copy going away releases the claim.
using ReaderDevice = std::shared_ptr<hid::THidDevice>;

// One entry of the device list: its text and the reader claimed for it (empty when the claim was
// refused).
struct DeviceEntry {
    std::string Text;
    ReaderDevice Device;
};

// Outcome of one report operation. `Selected` is false when there was no reader to talk to;
// `Ok` is true only when the transfer itself succeeded; `Message` says why not, for the user.
struct TransferResult {
    bool Selected = false;
    bool Ok = false;
    std::size_t Length = 0;  // bytes moved or meant to be moved, report ID included
    std::string Message;
};

// The reader-facing state of the main window without any window: the report buffer, the stored
// reader type, the device list and the device of the last transfer. The window and the command
// line both drive readers through it.
class ReaderSession {
  public:
    explicit ReaderSession(hid::THidDeviceController& controller);
    ~ReaderSession();
    ReaderSession(const ReaderSession&) = delete;
    ReaderSession& operator=(const ReaderSession&) = delete;

    // Device list. Rebuild releases every entry (errors swallowed), clears the list and the
    // device of the last transfer, enumerates the controller's devices and claims every
    // supported reader; the selection returns to entry 0. Call it on every device change.
    void RebuildDeviceList();
    const std::vector<DeviceEntry>& Entries() const { return entries_; }
    bool HasReader() const { return !entries_.empty(); }
    // The window always works with entry 0; the command line may choose another.
    void Select(std::size_t index);
    std::size_t SelectedIndex() const { return selected_; }
    ReaderDevice SelectedDevice() const;

    // Text of a device-list entry for the given identity and product string.
    static std::string EntryText(std::uint16_t vendorId, std::uint16_t productId,
                                 const std::string& productText);

    // The reader that the last report operation used; empty before the first one and after
    // every rebuild, so a released reader can never be addressed through it.
    ReaderDevice CurrentDevice() const { return currentDevice_.lock(); }
    // Sets the device of the last transfer to the selected reader, as the reset does.
    void TakeSelectedAsCurrent();

    ReportBuffer& Buffer() { return buffer_; }
    const ReportBuffer& Buffer() const { return buffer_; }
    std::uint8_t StoredReaderType() const { return storedReaderType_; }
    void SetStoredReaderType(std::uint8_t type) { storedReaderType_ = type; }

    // Report operations on the selected reader. Both clear and then set the device of the last
    // transfer, put `reportId` in byte 0 and move the reader's feature report length from or
    // into the buffer. A failed read leaves the buffer as it was apart from byte 0.
    // Report 3 is the settings record: a reader whose report is too short to carry its fields is
    // refused (LengthProblem) before anything moves.
    TransferResult ReadReport(std::uint8_t reportId);
    TransferResult WriteReport(std::uint8_t reportId);
    // ReadReport for the raw console, which shows any report as it comes, however short.
    TransferResult ReadRawReport(std::uint8_t reportId);

    // One feature transfer of `length` bytes from byte 0 of `buffer`. Refused (not Ok, with a
    // message) when the device is empty, `length` is 0, above the buffer or above the longest
    // report the report buffer holds. A failure's message names the cause; a reader that refuses
    // the settings record because its update was cut short is recognised and told to be updated
    // again.
    static TransferResult ReadFeatureFrom(const ReaderDevice& device,
                                          std::span<std::uint8_t> buffer, std::size_t length);
    static TransferResult WriteFeatureTo(const ReaderDevice& device,
                                         std::span<const std::uint8_t> bytes, std::size_t length);

    // FeatureReportByteLength of a reader (0 for none or when its capabilities cannot be read).
    static std::size_t FeatureLength(const ReaderDevice& device);
    // Why transfers with a reader of this feature report length are refused; empty when fine.
    // With the settings report's ID, a length too short for the record's fields is refused too.
    static std::string LengthProblem(std::size_t featureLength,
                                     std::optional<std::uint8_t> reportId = std::nullopt);
    // Message for a reader that is present but cannot be opened for transfers; empty otherwise.
    static std::string AccessProblem(const ReaderDevice& device);
    // Whether the reader is still running its firmware loader (an update did not finish), at any
    // step of it. Asks with reads only, so it is safe before anything is written. WriteReport
    // asks before every settings record it sends and refuses to send one to a loader.
    static bool IsInFirmwareLoader(const ReaderDevice& device);

    // Read Config: the settings record into the buffer. Reset Default: the default record into
    // bytes 3 to 25.
    TransferResult ReadConfig() { return ReadReport(kSettingsReportId); }
    void ResetDefault() { ApplyDefaults(buffer_); }

    // The codec on the session's buffer and stored reader type.
    bool Decode(ReaderSettings& settings) {
        return DecodeSettings(buffer_, settings, storedReaderType_);
    }
    void Encode(const ReaderSettings& settings) {
        EncodeSettings(settings, storedReaderType_, buffer_);
    }

  private:
    bool OnEnumerate(hid::THidDevice& device, int index);
    void ReleaseEntries();
    // Every report operation first forgets the last device, then takes the selected reader as
    // the current one and puts the report ID in byte 0; null when no reader is selected.
    ReaderDevice StartReportOperation(std::uint8_t reportId);
    TransferResult ReadReportInto(std::uint8_t reportId, bool asSettings);
    // A refusal (non-empty Message) when `reportId` is the settings record's and the reader's
    // report cannot carry it; an inaccessible reader is left to the transfer's own refusal.
    static TransferResult RefusedAsSettings(const ReaderDevice& device, std::uint8_t reportId);

    hid::THidDeviceController& controller_;
    ReportBuffer buffer_{};
    std::uint8_t storedReaderType_ = 0;
    std::vector<DeviceEntry> entries_;
    std::size_t selected_ = 0;
    std::weak_ptr<hid::THidDevice> currentDevice_;
};

}  // namespace zm880
