#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "hid/OsServices.h"
#include "hid/Platform.h"
#include "reader/ReaderSession.h"
#include "reader/SettingsFields.h"

namespace zm880::provision {

// What every reader gets: the profile's fields, after an optional firmware update.
struct ProvisionPlan {
    nlohmann::ordered_json profile = nlohmann::ordered_json::object();
    std::string firmwareFile;  // empty: no update
    std::filesystem::path backupDirectory;
};

// The outcome for one reader, as the report keeps it.
struct ProvisionResult {
    std::string time;  // when the reader was done, UTC: "2026-12-10T08:15:02.123Z"
    std::string path;
    std::optional<int> readerType;     // byte 8 as read; none when the reader could not be read
    std::string backupPath;            // empty when no backup was written
    std::vector<FieldChange> changes;  // fields the write changed; empty unless ok
    bool ok = false;
    std::string reason;  // why it failed
};

// One object: time, path, readerType, backup, changes [{field, before, after}], result
// ("ok" or "failed") and reason (null when ok).
nlohmann::ordered_json ResultToJson(const ProvisionResult& result);

// Provisions the selected reader of `session`. Reads its record; refuses a profile that the
// record's reader type does not take before anything is written; saves the record as a backup;
// with a firmware file runs the update and reads the record again, as the new firmware holds
// it; sets the profile's fields (every other byte stays as read), writes, and verifies by
// reading back. Never throws: every failure is the result's reason.
ProvisionResult ProvisionReader(ReaderSession& session, const ProvisionPlan& plan);

// Provisions every reader present at the start and every one that arrives later, each once per
// plug, until stopped or a given number is done. A failure on one reader never stops the others.
class Provisioner {
  public:
    using ResultHandler = std::function<void(const ProvisionResult&)>;

    Provisioner(std::shared_ptr<hid::Platform> platform, ProvisionPlan plan);
    Provisioner(const Provisioner&) = delete;
    Provisioner& operator=(const Provisioner&) = delete;

    // Runs on the calling thread, which owns the device controller made for the run, and calls
    // `onResult` there after each reader. The platform's devices are held for each reader from
    // its read to its read-back (a hold that cannot be taken fails that reader), never while
    // the run waits for readers. Between readers it sleeps on the platform's change
    // notification (whose pending changes it takes, so nobody else should watch them meanwhile)
    // and on the stop request. Ends when Stop() was called or `limit` readers are done (0: no
    // limit); returns the number done.
    std::size_t Run(const ResultHandler& onResult, std::size_t limit = 0);

    // Ends Run after the reader in hand; a Run that starts afterwards returns at once. Safe from
    // any thread and from a signal handler.
    void Stop() noexcept { stop_.Raise(); }
    bool StopRequested() const noexcept { return stop_.Raised(); }

  private:
    std::shared_ptr<hid::Platform> platform_;
    ProvisionPlan plan_;
    hid::StopSignal stop_;
};

}  // namespace zm880::provision
