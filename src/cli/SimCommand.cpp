#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/Cli.h"
#include "cli/WholeNumberCheck.h"
#include "hid/sim/SimulatedBus.h"
#include "hid/sim/StateFileAccess.h"
#include "sim/PlainHidDevice.h"
#include "sim/ReaderModel.h"

namespace zm880::cli {
namespace {

struct SimRequest {
    std::size_t slot = 0;
    std::string kind = "reader";
};

const std::string& StateFileOf(const GlobalOptions& options) {
    if (!options.simulate || options.simulate->empty()) {
        throw CommandError(kExitUsage, "sim needs the bus's state file: --simulate=FILE");
    }
    return *options.simulate;
}

// Runs `change` on the bus of the state file; errors of the file become CommandErrors.
template <typename Change>
auto OnBus(const std::string& file, Change change) {
    try {
        hid::SimulatedBus bus(file);
        return change(bus);
    } catch (const hid::simfile::SaveError& e) {
        throw CommandError(kExitFailed, file + ": " + e.what());
    } catch (const std::out_of_range& e) {
        throw CommandError(kExitUsage, e.what());
    } catch (const std::runtime_error& e) {
        throw CommandError(kExitUsage, e.what());
    }
}

// What another process now finds in the file: whether `slot` is plugged in.
bool PluggedInFile(const std::string& file, std::size_t slot) {
    return OnBus(file, [slot](hid::SimulatedBus& bus) {
        return slot < bus.DeviceCount() && bus.IsPlugged(slot);
    });
}

void Report(const std::string& file, std::size_t slot, bool plugged, const std::string& done) {
    const std::string path = "sim:hidraw" + std::to_string(slot);
    if (PluggedInFile(file, slot) != plugged) {
        throw CommandError(kExitFailed, file + ": " + path + " is not " +
                                            (plugged ? "plugged in" : "unplugged") +
                                            " after the change");
    }
    std::cout << done << ": " << path << '\n';
}

void AddSlotCommand(CLI::App& sim, const std::shared_ptr<GlobalOptions>& options,
                    const std::shared_ptr<SimRequest>& request, int& exitCode, bool plug) {
    CLI::App* command =
        sim.add_subcommand(plug ? "plug" : "unplug",
                           plug ? "Plug the device of SLOT in (it gets a new identity)"
                                : "Unplug the device of SLOT");
    command->add_option("SLOT", request->slot, "Slot n, the device of path sim:hidraw<n>")
        ->required()
        ->check(WholeNumberFrom(0, "a slot number"));
    // --simulate may also follow the subcommand, as it follows every other command.
    command->fallthrough();
    command->callback([options, request, &exitCode, plug] {
        const std::string& file = StateFileOf(*options);
        OnBus(file, [&](hid::SimulatedBus& bus) {
            if (request->slot >= bus.DeviceCount()) {
                throw CommandError(kExitUsage, "no slot " + std::to_string(request->slot) +
                                                   " on the simulated bus (it has " +
                                                   std::to_string(bus.DeviceCount()) + ")");
            }
            plug ? bus.Plug(request->slot) : bus.Unplug(request->slot);
        });
        Report(file, request->slot, plug, plug ? "plugged" : "unplugged");
        exitCode = kExitOk;
    });
}

}  // namespace

void AddSimCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    CLI::App* sim = app.add_subcommand(
        "sim", "Change the simulated bus of --simulate=FILE: plug, unplug or add devices");
    sim->require_subcommand(1);
    sim->add_option("--simulate", options->simulate, "The simulated bus kept in STATE")
        ->expected(0, 1)
        ->type_name("STATE");
    auto request = std::make_shared<SimRequest>();
    AddSlotCommand(*sim, options, request, exitCode, true);
    AddSlotCommand(*sim, options, request, exitCode, false);

    CLI::App* add = sim->add_subcommand("add", "Add a device in a new slot and plug it in");
    add->fallthrough();
    add->add_option("--kind", request->kind, "reader (default) or hid (a keyboard)")
        ->check(CLI::IsMember({"reader", "hid"}));
    add->callback([options, request, &exitCode] {
        const std::string& file = StateFileOf(*options);
        const std::size_t slot = OnBus(file, [&](hid::SimulatedBus& bus) {
            if (request->kind == "hid") {
                return bus.Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
            }
            return bus.Add(std::make_unique<sim::ReaderModel>());
        });
        Report(file, slot, true, "added");
        exitCode = kExitOk;
    });
}

}  // namespace zm880::cli
