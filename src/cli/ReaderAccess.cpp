#include "cli/ReaderAccess.h"

#include <algorithm>
#include <deque>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "cli/JsonOutput.h"
#include "cli/Printable.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/Platform.h"
#include "hid/TracingPlatform.h"
#include "hid/sim/SimulatedBus.h"
#include "hid/sim/StateFileAccess.h"

namespace zm880::cli {

void AddReaderOptions(CLI::App& command, GlobalOptions& options, ReaderChoice choice) {
    command
        .add_option("--simulate", options.simulate,
                    "Use the simulated bus; with STATE, the bus kept in that file")
        ->expected(0, 1)
        ->type_name("STATE");
    // An option the command does not take stays out of its help but is still read, so that
    // RefuseReaderChoice says why wherever it stands.
    command.add_option("--device", options.device, "Reader to use: list index or device path")
        ->type_name("SEL")
        ->group(choice == ReaderChoice::None ? "" : "Options");
    command.add_option("--trace", options.trace, "Append every feature transfer to FILE")
        ->type_name("FILE");
    command.add_flag("--all", options.all, "Run on every listed reader in turn")
        ->group(choice == ReaderChoice::OneOrAll ? "Options" : "");
}

void RefuseReaderChoice(const GlobalOptions& options, ReaderChoice choice,
                        const std::string& refusal) {
    const bool refused = choice == ReaderChoice::None
                             ? options.all || !options.device.empty()
                             : choice == ReaderChoice::OneOnly && options.all;
    if (refused) {
        throw CommandError(kExitUsage, refusal);
    }
}

struct ReaderAccess::Parts {
    std::shared_ptr<hid::Platform> platform;
    hid::SimulatedBus* simulatedBus = nullptr;  // within platform, when it is simulated
    const hid::TracingPlatform* tracing = nullptr;
    std::deque<std::function<void()>> posted;
    std::unique_ptr<hid::THidDeviceController> controller;
    std::unique_ptr<ReaderSession> session;
    bool rebuilt = false;

    void RunPosted() {
        while (!posted.empty()) {
            const std::function<void()> task = std::move(posted.front());
            posted.pop_front();
            task();
        }
    }
};

namespace {

std::unique_ptr<hid::Platform> OpenPlatform(const GlobalOptions& options,
                                            hid::SimulatedBus*& simulatedBus) {
    try {
        std::unique_ptr<hid::Platform> platform =
            options.simulate ? hid::MakeSimulatedPlatform(*options.simulate)
                             : hid::MakeSystemPlatform();
        simulatedBus = dynamic_cast<hid::SimulatedBus*>(platform.get());
        return platform;
    } catch (const hid::simfile::SaveError& e) {
        throw CommandError(kExitFailed, *options.simulate + ": " + e.what());
    } catch (const std::runtime_error& e) {
        throw CommandError(kExitUsage, e.what());
    }
}

// A trace file that cannot be opened is a failure of the system, not of the command line.
std::unique_ptr<hid::TracingPlatform> AddTracing(std::unique_ptr<hid::Platform> platform,
                                                 const std::string& traceFile) {
    try {
        return std::make_unique<hid::TracingPlatform>(std::move(platform), traceFile);
    } catch (const std::runtime_error& e) {
        throw CommandError(kExitFailed, e.what());
    }
}

std::string ReaderName(ReaderAccess& access, std::size_t index) {
    return "reader " + std::to_string(index) + " (" + Printable(access.PathOf(index)) + ")";
}

}  // namespace

CommandPlatform OpenCommandPlatform(const GlobalOptions& options) {
    CommandPlatform opened;
    std::unique_ptr<hid::Platform> platform = OpenPlatform(options, opened.simulatedBus);
    if (!options.trace.empty()) {
        std::unique_ptr<hid::TracingPlatform> tracing =
            AddTracing(std::move(platform), options.trace);
        opened.tracing = tracing.get();
        platform = std::move(tracing);
    }
    opened.platform = std::move(platform);
    return opened;
}

ReaderAccess::ReaderAccess(const GlobalOptions& options)
    : options_(options), parts_(std::make_unique<Parts>()) {
    if (options_.all && !options_.device.empty()) {
        throw CommandError(kExitUsage,
                           "--all and --device exclude each other: --all uses every reader");
    }
    Parts& parts = *parts_;
    CommandPlatform opened = OpenCommandPlatform(options_);
    parts.platform = std::move(opened.platform);
    parts.simulatedBus = opened.simulatedBus;
    parts.tracing = opened.tracing;
    parts.controller = std::make_unique<hid::THidDeviceController>(
        parts.platform, [&parts](std::function<void()> task) { parts.posted.push_back(task); });
    parts.session = std::make_unique<ReaderSession>(*parts.controller);
    parts.controller->SetOnDeviceChange([&parts](hid::THidDeviceController&) {
        parts.session->RebuildDeviceList();
        parts.rebuilt = true;
    });
    parts.controller->Loaded();
    parts.RunPosted();
}

ReaderAccess::~ReaderAccess() {
    parts_->controller->SetOnDeviceChange(nullptr);
    if (parts_->tracing != nullptr && parts_->tracing->LostLines()) {
        ReportLateFailure("the trace " + options_.trace +
                          " is incomplete: a line could not be written");
    }
}

hid::Platform& ReaderAccess::Platform() {
    return *parts_->platform;
}
hid::THidDeviceController& ReaderAccess::Controller() {
    return *parts_->controller;
}
ReaderSession& ReaderAccess::Session() {
    return *parts_->session;
}

bool ReaderAccess::PollChanges() {
    parts_->rebuilt = false;
    parts_->controller->HandlePlatformChanges();
    parts_->RunPosted();
    return parts_->rebuilt;
}

std::string ReaderAccess::PathOf(std::size_t entry) const {
    const std::vector<DeviceEntry>& entries = parts_->session->Entries();
    if (entry >= entries.size() || !entries[entry].Device) {
        return {};
    }
    return entries[entry].Device->PnPInfo().DevicePath;
}

std::vector<std::size_t> ReaderAccess::ChosenReaders() const {
    const std::size_t count = parts_->session->Entries().size();
    if (count == 0) {
        throw CommandError(kExitFailed, "no reader attached");
    }
    if (options_.all) {
        std::vector<std::size_t> all(count);
        for (std::size_t i = 0; i < count; ++i) {
            all[i] = i;
        }
        return all;
    }
    if (options_.device.empty()) {
        return {0};
    }
    const std::string& selector = options_.device;
    if (std::all_of(selector.begin(), selector.end(),
                    [](char c) { return c >= '0' && c <= '9'; }) &&
        selector.size() < 10) {
        const std::size_t index = std::stoul(selector);
        if (index < count) {
            return {index};
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (PathOf(i) == selector) {
            return {i};
        }
    }
    throw CommandError(kExitUsage, "no reader " + selector + " (see 'zm880ctl list')");
}

namespace {

int RunOnChosenReaders(ReaderAccess& access, const std::function<void(ReaderSession&)>& action) {
    ReaderSession& session = access.Session();
    const std::vector<std::size_t> chosen = access.ChosenReaders();
    if (!access.Options().all) {
        session.Select(chosen.front());
        action(session);
        return kExitOk;
    }
    int exitCode = kExitOk;
    for (std::size_t index : chosen) {
        session.Select(index);
        const std::string name = ReaderName(access, index);
        // A reader's lines stay together with its result, which claims success only once the
        // whole run is saved.
        std::optional<HeldOutputScope> scope(std::in_place);
        try {
            action(session);
            scope.reset();
            HoldOutput(name + ": ok\n");
        } catch (const CommandError& e) {
            scope.reset();
            HoldOutput(name + ": failed: " + Printable(e.what()) + '\n', false);
            exitCode = std::max(exitCode, e.exitCode());
        }
    }
    return exitCode;
}

}  // namespace

std::unique_ptr<hid::SimulatedBus::Hold> ReaderAccess::HoldSimulatedBus() {
    if (parts_->simulatedBus == nullptr) {
        return nullptr;
    }
    try {
        return std::make_unique<hid::SimulatedBus::Hold>(*parts_->simulatedBus);
    } catch (const hid::simfile::SaveError& e) {
        throw CommandError(kExitFailed, *options_.simulate + ": " + e.what());
    }
}

void ReaderAccess::CommitSimulatedBus(hid::SimulatedBus::Hold& hold) const {
    try {
        hold.Commit();
    } catch (const hid::simfile::SaveError& e) {
        throw CommandError(kExitFailed, *options_.simulate + ": " + e.what());
    }
}

int RunOnReaders(ReaderAccess& access, const std::function<void(ReaderSession&)>& action) {
    // On a shared simulated bus the whole command is one read-modify-write, saved once.
    const std::unique_ptr<hid::SimulatedBus::Hold> hold = access.HoldSimulatedBus();
    const int exitCode = RunOnChosenReaders(access, action);
    if (hold) {
        access.CommitSimulatedBus(*hold);
    }
    return exitCode;
}

int RunOnReadersJson(ReaderAccess& access, const std::string& key,
                     const std::function<nlohmann::ordered_json(ReaderSession&)>& action) {
    const std::unique_ptr<hid::SimulatedBus::Hold> hold = access.HoldSimulatedBus();
    ReaderSession& session = access.Session();
    const std::vector<std::size_t> chosen = access.ChosenReaders();
    if (!access.Options().all) {
        session.Select(chosen.front());
        nlohmann::ordered_json document = action(session);
        if (hold) {
            access.CommitSimulatedBus(*hold);
        }
        HoldOutput(JsonText(document) + '\n');
        return kExitOk;
    }
    int exitCode = kExitOk;
    nlohmann::ordered_json results = nlohmann::ordered_json::array();
    for (std::size_t index : chosen) {
        session.Select(index);
        nlohmann::ordered_json result{{"index", index}, {"path", access.PathOf(index)}};
        try {
            nlohmann::ordered_json document = action(session);
            result["ok"] = true;
            result[key] = std::move(document);
        } catch (const CommandError& e) {
            result["ok"] = false;
            result.update(ErrorJson(e.what(), e.exitCode()));
            exitCode = std::max(exitCode, e.exitCode());
        }
        results.push_back(std::move(result));
    }
    if (hold) {
        access.CommitSimulatedBus(*hold);
    }
    HoldOutput(JsonText(results) + '\n');
    return exitCode;
}

}  // namespace zm880::cli
