#include "reader/ReaderSession.h"

#include <cstdio>
#include <span>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "reader/HexText.h"

namespace zm880 {

std::vector<std::size_t> EncodedByteIndices(std::uint8_t readerType) {
    std::vector<std::size_t> indices = {1, 3, 4, 5, 6, 7, 9, 10, 11};
    if (IsMultiTechnologyType(readerType)) {
        indices.insert(indices.end(), {12, 13, 14, 15, 16, 17, 18, 20, 24, 25});
    } else if (readerType == kLegicReaderType) {
        indices.insert(indices.end(), {12, 13, 14, 15});
    } else {
        indices.insert(indices.end(), {12, 14, 15});
    }
    return indices;
}

std::vector<std::size_t> DifferingEncodedBytes(const ReportBuffer& written,
                                               const ReportBuffer& readBack,
                                               std::uint8_t readerType, std::size_t length) {
    std::vector<std::size_t> differing;
    for (std::size_t index : EncodedByteIndices(readerType)) {
        if (index < length && written[index] != readBack[index]) {
            differing.push_back(index);
        }
    }
    return differing;
}

ReaderSession::ReaderSession(hid::THidDeviceController& controller) : controller_(controller) {}

ReaderSession::~ReaderSession() {
    controller_.SetOnEnumerate(nullptr);
    ReleaseEntries();
}

void ReaderSession::ReleaseEntries() {
    // Dropping the last copy of a claim releases it; the controller absorbs what goes wrong.
    for (DeviceEntry& entry : entries_) {
        entry.Device.reset();
    }
    entries_.clear();
}

void ReaderSession::RebuildDeviceList() {
    ReleaseEntries();
    currentDevice_.reset();
    selected_ = 0;
    controller_.SetOnEnumerate(
        [this](hid::THidDevice& device, int index) { return OnEnumerate(device, index); });
    controller_.EnumerateDevices();
}

bool ReaderSession::OnEnumerate(hid::THidDevice& device, int index) {
    const hid::Attributes& attributes = device.Attributes();
    if (attributes.VendorID != kReaderVendorId || attributes.ProductID != kReaderProductId) {
        return true;
    }
    std::string text = EntryText(attributes.VendorID, attributes.ProductID, device.ProductText());
    entries_.push_back({std::move(text), controller_.ClaimOrShare(index)});
    return true;
}

std::string ReaderSession::EntryText(std::uint16_t vendorId, std::uint16_t productId,
                                     const std::string& productText) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID=%.4X PID=%.4X", static_cast<unsigned>(vendorId),
                  static_cast<unsigned>(productId));
    if (productText.empty()) {
        return std::string("Not Supported Device ") + ids;
    }
    return productText + " - " + ids;
}

void ReaderSession::Select(std::size_t index) {
    if (index < entries_.size()) {
        selected_ = index;
    }
}

ReaderDevice ReaderSession::SelectedDevice() const {
    return selected_ < entries_.size() ? entries_[selected_].Device : nullptr;
}

void ReaderSession::TakeSelectedAsCurrent() {
    if (ReaderDevice device = SelectedDevice()) {
        currentDevice_ = device;
    }
}

std::size_t ReaderSession::FeatureLength(const ReaderDevice& device) {
    return device ? device->QueryCaps().FeatureReportByteLength : 0;
}

std::string ReaderSession::LengthProblem(std::size_t featureLength,
                                         std::optional<std::uint8_t> reportId) {
    const std::string reported = "the reader's feature report is " + std::to_string(featureLength) +
                                 (featureLength == 1 ? " byte long" : " bytes long");
    if (featureLength == 0) {
        return "the reader reports no feature report length";
    }
    if (featureLength > kMaxFeatureReportLength) {
        return reported + "; at most " + std::to_string(kMaxFeatureReportLength) + " are supported";
    }
    if (reportId == kSettingsReportId && featureLength < kMinSettingsReportLength) {
        return reported + "; the settings record needs " + std::to_string(kMinSettingsReportLength);
    }
    return {};
}

std::string ReaderSession::AccessProblem(const ReaderDevice& device) {
    if (!device || !device->AccessDenied()) {
        return {};
    }
    return "reader " + device->PnPInfo().DevicePath +
           " is present but not accessible (no permission); " + kAccessHint;
}

namespace {

constexpr const char* kNoReaderMessage = "no reader is attached";

// The loader's status report: ID 5, at least two bytes. The firmware answers it with 0; the
// loader with the status of its last command, never 0.
constexpr std::uint8_t kLoaderStatusReportId = 5;
constexpr std::size_t kLoaderStatusLength = 2;
constexpr std::uint8_t kFirmwareStatus = 0;

constexpr const char* kInLoaderText =
    "the reader is still in its firmware loader (an update did not finish); run the firmware "
    "update again";

// Checks shared by both transfer directions; fills `result.Message` when the transfer must not
// run.
bool TransferAllowed(const ReaderDevice& device, std::span<const std::uint8_t> buffer,
                     std::size_t length, TransferResult& result) {
    result.Length = length;
    if (!device) {
        result.Message = kNoReaderMessage;
        return false;
    }
    result.Selected = true;
    result.Message = ReaderSession::AccessProblem(device);
    if (result.Message.empty()) {
        result.Message = ReaderSession::LengthProblem(length);
    }
    if (result.Message.empty() && length > buffer.size()) {
        result.Message = "a transfer of " + std::to_string(length) + " bytes exceeds the buffer";
    }
    return result.Message.empty();
}

std::string FailureText(const char* what, std::uint8_t reportId, const ReaderDevice& device) {
    const hid::TransferError cause = device->LastTransferError();
    std::string text = std::string(what) + " feature report " + HexByte(reportId) + " failed: ";
    if (reportId == kSettingsReportId && cause.kind == hid::TransferError::Kind::Failed &&
        ReaderSession::IsInFirmwareLoader(device)) {
        return text + kInLoaderText;
    }
    return text + hid::DescribeTransferError(cause);
}

}  // namespace

// A reader whose update was cut short comes back with its loader still running, whatever step
// it was at: its status report holds the loader's last answer, and it refuses to hand out the
// settings record. The firmware answers the status with 0, or, after it has just left the
// loader, with the loader's last answer, but it always hands out the record. Reads only.
bool ReaderSession::IsInFirmwareLoader(const ReaderDevice& device) {
    if (!device) {
        return false;
    }
    const std::size_t statusLength =
        device->DeclaredFeatureLength(kLoaderStatusReportId).value_or(kLoaderStatusLength);
    if (statusLength < kLoaderStatusLength) {
        return false;
    }
    std::vector<std::uint8_t> status(statusLength, 0);
    status[0] = kLoaderStatusReportId;
    if (!device->GetFeatureReport(status) || status[1] == kFirmwareStatus) {
        return false;
    }
    const std::size_t recordLength = FeatureLength(device);
    if (!LengthProblem(recordLength, kSettingsReportId).empty()) {
        return false;
    }
    ReportBuffer record{};
    record[0] = kSettingsReportId;
    return !device->GetFeatureReport(std::span(record).first(recordLength)) &&
           device->LastTransferError().kind == hid::TransferError::Kind::Failed;
}

TransferResult ReaderSession::ReadFeatureFrom(const ReaderDevice& device,
                                              std::span<std::uint8_t> buffer, std::size_t length) {
    TransferResult result;
    if (!TransferAllowed(device, buffer, length, result)) {
        return result;
    }
    result.Ok = device->GetFeatureReport(buffer.first(length));
    if (!result.Ok) {
        result.Message = FailureText("reading", buffer[0], device);
    }
    return result;
}

TransferResult ReaderSession::WriteFeatureTo(const ReaderDevice& device,
                                             std::span<const std::uint8_t> bytes,
                                             std::size_t length) {
    TransferResult result;
    if (!TransferAllowed(device, bytes, length, result)) {
        return result;
    }
    result.Ok = device->SetFeatureReport(bytes.first(length));
    if (!result.Ok) {
        result.Message = FailureText("writing", bytes[0], device);
    }
    return result;
}

TransferResult ReaderSession::RefusedAsSettings(const ReaderDevice& device, std::uint8_t reportId) {
    const std::size_t length = FeatureLength(device);
    if (!AccessProblem(device).empty()) {
        return {};
    }
    return {.Selected = true, .Length = length, .Message = LengthProblem(length, reportId)};
}

ReaderDevice ReaderSession::StartReportOperation(std::uint8_t reportId) {
    currentDevice_.reset();
    const ReaderDevice device = SelectedDevice();
    if (device) {
        currentDevice_ = device;
        buffer_[0] = reportId;
    }
    return device;
}

TransferResult ReaderSession::ReadReport(std::uint8_t reportId) {
    return ReadReportInto(reportId, true);
}

TransferResult ReaderSession::ReadRawReport(std::uint8_t reportId) {
    return ReadReportInto(reportId, false);
}

TransferResult ReaderSession::ReadReportInto(std::uint8_t reportId, bool asSettings) {
    const ReaderDevice device = StartReportOperation(reportId);
    if (!device) {
        return {.Message = kNoReaderMessage};
    }
    if (asSettings) {
        if (TransferResult refused = RefusedAsSettings(device, reportId);
            !refused.Message.empty()) {
            return refused;
        }
    }
    // Read into a copy so that a failed transfer cannot leave half a report in the buffer.
    ReportBuffer received = buffer_;
    TransferResult result = ReadFeatureFrom(device, received, FeatureLength(device));
    if (result.Ok) {
        buffer_ = received;
    }
    return result;
}

TransferResult ReaderSession::WriteReport(std::uint8_t reportId) {
    const ReaderDevice device = StartReportOperation(reportId);
    if (!device) {
        return {.Message = kNoReaderMessage};
    }
    if (TransferResult refused = RefusedAsSettings(device, reportId); !refused.Message.empty()) {
        return refused;
    }
    // A loader takes report 3 as page data: a record sent to it would land in the firmware.
    if (reportId == kSettingsReportId && IsInFirmwareLoader(device)) {
        return {.Selected = true,
                .Length = FeatureLength(device),
                .Message = "writing feature report " + HexByte(reportId) + " refused: " +
                           kInLoaderText};
    }
    return WriteFeatureTo(device, buffer_, FeatureLength(device));
}

}  // namespace zm880
