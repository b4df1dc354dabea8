#include <chrono>
#include <csignal>
#include <iostream>

#include "cli/Printable.h"
#include "cli/ReaderAccess.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/OsServices.h"

namespace zm880::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

bool IsReader(const hid::THidDevice& device) {
    return device.Attributes().VendorID == kReaderVendorId &&
           device.Attributes().ProductID == kReaderProductId;
}

// Waits for device changes until a stop signal; a signal ends the wait at once (poll is never
// restarted after a handler), the timeout only covers a signal that lands just before it.
void WatchUntilStopped(ReaderAccess& access) {
    constexpr std::chrono::milliseconds kWakeUp{500};
    while (stopRequested == 0) {
        if (hid::WaitSignalled(access.Controller().ChangeWaitable(), kWakeUp)) {
            access.PollChanges();
        }
    }
}

}  // namespace

void AddWatchCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    CLI::App* watch =
        app.add_subcommand("watch", "Print a line for every reader plugged in or removed");
    AddReaderOptions(*watch, *options, ReaderChoice::None);
    watch->callback([options, &exitCode] {
        RefuseReaderChoice(*options, ReaderChoice::None,
                           "watch reports every reader: --device and --all do not apply");
        ReaderAccess access(*options);
        access.Controller().SetOnArrival([](hid::THidDevice& device) {
            if (IsReader(device)) {
                std::cout << "arrived: " << Printable(device.PnPInfo().DevicePath) << "  "
                          << Printable(ReaderSession::EntryText(device.Attributes().VendorID,
                                                                device.Attributes().ProductID,
                                                                device.ProductText()))
                          << std::endl;
            }
        });
        access.Controller().SetOnRemoval([](hid::THidDevice& device) {
            if (IsReader(device)) {
                std::cout << "removed: " << Printable(device.PnPInfo().DevicePath) << std::endl;
            }
        });
        std::signal(SIGINT, RequestStop);
        std::signal(SIGTERM, RequestStop);
        // On stderr, so stdout keeps only the changes: whoever plugs a reader in after this
        // line knows the watch hears it.
        std::cerr << "watching for readers (Ctrl+C ends)" << std::endl;
        WatchUntilStopped(access);
        exitCode = kExitOk;
    });
}

}  // namespace zm880::cli
