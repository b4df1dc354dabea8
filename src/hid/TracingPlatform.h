#pragma once

#include <memory>
#include <string>

#include "hid/Platform.h"

namespace zm880::hid {

class TraceLog;

// Wraps a platform and appends every feature transfer on its channels to a text file, one line
// each, so that a protocol log can go with a support request:
//   SET 03 01 00 ...      bytes sent
//   GET 03 01 15 ...      bytes received
//   FAIL SET 03 ...       bytes the failed transfer tried to send
//   FAIL GET 03 00 ...    buffer the failed read was asked with
class TracingPlatform : public Platform {
  public:
    // Throws std::runtime_error when `traceFile` cannot be opened for appending.
    TracingPlatform(std::unique_ptr<Platform> inner, const std::string& traceFile);
    ~TracingPlatform() override;

    // Whether a line could not be written (full disk, file size limit): the log is incomplete.
    bool LostLines() const;

    std::vector<InterfaceEntry> PresentInterfaces() override;
    std::unique_ptr<Channel> Open(const std::string& path, OpenMode mode,
                                  OpenError& error) override;
    Waitable ChangeWaitable() const override;
    int TakeChanges() override;
    std::unique_ptr<DeviceHold> HoldDevices() override;

  private:
    std::unique_ptr<Platform> inner_;
    std::shared_ptr<TraceLog> log_;
};

}  // namespace zm880::hid
