// Hosts simulated readers and other HID devices behind /dev/uhid, so that the Linux backend can
// be tried against a real kernel. Commands arrive one per line on a control FIFO; every command
// gets one reply line ("ok ..." or "error ...") on the reply FIFO:
//   add-reader NAME [TYPE]   add-keyboard NAME   remove NAME   list   present NAME
//       (an add replies with the new hidraw node)
//   mute NAME / unmute NAME  leave requests unanswered, as a hung device does
//   remove-after NAME N      drop off the bus at the transfer after N more
//   corrupt-checksum NAME PAGE   dump-flash NAME FILE   dump-settings NAME FILE
//   transfers NAME           grant NAME (open the node to all users and announce it again)
//   quit
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ControlCommand.h"
#include "UhidDevice.h"
#include "sim/PlainHidDevice.h"
#include "sim/ReaderModel.h"

namespace zm880::kernel {
namespace {

class DeviceHost {
  public:
    explicit DeviceHost(std::uint16_t bus) : bus_(bus) {}

    std::string Run(const ControlCommand& command);
    std::vector<pollfd> PollList() const;
    // Serves the device behind `fd`; a device that asked to be removed is destroyed.
    void Serve(int fd);
    bool Stopped() const { return stopped_; }

  private:
    std::string Add(const std::string& name, std::unique_ptr<sim::DeviceModel> model);
    UhidDevice& Device(const std::string& name);
    sim::ReaderModel& Reader(const std::string& name);

    std::uint16_t bus_;
    std::map<std::string, std::unique_ptr<UhidDevice>> devices_;
    unsigned plugs_ = 0;
    bool stopped_ = false;
};

std::string DeviceHost::Add(const std::string& name, std::unique_ptr<sim::DeviceModel> model) {
    if (devices_.contains(name)) {
        throw std::runtime_error("device " + name + " exists");
    }
    const std::string uniq = name + "." + std::to_string(++plugs_);
    auto device = std::make_unique<UhidDevice>(std::move(model), uniq, bus_);
    // The node appears once the kernel has bound a driver; serve the device meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string node;
    while ((node = FindHidrawNode(uniq)).empty()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("no hidraw node appeared for " + name);
        }
        pollfd waiting{device->Fd(), POLLIN, 0};
        if (::poll(&waiting, 1, 10) > 0) {
            device->Serve();
        }
    }
    // devtmpfs creates the /dev entry a moment after sysfs lists the node.
    while (::access(node.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    devices_.emplace(name, std::move(device));
    return node;
}

UhidDevice& DeviceHost::Device(const std::string& name) {
    const auto found = devices_.find(name);
    if (found == devices_.end()) {
        throw std::runtime_error("no device " + name);
    }
    return *found->second;
}

sim::ReaderModel& DeviceHost::Reader(const std::string& name) {
    auto* reader = dynamic_cast<sim::ReaderModel*>(&Device(name).Model());
    if (reader == nullptr) {
        throw std::runtime_error(name + " is not a reader");
    }
    return *reader;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

// What a udev rule does for a reader: opens its node to every user, then the device manager
// announces the node again, now usable.
void Grant(const UhidDevice& device) {
    const std::string node = FindHidrawNode(device.Uniq());
    if (node.empty() || ::chmod(node.c_str(), 0666) != 0) {
        throw std::runtime_error("cannot open up " + (node.empty() ? device.Uniq() : node));
    }
    const std::string uevent = "/sys/class/hidraw/" + node.substr(node.rfind('/') + 1) + "/uevent";
    std::ofstream announce(uevent);
    announce << "add" << std::endl;
    if (!announce) {
        throw std::runtime_error("cannot write " + uevent);
    }
}

std::string DeviceHost::Run(const ControlCommand& command) {
    const std::string& verb = command.verb;
    if (verb == "quit") {
        stopped_ = true;
        return "ok";
    }
    if (verb == "add-reader") {
        auto reader = std::make_unique<sim::ReaderModel>();
        reader->SetReaderType(static_cast<std::uint8_t>(command.Number(1, 0)));
        return "ok " + Add(command.Word(0), std::move(reader));
    }
    if (verb == "add-keyboard") {
        return "ok " +
               Add(command.Word(0), std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
    }
    if (verb == "remove") {
        Device(command.Word(0));
        devices_.erase(command.Word(0));
        return "ok";
    }
    if (verb == "mute" || verb == "unmute") {
        Device(command.Word(0)).SetAnswering(verb == "unmute");
        return "ok";
    }
    if (verb == "remove-after") {
        Device(command.Word(0)).RemoveAfterTransfers(static_cast<int>(command.Number(1)));
        return "ok";
    }
    if (verb == "corrupt-checksum") {
        Reader(command.Word(0)).Faults().wrongChecksumPage = static_cast<int>(command.Number(1));
        return "ok";
    }
    if (verb == "dump-flash") {
        const auto& flash = Reader(command.Word(0)).Flash();
        WriteFile(command.Word(1), flash.data(), flash.size());
        return "ok";
    }
    if (verb == "dump-settings") {
        const auto& settings = Reader(command.Word(0)).Settings();
        WriteFile(command.Word(1), settings.data(), settings.size());
        return "ok";
    }
    if (verb == "transfers") {
        return "ok " + std::to_string(Device(command.Word(0)).Transfers());
    }
    if (verb == "grant") {
        Grant(Device(command.Word(0)));
        return "ok";
    }
    if (verb == "list") {
        std::string names = "ok";
        for (const auto& [name, device] : devices_) {
            names += " " + name;
        }
        return names;
    }
    if (verb == "present") {
        return devices_.contains(command.Word(0)) ? "ok yes" : "ok no";
    }
    throw std::runtime_error("unknown command '" + verb + "'");
}

std::vector<pollfd> DeviceHost::PollList() const {
    std::vector<pollfd> list;
    for (const auto& [name, device] : devices_) {
        list.push_back({device->Fd(), POLLIN, 0});
    }
    return list;
}

void DeviceHost::Serve(int fd) {
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if (it->second->Fd() == fd) {
            if (!it->second->Serve()) {
                std::cerr << "zm880-uhid: " << it->first << " dropped off the bus\n";
                devices_.erase(it);
            }
            return;
        }
    }
}

int OpenFifo(const char* path) {
    // Read-write, so that the FIFO neither blocks the open nor ends when a writer closes.
    const int fd = ::open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error(std::string("cannot open ") + path + ": " + std::strerror(errno));
    }
    return fd;
}

void Reply(int fd, const std::string& line) {
    const std::string text = line + "\n";
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        std::cerr << "zm880-uhid: reply lost: " << line << '\n';
    }
}

int Run(const char* controlPath, const char* replyPath, std::uint16_t bus) {
    const int control = OpenFifo(controlPath);
    const int reply = OpenFifo(replyPath);
    DeviceHost host(bus);
    std::string pending;
    while (!host.Stopped()) {
        std::vector<pollfd> list = host.PollList();
        list.push_back({control, POLLIN, 0});
        if (::poll(list.data(), list.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        for (std::size_t i = 0; i + 1 < list.size(); ++i) {
            if (list[i].revents != 0) {
                host.Serve(list[i].fd);
            }
        }
        if (list.back().revents == 0) {
            continue;
        }
        char chunk[512];
        const ssize_t got = ::read(control, chunk, sizeof chunk);
        if (got <= 0) {
            continue;
        }
        pending.append(chunk, static_cast<std::size_t>(got));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            try {
                Reply(reply, host.Run(ParseControlCommand(line)));
            } catch (const std::exception& error) {
                Reply(reply, std::string("error ") + error.what());
            }
        }
    }
    return 0;
}

}  // namespace
}  // namespace zm880::kernel

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: zm880-uhid CONTROL_FIFO REPLY_FIFO [usb|virtual]\n";
        return 2;
    }
    const bool virtualBus = argc == 4 && std::strcmp(argv[3], "virtual") == 0;
    try {
        return zm880::kernel::Run(argv[1], argv[2], virtualBus ? BUS_VIRTUAL : BUS_USB);
    } catch (const std::exception& error) {
        std::cerr << "zm880-uhid: " << error.what() << '\n';
        return 1;
    }
}
