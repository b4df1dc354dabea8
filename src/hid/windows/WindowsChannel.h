#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/Platform.h"
#include "hid/windows/HidLibraries.h"

namespace zm880::hid::windows {

// One open handle on a HID interface path. Input reads use a second handle, opened for
// overlapped reading on the first read.
class WindowsChannel : public Channel {
  public:
    WindowsChannel(std::shared_ptr<const HidApi> api, HANDLE handle, std::string path,
                   OpenMode mode);
    ~WindowsChannel() override;
    WindowsChannel(const WindowsChannel&) = delete;
    WindowsChannel& operator=(const WindowsChannel&) = delete;

    std::optional<Attributes> GetAttributes() override;
    // Windows does not hand out the raw descriptor; lengths come from GetCaps.
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override { return std::nullopt; }
    std::optional<Caps> GetCaps() override;
    std::optional<std::string> GetManufacturerString() override;
    std::optional<std::string> GetProductString() override;

    bool GetFeature(std::span<std::uint8_t> report) override;
    bool SetFeature(std::span<const std::uint8_t> report) override;
    TransferError LastTransferError() const override { return lastError_; }

    std::optional<int> GetNumInputBuffers() override;
    bool SetNumInputBuffers(int count) override;

    InputRead ReadInput(std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) override;

  private:
    using StringQuery = decltype(HidEntries::GetProductString);
    std::optional<std::string> QueryString(StringQuery query);
    // Refuses a transfer on a query-only channel or without HID.dll; true when it may go ahead.
    bool MayTransfer();
    void NoteTransfer(bool done);
    // Windows refuses feature buffers shorter than the interface's feature length, and the
    // loader's reports are shorter: such a report travels zero-filled to that length, and a read
    // gives back only the bytes asked for.
    std::vector<std::uint8_t> FeatureBuffer(std::span<const std::uint8_t> report);

    std::shared_ptr<const HidApi> api_;
    HANDLE handle_;
    HANDLE readHandle_ = INVALID_HANDLE_VALUE;
    std::string path_;
    OpenMode mode_;
    TransferError lastError_;
    std::optional<std::uint16_t> featureLength_;
};

// The system's classification of a failed transfer's error code.
TransferError ClassifyTransferError(DWORD code);

// A UTF-16 string as UTF-8, up to the first NUL; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace zm880::hid::windows
