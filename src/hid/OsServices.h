#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "hid/Platform.h"

// The few operating-system services that the tools need besides HID, kept behind the same seam
// so that nothing above hid/ includes an OS header.
namespace zm880::hid {

// Waits until `waitable` is signalled or `timeout` has passed, without consuming anything.
// Returns false on a timeout, on an interrupting signal (so a stop request is seen at once) and
// for kNoWaitable.
bool WaitSignalled(Waitable waitable, std::chrono::milliseconds timeout);

// Waits until one of `waitables` is signalled or `timeout` has passed (a negative timeout waits
// without end); kNoWaitable entries are skipped. Returns the index of the first signalled one, or
// -1 on a timeout or an interrupting signal.
int WaitAnySignalled(std::span<const Waitable> waitables, std::chrono::milliseconds timeout);

// A one-way stop request that another thread or a signal handler raises: once raised, its
// waitable stays signalled, so a wait on it ends at once. Raise is async-signal-safe on POSIX
// systems; Windows runs console control handlers on a thread of their own.
class StopSignal {
  public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    Waitable Signalled() const { return signalled_; }
    void Raise() noexcept;
    bool Raised() const noexcept { return raised_.load(); }

  private:
    std::atomic<bool> raised_{false};
    // The read end of a pipe on POSIX systems, a manual-reset event on Windows.
    Waitable signalled_ = kNoWaitable;
    Waitable raiser_ = kNoWaitable;
};

// `time` in the local time zone, safe to call from any thread.
std::tm LocalTime(std::time_t time);

// Whether standard output is a terminal, where progress may be redrawn in place.
bool StandardOutputIsTerminal();

#ifdef _WIN32
// What the version resource of a file says, as Windows reads it. Texts are those of the first
// translation; a key the resource lacks is absent. A missing file, one that is not an
// executable, or one without a version resource gives nothing but the shell's type name.
struct FileVersionResource {
    std::string typeName;
    std::map<std::string, std::string> values;
    bool hasFixedPart = false;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileFlagsMask = 0;
};
FileVersionResource ReadFileVersionResource(const std::string& file,
                                            const std::vector<std::string>& keys);

// One string value of the registry.
struct RegistryValue {
    enum class Root { LocalMachine, CurrentUser };
    Root root;
    std::string key;
    std::string name;
};

// The configuration file loaded last, remembered for every user of the machine.
inline const RegistryValue kCfgPathValue{RegistryValue::Root::LocalMachine,
                                         "SOFTWARE\\Tavrenix\\ZM800Utility", "CfgPath"};

// Opens the key for reading only, never creating it. The value is taken as stored, a plain or
// an expandable string without expansion; empty when the key or the value does not exist.
// Throws std::runtime_error for a value of another type.
std::string ReadRegistryString(const RegistryValue& value);
// Creates the key if needed and writes the value; when that fails nothing happens.
void WriteRegistryString(const RegistryValue& value, const std::string& text);
#endif

}  // namespace zm880::hid
