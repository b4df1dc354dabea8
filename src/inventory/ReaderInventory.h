#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "reader/ReaderSession.h"
#include "reader/ReportBuffer.h"

namespace zm880::inventory {

// What one attached reader is and holds, as read once, without writing anything.
struct InventoryRow {
    std::size_t index = 0;
    std::string path;
    std::string text;  // the device list's text
    std::string manufacturer;
    std::string product;
    std::optional<std::uint16_t> release;  // USB release number (bcdDevice)
    std::size_t featureReportLength = 0;
    bool accessible = false;
    bool inLoader = false;
    // From the settings record, when it could be read:
    std::optional<ReportBuffer> record;
    std::optional<int> recordVersion;  // byte 2
    std::optional<int> readerType;     // byte 8
    std::string readerTypeName;        // empty for a type without a name
    std::string digest;                // SettingsDigest of the record
    std::string error;                 // why the record could not be read; empty when it was
};

// SHA-256 of the record's bytes 2 to 63 (the settings, without report ID and control byte), or
// of bytes 2 up to `length` for a shorter report: readers set alike share it.
std::string SettingsDigest(const ReportBuffer& record, std::size_t length);

// Reads entry `index` of the device list: its identity, whether it is in its firmware loader,
// and its settings record (report 3). Only reads; a failure is the row's error.
InventoryRow ReadInventoryRow(const DeviceEntry& entry, std::size_t index);

// One row per entry of the session's device list.
std::vector<InventoryRow> ReadInventory(const ReaderSession& session);

// Column keys in order: the JSON keys, and the CSV header.
const std::vector<std::string>& InventoryColumns();
// The row's cells as text, in column order: absent values empty, yes/no for the flags, the
// release as four hexadecimal digits.
std::vector<std::string> InventoryCells(const InventoryRow& row);
// One object with the keys of InventoryColumns: absent values null, flags as booleans.
nlohmann::ordered_json InventoryRowJson(const InventoryRow& row);

}  // namespace zm880::inventory
