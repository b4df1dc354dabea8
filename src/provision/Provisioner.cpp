#include "provision/Provisioner.h"

#include <array>
#include <chrono>
#include <ctime>
#include <deque>
#include <exception>
#include <iomanip>
#include <set>
#include <sstream>

#include "cfgfile/Utf8Path.h"
#include "flasher/HidFeatureDevice.h"
#include "flasher/UpdateRun.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "reader/Profile.h"
#include "reader/VerifiedWrite.h"

namespace zm880::provision {

namespace {

constexpr std::size_t kReaderTypeByte = 8;
// Without a change notification the platform is looked at this often.
constexpr std::chrono::milliseconds kPollWithoutNotification{1000};
constexpr std::chrono::milliseconds kWaitWithoutEnd{-1};

std::string UtcNow() {
    // Calendar arithmetic in the standard library: the same on every system, no time zone.
    using namespace std::chrono;
    const auto now = floor<milliseconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    std::ostringstream out;
    out << std::setfill('0') << std::setw(4) << static_cast<int>(date.year()) << '-' << std::setw(2)
        << static_cast<unsigned>(date.month()) << '-' << std::setw(2)
        << static_cast<unsigned>(date.day()) << 'T' << std::setw(2) << time.hours().count() << ':'
        << std::setw(2) << time.minutes().count() << ':' << std::setw(2) << time.seconds().count()
        << '.' << std::setw(3) << time.subseconds().count() << 'Z';
    return out.str();
}

std::string UpdateFailure(const flasher::UpdateResult& update) {
    std::string text = "firmware update failed: ";
    const std::vector<std::string> lines = flasher::FailureLines(update);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (i == 0 ? "" : " - ") + lines[i];
    }
    return text;
}

ReaderSettings Decoded(ReportBuffer record) {
    ReaderSettings settings;
    std::uint8_t readerType = 0;
    DecodeSettings(record, settings, readerType);
    return settings;
}

// The steps of ProvisionReader; a failure fills in the reason and ends them.
bool Provision(ReaderSession& session, const ProvisionPlan& plan, ProvisionResult& result) {
    const TransferResult read = session.ReadConfig();
    if (!read.Ok) {
        result.reason = read.Message;
        return false;
    }
    const ReportBuffer before = session.Buffer();
    result.readerType = before[kReaderTypeByte];
    ReportBuffer target = before;
    if (std::optional<std::string> refusal = ApplyProfileToRecord(plan.profile, target)) {
        result.reason = "profile refused: " + *refusal + "; nothing written";
        return false;
    }
    const BackupResult backup =
        WriteBackup(plan.backupDirectory, BackupReaderName(session), before);
    if (!backup.ok()) {
        result.reason = backup.error;
        return false;
    }
    result.backupPath = cfgfile::Utf8Text(backup.path);

    if (!plan.firmwareFile.empty()) {
        flasher::UpdateRun update(flasher::FeatureDeviceOf(session.SelectedDevice()));
        const flasher::UpdateResult updated = update.Run(plan.firmwareFile);
        if (!updated.ok()) {
            result.reason = UpdateFailure(updated);
            return false;
        }
        const TransferResult reread = session.ReadConfig();
        if (!reread.Ok) {
            result.reason =
                "firmware updated, but the settings could not be read: " + reread.Message;
            return false;
        }
        target = session.Buffer();
        if (std::optional<std::string> refusal = ApplyProfileToRecord(plan.profile, target)) {
            result.reason = "firmware updated, but the profile was refused: " + *refusal;
            return false;
        }
    }

    session.Buffer() = target;
    session.SetStoredReaderType(target[kReaderTypeByte]);
    const WriteOutcome written = WriteAndVerify(session, VerifyScope::EncodedFields, backup.path);
    if (!written.ok) {
        result.reason = written.message;
        return false;
    }
    result.changes = DiffSettings(Decoded(before), Decoded(target));
    return true;
}

// ProvisionReader with the platform's devices held from the read to the verifying read-back, so
// that a change another process makes meanwhile is neither undone nor taken for the reader's.
ProvisionResult ProvisionHeld(hid::Platform& platform, ReaderSession& session,
                              const ProvisionPlan& plan) {
    std::unique_ptr<hid::DeviceHold> hold;
    try {
        hold = platform.HoldDevices();
    } catch (const std::exception& e) {
        ProvisionResult refused;
        refused.path = session.SelectedDevice()->PnPInfo().DevicePath;
        refused.reason = e.what();
        refused.time = UtcNow();
        return refused;
    }
    ProvisionResult result = ProvisionReader(session, plan);
    if (hold) {
        try {
            hold->Commit();
        } catch (const std::exception& e) {
            if (result.ok) {
                result.ok = false;
                result.reason = e.what();
                result.changes.clear();
            }
        }
    }
    return result;
}

}  // namespace

nlohmann::ordered_json ResultToJson(const ProvisionResult& result) {
    nlohmann::ordered_json changes = nlohmann::ordered_json::array();
    for (const FieldChange& change : result.changes) {
        changes.push_back(
            {{"field", change.field}, {"before", change.before}, {"after", change.after}});
    }
    using json = nlohmann::ordered_json;
    return {
        {"time", result.time},
        {"path", result.path},
        {"readerType", result.readerType ? json(*result.readerType) : json()},
        {"backup", result.backupPath.empty() ? json() : json(result.backupPath)},
        {"changes", changes},
        {"result", result.ok ? "ok" : "failed"},
        {"reason", result.ok ? json() : json(result.reason)},
    };
}

ProvisionResult ProvisionReader(ReaderSession& session, const ProvisionPlan& plan) {
    ProvisionResult result;
    if (const ReaderDevice device = session.SelectedDevice()) {
        result.path = device->PnPInfo().DevicePath;
    }
    try {
        result.ok = Provision(session, plan, result);
    } catch (const std::exception& e) {
        result.ok = false;
        result.reason = e.what();
    }
    if (result.ok) {
        result.reason.clear();
    } else {
        result.changes.clear();
    }
    result.time = UtcNow();
    return result;
}

Provisioner::Provisioner(std::shared_ptr<hid::Platform> platform, ProvisionPlan plan)
    : platform_(std::move(platform)), plan_(std::move(plan)) {}

std::size_t Provisioner::Run(const ResultHandler& onResult, std::size_t limit) {
    std::deque<std::function<void()>> posted;
    const auto runPosted = [&posted] {
        while (!posted.empty()) {
            const std::function<void()> task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    };
    hid::THidDeviceController controller(
        platform_, [&posted](std::function<void()> task) { posted.push_back(std::move(task)); });
    ReaderSession session(controller);
    bool changed = false;
    controller.SetOnDeviceChange([&changed](hid::THidDeviceController&) { changed = true; });
    controller.Loaded();
    runPosted();

    // Identities of the readers done in their current plug; a replug brings a new identity.
    std::set<std::string> done;
    std::size_t count = 0;
    while (!StopRequested() && (limit == 0 || count < limit)) {
        if (changed) {
            changed = false;
            session.RebuildDeviceList();
            std::set<std::string> present;
            for (const DeviceEntry& entry : session.Entries()) {
                if (entry.Device && done.contains(entry.Device->PnPInfo().DevInst)) {
                    present.insert(entry.Device->PnPInfo().DevInst);
                }
            }
            done.swap(present);
        }
        std::optional<std::size_t> next;
        for (std::size_t i = 0; i < session.Entries().size() && !next; ++i) {
            const ReaderDevice& device = session.Entries()[i].Device;
            if (device && !done.contains(device->PnPInfo().DevInst)) {
                next = i;
            }
        }
        if (next) {
            session.Select(*next);
            done.insert(session.SelectedDevice()->PnPInfo().DevInst);
            const ProvisionResult result = ProvisionHeld(*platform_, session, plan_);
            ++count;
            if (onResult) {
                onResult(result);
            }
            // Changes that came meanwhile are taken up before the next reader, without waiting.
            if (hid::WaitSignalled(controller.ChangeWaitable(), std::chrono::milliseconds(0))) {
                controller.HandlePlatformChanges();
                runPosted();
            }
            continue;
        }
        const hid::Waitable change = controller.ChangeWaitable();
        const std::array<hid::Waitable, 2> waitables = {change, stop_.Signalled()};
        const int ready = hid::WaitAnySignalled(
            waitables, change == hid::kNoWaitable ? kPollWithoutNotification : kWaitWithoutEnd);
        if (change == hid::kNoWaitable) {
            controller.DeviceChange();
        } else if (ready == 0) {
            controller.HandlePlatformChanges();
        }
        runPosted();
    }
    return count;
}

}  // namespace zm880::provision
