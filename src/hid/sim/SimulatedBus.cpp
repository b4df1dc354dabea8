#include "hid/sim/SimulatedBus.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <type_traits>
#include <unordered_set>

#include "hid/sim/StateFileAccess.h"
#include "sim/BusState.h"

namespace zm880::hid {
namespace {

constexpr int kDefaultInputBuffers = 32;
constexpr int kMinInputBuffers = 2;
constexpr int kMaxInputBuffers = 512;
// How often the watcher looks at the state file's stamp.
constexpr std::chrono::milliseconds kWatchInterval{200};
// How long a look at the stamp stays good for a look that changes nothing. Every change looks
// afresh under the lock.
constexpr std::chrono::milliseconds kLookInterval{5};

constexpr std::string_view kSlotPrefix = "sim:hidraw";

std::string SlotPath(std::size_t slot) {
    return std::string(kSlotPrefix) + std::to_string(slot);
}

// The slot of a path that SlotPath gave, in its one spelling.
std::optional<std::size_t> SlotOf(std::string_view path) {
    if (!path.starts_with(kSlotPrefix)) {
        return std::nullopt;
    }
    const std::string_view digits = path.substr(kSlotPrefix.size());
    constexpr std::size_t kMaxDigits = 9;
    if (digits.empty() || digits.size() > kMaxDigits || (digits.size() > 1 && digits[0] == '0') ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::size_t slot = 0;
    for (char c : digits) {
        slot = slot * 10 + static_cast<std::size_t>(c - '0');
    }
    return slot;
}

// Identities of the plugged devices in slot order: a change in it is a plug or an unplug.
std::vector<std::string> PluggedIdentities(const sim::BusState& state) {
    std::vector<std::string> identities;
    for (const sim::BusDevice& device : state.devices) {
        identities.push_back(device.plugged ? device.identity : std::string());
    }
    return identities;
}

}  // namespace

class SimulatedBusCore {
  public:
    // In memory without a path.
    explicit SimulatedBusCore(const std::string& stateFile) {
        if (!stateFile.empty()) {
            file_.emplace(stateFile);
        }
    }

    ~SimulatedBusCore() {
        {
            std::lock_guard lock(watchMutex_);
            stopWatching_ = true;
        }
        watchWake_.notify_all();
        if (watcher_.joinable()) {
            watcher_.join();
        }
    }

    SimulatedBusCore(const SimulatedBusCore&) = delete;
    SimulatedBusCore& operator=(const SimulatedBusCore&) = delete;

    // Loads the file, gives identities to plugged devices that have none, saves when that
    // changed the file, and starts watching it.
    // A bus whose lock cannot be taken may still be looked at, as long as loading it changes
    // nothing; a change would have to be made unlocked, so it is refused with the lock's error.
    void Open() {
        std::lock_guard lock(mutex_);
        {
            std::optional<simfile::LockError> unlocked;
            std::optional<FileLock> fileLock;
            try {
                fileLock.emplace(*this);
            } catch (const simfile::LockError& e) {
                unlocked = e;
            }
            const std::optional<simfile::FileSnapshot> snapshot = file_->Read();
            if (snapshot) {
                state_ = Parse(snapshot->text);
                known_ = snapshot->stamp;
                savedText_ = snapshot->text;
            } else {
                state_ = sim::DefaultBusState();
                dirty_ = true;
            }
            std::unordered_set<std::string> inUse = IdentitiesInUse();
            for (sim::BusDevice& device : state_.devices) {
                if (device.plugged && device.identity.empty()) {
                    device.identity = FreshIdentity(inUse);
                    dirty_ = true;
                }
            }
            if (dirty_ && unlocked) {
                throw *unlocked;
            }
            SaveNow();
        }
        watcher_ = std::thread([this] { Watch(); });
    }

    std::mutex& Mutex() { return mutex_; }

    // The state brought up to date with the file, for a look that changes nothing. Unsaved
    // changes of this process win over the file.
    sim::BusState& Fresh() {
        // Looks come by the dozen per device; one look at the file's stamp serves those that
        // follow within a few milliseconds, or enumerating a large bus is mostly system calls.
        const auto now = std::chrono::steady_clock::now();
        if (now - lastLook_ >= kLookInterval) {
            lastLook_ = now;
            Refresh();
        }
        return state_;
    }

    sim::BusDevice& At(std::size_t slot) {
        if (slot >= state_.devices.size()) {
            throw std::out_of_range("simulated bus has no slot " + std::to_string(slot));
        }
        return state_.devices[slot];
    }

    // The device of `slot` while it is still plugged in under `identity`; nullptr after it left
    // the bus. Slots never move, so a channel finds its device without a search.
    sim::DeviceModel* Present(std::size_t slot, const std::string& identity) {
        if (slot >= state_.devices.size()) {
            return nullptr;
        }
        sim::BusDevice& device = state_.devices[slot];
        return device.plugged && device.identity == identity ? device.model.get() : nullptr;
    }

    // Runs `apply` as one read-modify-write of the shared bus (the caller holds Mutex()):
    // under the file lock on the freshly loaded state, then saved. Inside a hold the lock is
    // already taken and the save waits for the hold's end. Throws simfile::SaveError.
    template <typename Apply>
    auto Change(Apply apply) {
        FileLock fileLock(*this);
        Refresh();
        const bool wasDirty = dirty_;
        dirty_ = true;
        try {
            if constexpr (std::is_void_v<decltype(apply())>) {
                apply();
                SaveUnlessHeld();
            } else {
                auto result = apply();
                SaveUnlessHeld();
                return result;
            }
        } catch (const std::logic_error&) {
            dirty_ = wasDirty;  // a refused change (no such slot) changed nothing
            throw;
        }
    }

    // The caller changed the models in place: they, not the file, are the newest state.
    void MarkChanged() { dirty_ = true; }

    void Plug(std::size_t slot) {
        sim::BusDevice& device = At(slot);
        device.plugged = true;
        std::unordered_set<std::string> inUse = IdentitiesInUse();
        device.identity = FreshIdentity(inUse);
        signal_.Raise();
    }

    void Unplug(std::size_t slot) {
        sim::BusDevice& device = At(slot);
        if (!device.plugged) {
            return;
        }
        device.plugged = false;
        signal_.Raise();
    }

    // Writes the state file when the state differs from what it holds. Throws SaveError; the
    // bus then falls back to what the file holds at the next look.
    void SaveNow() {
        if (!file_ || !dirty_) {
            return;
        }
        dirty_ = false;
        std::string text = sim::ToJson(state_).dump(2) + "\n";
        if (text == savedText_) {
            return;
        }
        try {
            known_ = file_->Write(text);
        } catch (const simfile::SaveError&) {
            known_.reset();
            throw;
        }
        savedText_ = std::move(text);
    }

    void BeginHold() {
        std::lock_guard lock(mutex_);
        if (holds_ == 0 && file_) {
            file_->Lock();
            Refresh();
        }
        ++holds_;
    }

    void EndHold() {
        std::lock_guard lock(mutex_);
        if (--holds_ > 0 || !file_) {
            return;
        }
        struct Unlock {
            simfile::StateFile& file;
            ~Unlock() { file.Unlock(); }
        } unlock{*file_};
        SaveNow();
    }

    Waitable ChangeWaitable() const { return signal_.Handle(); }
    int TakeChanges() { return signal_.Take(); }

  private:
    // The cross-process lock for one change, unless a hold has it already.
    class FileLock {
      public:
        explicit FileLock(SimulatedBusCore& core)
            : file_(core.holds_ == 0 && core.file_ ? &*core.file_ : nullptr) {
            if (file_ != nullptr) {
                file_->Lock();
            }
        }
        ~FileLock() {
            if (file_ != nullptr) {
                file_->Unlock();
            }
        }
        FileLock(const FileLock&) = delete;
        FileLock& operator=(const FileLock&) = delete;

      private:
        simfile::StateFile* file_;
    };

    sim::BusState Parse(const std::string& text) const {
        try {
            return sim::BusStateFromJson(sim::StateJson::parse(text));
        } catch (const nlohmann::json::exception& e) {
            throw std::runtime_error(file_->Path() + ": not a valid state file: " + e.what());
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(file_->Path() + ": " + e.what());
        }
    }

    // Takes over what another process saved. A file that went away or reads as garbage leaves
    // the bus as it is: the next save writes it anew.
    void Refresh() {
        // Within a hold nobody else may change the file.
        if (!file_ || dirty_ || holds_ > 0) {
            return;
        }
        const std::optional<simfile::FileStamp> stamp = file_->CurrentStamp();
        if (!stamp || stamp == known_) {
            return;
        }
        try {
            const std::optional<simfile::FileSnapshot> snapshot = file_->Read();
            if (!snapshot) {
                return;
            }
            known_ = snapshot->stamp;
            sim::BusState loaded = Parse(snapshot->text);
            savedText_ = snapshot->text;
            const bool plugsChanged = PluggedIdentities(loaded) != PluggedIdentities(state_);
            state_ = std::move(loaded);
            if (plugsChanged) {
                signal_.Raise();
            }
        } catch (const std::runtime_error&) {
        }
    }

    void SaveUnlessHeld() {
        if (holds_ == 0) {
            SaveNow();
        }
    }

    void Watch() {
        std::unique_lock wait(watchMutex_);
        while (!watchWake_.wait_for(wait, kWatchInterval, [this] { return stopWatching_; })) {
            std::lock_guard lock(mutex_);
            Refresh();
        }
    }

    std::unordered_set<std::string> IdentitiesInUse() const {
        std::unordered_set<std::string> inUse;
        for (const sim::BusDevice& device : state_.devices) {
            if (!device.identity.empty()) {
                inUse.insert(device.identity);
            }
        }
        return inUse;
    }

    // An identity not in `inUse`, which then holds it too. Identities never exceed what a state
    // file may hold: past the limit the count starts over, skipping identities still in use.
    std::string FreshIdentity(std::unordered_set<std::string>& inUse) {
        for (;;) {
            std::string identity = "sim-" + std::to_string(state_.nextIdentity);
            state_.nextIdentity =
                state_.nextIdentity >= sim::kMaxIdentity ? 1 : state_.nextIdentity + 1;
            if (inUse.insert(identity).second) {
                return identity;
            }
        }
    }

    std::mutex mutex_;
    sim::BusState state_;
    std::optional<simfile::StateFile> file_;
    std::optional<simfile::FileStamp> known_;  // the file version state_ was loaded or saved as
    std::string savedText_;
    std::chrono::steady_clock::time_point lastLook_{};
    bool dirty_ = false;  // changed since the last save
    int holds_ = 0;
    simfile::ChangeSignal signal_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool stopWatching_ = false;
    std::thread watcher_;
};

namespace {

class SimulatedChannel : public Channel {
  public:
    SimulatedChannel(std::shared_ptr<SimulatedBusCore> core, std::size_t slot,
                     std::string identity, OpenMode mode, bool accessDenied)
        : core_(std::move(core)),
          slot_(slot),
          identity_(std::move(identity)),
          mode_(mode),
          accessDenied_(accessDenied) {}

    std::optional<Attributes> GetAttributes() override {
        return Query<Attributes>([](const sim::DeviceModel& model) {
            const sim::DeviceIdentity& id = model.Identity();
            return Attributes{id.vendorId, id.productId, id.versionNumber};
        });
    }

    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override {
        return Query<std::vector<std::uint8_t>>(
            [](const sim::DeviceModel& model) { return model.ReportDescriptor(); });
    }

    std::optional<std::string> GetManufacturerString() override {
        return NonEmpty(Query<std::string>(
            [](const sim::DeviceModel& model) { return model.Identity().manufacturer; }));
    }

    std::optional<std::string> GetProductString() override {
        return NonEmpty(Query<std::string>(
            [](const sim::DeviceModel& model) { return model.Identity().product; }));
    }

    bool GetFeature(std::span<std::uint8_t> report) override {
        return Transfer(false, report,
                        [report](sim::DeviceModel& model) { return model.GetFeature(report); });
    }

    bool SetFeature(std::span<const std::uint8_t> report) override {
        return Transfer(true, report,
                        [report](sim::DeviceModel& model) { return model.SetFeature(report); });
    }

    TransferError LastTransferError() const override { return lastError_; }

    std::optional<int> GetNumInputBuffers() override {
        if (accessDenied_) {
            return std::nullopt;
        }
        return Query<int>([this](const sim::DeviceModel&) { return inputBuffers_; });
    }

    bool SetNumInputBuffers(int count) override {
        if (accessDenied_ || count < kMinInputBuffers || count > kMaxInputBuffers || !IsPresent()) {
            return false;
        }
        inputBuffers_ = count;
        return true;
    }

    // A reader sends no input reports, so a read only ever times out, or fails once the device
    // has gone.
    InputRead ReadInput(std::span<std::uint8_t>, std::chrono::milliseconds timeout) override {
        if (!IsPresent()) {
            return {false, 0, ENODEV};
        }
        std::this_thread::sleep_for(timeout);
        if (!IsPresent()) {
            return {false, 0, ENODEV};
        }
        return {true, 0, 0};
    }

    bool AccessDenied() const override { return accessDenied_; }

  private:
    using Kind = TransferError::Kind;

    static std::optional<std::string> NonEmpty(std::optional<std::string> text) {
        if (text && text->empty()) {
            return std::nullopt;
        }
        return text;
    }

    sim::DeviceModel* Model() { return core_->Present(slot_, identity_); }

    bool IsPresent() {
        std::lock_guard lock(core_->Mutex());
        core_->Fresh();
        return Model() != nullptr;
    }

    template <typename T, typename Ask>
    std::optional<T> Query(Ask ask) {
        std::lock_guard lock(core_->Mutex());
        core_->Fresh();
        const sim::DeviceModel* model = Model();
        if (model == nullptr) {
            return std::nullopt;
        }
        return ask(*model);
    }

    bool Fail(TransferError error) {
        lastError_ = std::move(error);
        return false;
    }

    // Why the model refused a transfer of `report`.
    static TransferError Refusal(const sim::DeviceModel& model, bool writes,
                                 std::span<const std::uint8_t> report) {
        const std::uint8_t reportId = report.empty() ? 0 : report[0];
        if (const auto* reader = dynamic_cast<const sim::ReaderModel*>(&model)) {
            const std::size_t declared = reader->DeclaredLength(reportId);
            if (declared > 0 && report.size() != declared &&
                report.size() != reader->FeatureReportLength()) {
                return {Kind::Failed, "report " + std::to_string(reportId) + " is declared as " +
                                          std::to_string(declared) + " bytes, not " +
                                          std::to_string(report.size())};
            }
            const auto& faulty = writes ? reader->Faults().failSet : reader->Faults().failGet;
            if (faulty.contains(reportId)) {
                return {Kind::Failed, "simulated fault"};
            }
        }
        return {Kind::Failed, "the device refused the report"};
    }

    // A GET only looks; a SET, or any transfer that counts towards an unplug, is a change of
    // the shared bus.
    template <typename Move>
    bool Transfer(bool writes, std::span<const std::uint8_t> report, Move move) {
        if (mode_ == OpenMode::QueryOnly) {
            return accessDenied_ ? Fail({Kind::AccessDenied, {}})
                                 : Fail({Kind::Failed, "the channel was opened for queries only"});
        }
        std::chrono::milliseconds latency{0};
        bool counts = false;
        {
            std::lock_guard lock(core_->Mutex());
            core_->Fresh();
            const sim::DeviceModel* model = Model();
            if (model == nullptr) {
                return Fail({Kind::Removed, {}});
            }
            latency = model->Link().latency;
            counts = model->Link().unplugAfterTransfers.has_value();
        }
        // The bus stays free for others while the transfer is on the wire.
        std::this_thread::sleep_for(latency);

        std::lock_guard lock(core_->Mutex());
        if (!writes && !counts) {
            core_->Fresh();
            return Finish(Model(), writes, report, move);
        }
        try {
            return core_->Change([&] { return Finish(Model(), writes, report, move); });
        } catch (const simfile::SaveError& e) {
            // The bus could not keep what the transfer changed, so it did not happen for good.
            return Fail({Kind::Failed, e.what()});
        }
    }

    template <typename Move>
    bool Finish(sim::DeviceModel* model, bool writes, std::span<const std::uint8_t> report,
                Move& move) {
        if (model == nullptr) {
            return Fail({Kind::Removed, {}});
        }
        std::optional<int>& remaining = model->Link().unplugAfterTransfers;
        if (remaining && *remaining <= 0) {
            remaining.reset();
            UnplugSelf();
            return Fail({Kind::Removed, {}});
        }
        const bool ok = move(*model);
        const TransferError refusal = ok ? TransferError{} : Refusal(*model, writes, report);
        if (remaining && --*remaining == 0) {
            remaining.reset();
            UnplugSelf();
        }
        if (!ok) {
            return Fail(refusal);
        }
        lastError_ = {};
        return true;
    }

    void UnplugSelf() {
        if (Model() != nullptr) {
            core_->Unplug(slot_);
        }
    }

    std::shared_ptr<SimulatedBusCore> core_;
    std::size_t slot_;
    std::string identity_;
    OpenMode mode_;
    bool accessDenied_;
    int inputBuffers_ = kDefaultInputBuffers;
    TransferError lastError_;
};

}  // namespace

SimulatedBus::SimulatedBus() : core_(std::make_shared<SimulatedBusCore>("")) {}

SimulatedBus::SimulatedBus(const std::string& stateFile)
    : core_(std::make_shared<SimulatedBusCore>(stateFile)) {
    core_->Open();
}

SimulatedBus::~SimulatedBus() = default;

std::size_t SimulatedBus::Add(std::unique_ptr<sim::DeviceModel> device) {
    std::lock_guard lock(core_->Mutex());
    return core_->Change([&] {
        auto& devices = core_->Fresh().devices;
        devices.push_back({std::move(device), false, ""});
        core_->Plug(devices.size() - 1);
        return devices.size() - 1;
    });
}

void SimulatedBus::Plug(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
    core_->Change([&] { core_->Plug(slot); });
}

void SimulatedBus::Unplug(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
    core_->Change([&] { core_->Unplug(slot); });
}

bool SimulatedBus::IsPlugged(std::size_t slot) const {
    std::lock_guard lock(core_->Mutex());
    core_->Fresh();
    return core_->At(slot).plugged;
}

std::size_t SimulatedBus::DeviceCount() const {
    std::lock_guard lock(core_->Mutex());
    return core_->Fresh().devices.size();
}

std::string SimulatedBus::PathOf(std::size_t slot) const {
    return SlotPath(slot);
}

sim::DeviceModel& SimulatedBus::Device(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
    core_->Fresh();
    return *core_->At(slot).model;
}

sim::ReaderModel& SimulatedBus::Reader(std::size_t slot) {
    auto* reader = dynamic_cast<sim::ReaderModel*>(&Device(slot));
    if (reader == nullptr) {
        throw std::logic_error("simulated bus slot " + std::to_string(slot) + " holds no reader");
    }
    return *reader;
}

void SimulatedBus::Save() {
    std::lock_guard lock(core_->Mutex());
    core_->MarkChanged();
    core_->Change([] {});
}

SimulatedBus::Hold::Hold(SimulatedBus& bus) : core_(bus.core_) {
    core_->BeginHold();
}

SimulatedBus::Hold::~Hold() {
    if (held_) {
        try {
            core_->EndHold();
        } catch (const simfile::SaveError&) {
        }
    }
}

void SimulatedBus::Hold::Commit() {
    held_ = false;
    core_->EndHold();
}

std::vector<InterfaceEntry> SimulatedBus::PresentInterfaces() {
    std::lock_guard lock(core_->Mutex());
    std::vector<InterfaceEntry> entries;
    const auto& devices = core_->Fresh().devices;
    for (std::size_t slot = 0; slot < devices.size(); ++slot) {
        if (devices[slot].plugged) {
            entries.push_back({devices[slot].identity, SlotPath(slot)});
        }
    }
    return entries;
}

std::unique_ptr<Channel> SimulatedBus::Open(const std::string& path, OpenMode mode,
                                            OpenError& error) {
    std::lock_guard lock(core_->Mutex());
    const auto& devices = core_->Fresh().devices;
    const std::optional<std::size_t> slot = SlotOf(path);
    if (slot && *slot < devices.size() && devices[*slot].plugged) {
        const sim::BusDevice& device = devices[*slot];
        const sim::OpenFault fault = device.model->Link().open;
        if (fault == sim::OpenFault::Refused ||
            (fault == sim::OpenFault::QueryOnly && mode == OpenMode::ReadWrite)) {
            error = OpenError::Failed;
            return nullptr;
        }
        const bool denied = fault == sim::OpenFault::AccessDenied;
        if (denied && mode == OpenMode::ReadWrite) {
            error = OpenError::AccessDenied;
            return nullptr;
        }
        // Without permission the system still reveals identity, descriptor and strings.
        error = OpenError::None;
        return std::make_unique<SimulatedChannel>(core_, *slot, device.identity,
                                                  denied ? OpenMode::QueryOnly : mode, denied);
    }
    error = OpenError::NotFound;
    return nullptr;
}

namespace {

class BusDeviceHold : public DeviceHold {
  public:
    explicit BusDeviceHold(SimulatedBus& bus) : hold_(bus) {}
    void Commit() override { hold_.Commit(); }

  private:
    SimulatedBus::Hold hold_;
};

}  // namespace

std::unique_ptr<DeviceHold> SimulatedBus::HoldDevices() {
    return std::make_unique<BusDeviceHold>(*this);
}

Waitable SimulatedBus::ChangeWaitable() const {
    return core_->ChangeWaitable();
}

int SimulatedBus::TakeChanges() {
    return core_->TakeChanges();
}

std::unique_ptr<Platform> MakeSimulatedPlatform(const std::string& stateFile) {
    if (!stateFile.empty()) {
        return std::make_unique<SimulatedBus>(stateFile);
    }
    auto bus = std::make_unique<SimulatedBus>();
    bus->Add(std::make_unique<sim::ReaderModel>());
    bus->TakeChanges();
    return bus;
}

}  // namespace zm880::hid
