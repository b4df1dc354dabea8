#include "inventory/ReaderInventory.h"

#include <algorithm>
#include <span>

#include "hid/HidDevice.h"
#include "inventory/Sha256.h"
#include "reader/HexText.h"
#include "reader/ReaderSettings.h"

namespace zm880::inventory {

namespace {

constexpr std::size_t kDigestFirstByte = 2;
constexpr std::size_t kDigestEnd = 64;
constexpr std::size_t kVersionByte = 2;
constexpr std::size_t kReaderTypeByte = 8;

// Reads the settings record into the row, or says why not.
void ReadRecord(const ReaderDevice& device, InventoryRow& row) {
    if (!row.accessible) {
        row.error = ReaderSession::AccessProblem(device);
        return;
    }
    if (row.inLoader) {
        row.error = "the reader is still in its firmware loader (an update did not finish)";
        return;
    }
    if (std::string problem =
            ReaderSession::LengthProblem(row.featureReportLength, kSettingsReportId);
        !problem.empty()) {
        row.error = std::move(problem);
        return;
    }
    ReportBuffer record{};
    record[0] = kSettingsReportId;
    const TransferResult read =
        ReaderSession::ReadFeatureFrom(device, record, row.featureReportLength);
    if (!read.Ok) {
        row.error = read.Message;
        return;
    }
    if (record[0] != kSettingsReportId) {
        row.error = "the reader answered report " + HexByte(record[0]) + " instead of 03";
        return;
    }
    row.record = record;
    row.recordVersion = record[kVersionByte];
    row.readerType = record[kReaderTypeByte];
    if (const std::optional<std::string_view> name = DeviceTypeName(*row.readerType)) {
        row.readerTypeName = std::string(*name);
    }
    row.digest = SettingsDigest(record, row.featureReportLength);
}

std::string HexRelease(std::uint16_t release) {
    return HexByte(static_cast<std::uint8_t>(release >> 8)) +
           HexByte(static_cast<std::uint8_t>(release & 0xFF));
}

}  // namespace

std::string SettingsDigest(const ReportBuffer& record, std::size_t length) {
    const std::size_t end = std::clamp(length, kDigestFirstByte, kDigestEnd);
    return Sha256Hex(std::span(record).subspan(kDigestFirstByte, end - kDigestFirstByte));
}

InventoryRow ReadInventoryRow(const DeviceEntry& entry, std::size_t index) {
    InventoryRow row;
    row.index = index;
    row.text = entry.Text;
    const ReaderDevice& device = entry.Device;
    if (!device) {
        row.error = "the reader could not be claimed; another part of the program holds it";
        return row;
    }
    row.path = device->PnPInfo().DevicePath;
    row.manufacturer = device->ManufacturerText();
    row.product = device->ProductText();
    row.release = device->Attributes().VersionNumber;
    row.accessible = !device->AccessDenied();
    if (row.accessible) {
        row.featureReportLength = ReaderSession::FeatureLength(device);
        row.inLoader = ReaderSession::IsInFirmwareLoader(device);
    }
    ReadRecord(device, row);
    return row;
}

std::vector<InventoryRow> ReadInventory(const ReaderSession& session) {
    std::vector<InventoryRow> rows;
    rows.reserve(session.Entries().size());
    for (std::size_t i = 0; i < session.Entries().size(); ++i) {
        rows.push_back(ReadInventoryRow(session.Entries()[i], i));
    }
    return rows;
}

const std::vector<std::string>& InventoryColumns() {
    static const std::vector<std::string> columns = {
        "index",      "path",          "text",       "manufacturer",   "product",
        "release",    "recordVersion", "readerType", "readerTypeName", "featureReportLength",
        "accessible", "inLoader",      "digest",     "error"};
    return columns;
}

std::vector<std::string> InventoryCells(const InventoryRow& row) {
    const auto number = [](const std::optional<int>& value) {
        return value ? std::to_string(*value) : std::string();
    };
    return {std::to_string(row.index),
            row.path,
            row.text,
            row.manufacturer,
            row.product,
            row.release ? HexRelease(*row.release) : std::string(),
            number(row.recordVersion),
            number(row.readerType),
            row.readerTypeName,
            std::to_string(row.featureReportLength),
            row.accessible ? "yes" : "no",
            row.inLoader ? "yes" : "no",
            row.digest,
            row.error};
}

nlohmann::ordered_json InventoryRowJson(const InventoryRow& row) {
    using json = nlohmann::ordered_json;
    const auto optionalText = [](const std::string& text) {
        return text.empty() ? json() : json(text);
    };
    const auto number = [](const std::optional<int>& value) {
        return value ? json(*value) : json();
    };
    return {{"index", row.index},
            {"path", row.path},
            {"text", row.text},
            {"manufacturer", row.manufacturer},
            {"product", row.product},
            {"release", row.release ? json(HexRelease(*row.release)) : json()},
            {"recordVersion", number(row.recordVersion)},
            {"readerType", number(row.readerType)},
            {"readerTypeName", optionalText(row.readerTypeName)},
            {"featureReportLength", row.featureReportLength},
            {"accessible", row.accessible},
            {"inLoader", row.inLoader},
            {"digest", optionalText(row.digest)},
            {"error", optionalText(row.error)}};
}

}  // namespace zm880::inventory
