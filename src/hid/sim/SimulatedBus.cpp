#include "hid/sim/SimulatedBus.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "sim/BusState.h"

namespace zm880::hid {
namespace {

constexpr int kDefaultInputBuffers = 32;
constexpr int kMinInputBuffers = 2;
constexpr int kMaxInputBuffers = 512;

std::string SlotPath(std::size_t slot) {
    return "sim:hidraw" + std::to_string(slot);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        throw std::runtime_error(path + ": cannot be read");
    }
    return text.str();
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            std::filesystem::remove(temp);
            throw std::runtime_error(path + ": cannot be written");
        }
    }
    std::error_code error;
    std::filesystem::rename(temp, path, error);
    if (error) {
        std::filesystem::remove(temp);
        throw std::runtime_error(path + ": cannot be replaced: " + error.message());
    }
}

}  // namespace

class SimulatedBusCore {
  public:
    explicit SimulatedBusCore(std::string stateFile) : stateFile_(std::move(stateFile)) {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error(std::string("simulated bus: no change pipe: ") +
                                     std::strerror(errno));
        }
        for (int fd : fds) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        changeRead_ = fds[0];
        changeWrite_ = fds[1];
    }

    ~SimulatedBusCore() {
        ::close(changeRead_);
        ::close(changeWrite_);
    }

    SimulatedBusCore(const SimulatedBusCore&) = delete;
    SimulatedBusCore& operator=(const SimulatedBusCore&) = delete;

    void Load() {
        if (!std::filesystem::exists(stateFile_)) {
            state_ = sim::DefaultBusState();
        } else {
            const std::string text = ReadWholeFile(stateFile_);
            try {
                state_ = sim::BusStateFromJson(sim::StateJson::parse(text));
            } catch (const nlohmann::json::exception& e) {
                throw std::runtime_error(stateFile_ + ": not a valid state file: " + e.what());
            } catch (const std::runtime_error& e) {
                throw std::runtime_error(stateFile_ + ": " + e.what());
            }
            savedText_ = text;
        }
        for (sim::BusDevice& device : state_.devices) {
            if (device.plugged && device.identity.empty()) {
                device.identity = FreshIdentity();
            }
        }
        Save();
    }

    std::mutex& Mutex() { return mutex_; }
    sim::BusState& State() { return state_; }

    sim::BusDevice& At(std::size_t slot) {
        if (slot >= state_.devices.size()) {
            throw std::out_of_range("simulated bus has no slot " + std::to_string(slot));
        }
        return state_.devices[slot];
    }

    // The device still plugged in under `identity`; nullptr after it left the bus.
    sim::DeviceModel* Present(const std::string& identity) {
        for (sim::BusDevice& device : state_.devices) {
            if (device.plugged && device.identity == identity) {
                return device.model.get();
            }
        }
        return nullptr;
    }

    void Plug(std::size_t slot) {
        sim::BusDevice& device = At(slot);
        device.plugged = true;
        device.identity = FreshIdentity();
        Signal();
    }

    void Unplug(std::size_t slot) {
        sim::BusDevice& device = At(slot);
        if (!device.plugged) {
            return;
        }
        device.plugged = false;
        Signal();
    }

    // Writes the state file when the state differs from what it holds.
    void Save() {
        if (stateFile_.empty()) {
            return;
        }
        std::string text = sim::ToJson(state_).dump(2) + "\n";
        if (text != savedText_) {
            WriteFileAtomically(stateFile_, text);
            savedText_ = std::move(text);
        }
    }

    int ChangeFd() const { return changeRead_; }

    int TakeChanges() {
        int count = 0;
        char buffer[64];
        for (;;) {
            const ssize_t got = ::read(changeRead_, buffer, sizeof buffer);
            if (got <= 0) {
                return count;
            }
            count += static_cast<int>(got);
        }
    }

  private:
    std::string FreshIdentity() { return "sim-" + std::to_string(state_.nextIdentity++); }

    void Signal() {
        const char byte = 1;
        // A full pipe already says that something changed.
        [[maybe_unused]] const ssize_t written = ::write(changeWrite_, &byte, 1);
    }

    std::mutex mutex_;
    sim::BusState state_;
    std::string stateFile_;
    std::string savedText_;
    int changeRead_ = -1;
    int changeWrite_ = -1;
};

namespace {

class SimulatedChannel : public Channel {
  public:
    SimulatedChannel(std::shared_ptr<SimulatedBusCore> core, std::string identity, OpenMode mode,
                     bool accessDenied)
        : core_(std::move(core)),
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
        return Transfer(false,
                        [report](sim::DeviceModel& model) { return model.GetFeature(report); });
    }

    bool SetFeature(std::span<const std::uint8_t> report) override {
        return Transfer(true,
                        [report](sim::DeviceModel& model) { return model.SetFeature(report); });
    }

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
    static std::optional<std::string> NonEmpty(std::optional<std::string> text) {
        if (text && text->empty()) {
            return std::nullopt;
        }
        return text;
    }

    bool IsPresent() {
        std::lock_guard lock(core_->Mutex());
        return core_->Present(identity_) != nullptr;
    }

    template <typename T, typename Ask>
    std::optional<T> Query(Ask ask) {
        std::lock_guard lock(core_->Mutex());
        const sim::DeviceModel* model = core_->Present(identity_);
        if (model == nullptr) {
            return std::nullopt;
        }
        return ask(*model);
    }

    template <typename Move>
    bool Transfer(bool writes, Move move) {
        if (mode_ == OpenMode::QueryOnly) {
            return false;
        }
        std::lock_guard lock(core_->Mutex());
        sim::DeviceModel* model = core_->Present(identity_);
        if (model == nullptr) {
            return false;
        }
        std::this_thread::sleep_for(model->Link().latency);
        std::optional<int>& remaining = model->Link().unplugAfterTransfers;
        bool ok = false;
        // A successful SET or a countdown may change what the state file holds; a GET never does.
        bool changed = remaining.has_value();
        if (remaining && *remaining <= 0) {
            remaining.reset();
            UnplugSelf();
        } else {
            ok = move(*model);
            changed = changed || (ok && writes);
            if (remaining && --*remaining == 0) {
                remaining.reset();
                UnplugSelf();
            }
        }
        if (!changed) {
            return ok;
        }
        try {
            core_->Save();
        } catch (const std::runtime_error&) {
            // The bus could not keep what the transfer changed, so it did not happen for good.
            return false;
        }
        return ok;
    }

    void UnplugSelf() {
        auto& devices = core_->State().devices;
        for (std::size_t slot = 0; slot < devices.size(); ++slot) {
            if (devices[slot].plugged && devices[slot].identity == identity_) {
                core_->Unplug(slot);
            }
        }
    }

    std::shared_ptr<SimulatedBusCore> core_;
    std::string identity_;
    OpenMode mode_;
    bool accessDenied_;
    int inputBuffers_ = kDefaultInputBuffers;
};

}  // namespace

SimulatedBus::SimulatedBus() : core_(std::make_shared<SimulatedBusCore>("")) {}

SimulatedBus::SimulatedBus(const std::string& stateFile)
    : core_(std::make_shared<SimulatedBusCore>(stateFile)) {
    core_->Load();
}

SimulatedBus::~SimulatedBus() = default;

std::size_t SimulatedBus::Add(std::unique_ptr<sim::DeviceModel> device) {
    std::lock_guard lock(core_->Mutex());
    auto& devices = core_->State().devices;
    devices.push_back({std::move(device), false, ""});
    core_->Plug(devices.size() - 1);
    core_->Save();
    return devices.size() - 1;
}

void SimulatedBus::Plug(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
    core_->Plug(slot);
    core_->Save();
}

void SimulatedBus::Unplug(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
    core_->Unplug(slot);
    core_->Save();
}

bool SimulatedBus::IsPlugged(std::size_t slot) const {
    std::lock_guard lock(core_->Mutex());
    return core_->At(slot).plugged;
}

std::size_t SimulatedBus::DeviceCount() const {
    std::lock_guard lock(core_->Mutex());
    return core_->State().devices.size();
}

std::string SimulatedBus::PathOf(std::size_t slot) const {
    return SlotPath(slot);
}

sim::DeviceModel& SimulatedBus::Device(std::size_t slot) {
    std::lock_guard lock(core_->Mutex());
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
    core_->Save();
}

std::vector<InterfaceEntry> SimulatedBus::PresentInterfaces() {
    std::lock_guard lock(core_->Mutex());
    std::vector<InterfaceEntry> entries;
    const auto& devices = core_->State().devices;
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
    const auto& devices = core_->State().devices;
    for (std::size_t slot = 0; slot < devices.size(); ++slot) {
        const sim::BusDevice& device = devices[slot];
        if (!device.plugged || SlotPath(slot) != path) {
            continue;
        }
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
        return std::make_unique<SimulatedChannel>(core_, device.identity,
                                                  denied ? OpenMode::QueryOnly : mode, denied);
    }
    error = OpenError::NotFound;
    return nullptr;
}

int SimulatedBus::ChangeFd() const {
    return core_->ChangeFd();
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
