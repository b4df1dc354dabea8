#include "hid/windows/WindowsChannel.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "hid/windows/SystemMessage.h"

namespace zm880::hid::windows {
namespace {

// The size HID strings are asked with: 254 UTF-16 characters and the terminating NUL fit.
constexpr std::size_t kStringBufferBytes = 508;

// What a completed overlapped read reports back through its request record.
struct ReadCompletion {
    bool done = false;
    DWORD error = 0;
    DWORD bytes = 0;
};

void CALLBACK ReadCompleted(DWORD error, DWORD bytes, LPOVERLAPPED request) {
    auto* completion = static_cast<ReadCompletion*>(request->hEvent);
    completion->done = true;
    completion->error = error;
    completion->bytes = bytes;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != u'\0'; ++i) {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) +
                                (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

TransferError ClassifyTransferError(DWORD code) {
    using Kind = TransferError::Kind;
    switch (code) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            return {Kind::Removed, {}};
        case ERROR_ACCESS_DENIED:
            return {Kind::AccessDenied, SystemMessage(code)};
        case ERROR_SEM_TIMEOUT:
        case ERROR_TIMEOUT:
            return {Kind::NoAnswer, {}};
        case ERROR_BUSY:
            return {Kind::Busy, {}};
        default:
            return {Kind::Failed, SystemMessage(code)};
    }
}

WindowsChannel::WindowsChannel(std::shared_ptr<const HidApi> api, HANDLE handle, std::string path,
                               OpenMode mode)
    : api_(std::move(api)), handle_(handle), path_(std::move(path)), mode_(mode) {}

WindowsChannel::~WindowsChannel() {
    if (readHandle_ != INVALID_HANDLE_VALUE) {
        api_->file.Close(readHandle_);
    }
    api_->file.Close(handle_);
}

std::optional<Attributes> WindowsChannel::GetAttributes() {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!api_->hid || !api_->hid->GetAttributes(handle_, &attributes)) {
        return std::nullopt;
    }
    return Attributes{attributes.VendorID, attributes.ProductID, attributes.VersionNumber};
}

std::optional<Caps> WindowsChannel::GetCaps() {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!api_->hid || !api_->hid->GetPreparsedData(handle_, &preparsed)) {
        return std::nullopt;
    }
    HIDP_CAPS caps{};
    const NTSTATUS status = api_->hid->GetCaps(preparsed, &caps);
    api_->hid->FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) {
        // Read but not understood: asking again would give the same.
        return Caps{};
    }
    return Caps{caps.InputReportByteLength, caps.OutputReportByteLength,
                caps.FeatureReportByteLength};
}

std::optional<std::string> WindowsChannel::QueryString(StringQuery query) {
    std::array<char16_t, kStringBufferBytes / sizeof(char16_t)> buffer{};
    if (!api_->hid || !query(handle_, buffer.data(), kStringBufferBytes)) {
        return std::nullopt;
    }
    // A device that fills the buffer gets its 254 characters without a terminating NUL.
    return Utf16ToUtf8(std::u16string_view(buffer.data(), buffer.size()));
}

std::optional<std::string> WindowsChannel::GetManufacturerString() {
    return QueryString(api_->hid ? api_->hid->GetManufacturerString : nullptr);
}

std::optional<std::string> WindowsChannel::GetProductString() {
    return QueryString(api_->hid ? api_->hid->GetProductString : nullptr);
}

bool WindowsChannel::MayTransfer() {
    if (mode_ == OpenMode::QueryOnly) {
        lastError_ = {TransferError::Kind::AccessDenied, "opened for queries only"};
        return false;
    }
    if (!api_->hid) {
        lastError_ = {TransferError::Kind::Failed, "HID.dll is not available"};
        return false;
    }
    return true;
}

void WindowsChannel::NoteTransfer(bool done) {
    lastError_ = done ? TransferError{} : ClassifyTransferError(GetLastError());
}

std::vector<std::uint8_t> WindowsChannel::FeatureBuffer(std::span<const std::uint8_t> report) {
    if (!featureLength_) {
        featureLength_ = GetCaps().value_or(Caps{}).FeatureReportByteLength;
    }
    std::vector<std::uint8_t> buffer(report.begin(), report.end());
    if (buffer.size() < *featureLength_) {
        buffer.resize(*featureLength_, 0);
    }
    return buffer;
}

bool WindowsChannel::GetFeature(std::span<std::uint8_t> report) {
    if (report.empty() || report.size() > std::numeric_limits<ULONG>::max() || !MayTransfer()) {
        return false;
    }
    std::vector<std::uint8_t> buffer = FeatureBuffer(report);
    const bool done =
        api_->hid->GetFeature(handle_, buffer.data(), static_cast<ULONG>(buffer.size())) != 0;
    if (done) {
        std::copy_n(buffer.begin(), report.size(), report.begin());
    }
    NoteTransfer(done);
    return done;
}

bool WindowsChannel::SetFeature(std::span<const std::uint8_t> report) {
    if (report.empty() || report.size() > std::numeric_limits<ULONG>::max() || !MayTransfer()) {
        return false;
    }
    std::vector<std::uint8_t> buffer = FeatureBuffer(report);
    const bool done =
        api_->hid->SetFeature(handle_, buffer.data(), static_cast<ULONG>(buffer.size())) != 0;
    NoteTransfer(done);
    return done;
}

std::optional<int> WindowsChannel::GetNumInputBuffers() {
    ULONG count = 0;
    if (!api_->hid || !api_->hid->GetNumInputBuffers(handle_, &count) ||
        count > static_cast<ULONG>(std::numeric_limits<int>::max())) {
        return std::nullopt;
    }
    return static_cast<int>(count);
}

bool WindowsChannel::SetNumInputBuffers(int count) {
    return count >= 0 && api_->hid &&
           api_->hid->SetNumInputBuffers(handle_, static_cast<ULONG>(count)) != 0;
}

InputRead WindowsChannel::ReadInput(std::span<std::uint8_t> buffer,
                                    std::chrono::milliseconds timeout) {
    if (buffer.empty() || buffer.size() > std::numeric_limits<DWORD>::max()) {
        return {false, 0, ERROR_INVALID_PARAMETER};
    }
    if (readHandle_ == INVALID_HANDLE_VALUE) {
        readHandle_ =
            api_->file.Create(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (readHandle_ == INVALID_HANDLE_VALUE) {
            return {false, 0, static_cast<int>(GetLastError())};
        }
    }
    ReadCompletion completion;
    OVERLAPPED request{};
    // With a completion routine the event slot is free; it carries the result back.
    request.hEvent = &completion;
    if (!api_->file.ReadEx(readHandle_, buffer.data(), static_cast<DWORD>(buffer.size()), &request,
                           ReadCompleted)) {
        return {false, 0, static_cast<int>(GetLastError())};
    }
    const auto wait = static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1));
    if (api_->file.Sleep(wait, TRUE) != WAIT_IO_COMPLETION || !completion.done) {
        // The buffer and the request must outlive the read, so the cancelled read's
        // completion is waited for before they go.
        api_->file.Cancel(readHandle_);
        while (!completion.done) {
            api_->file.Sleep(INFINITE, TRUE);
        }
        if (completion.error == ERROR_OPERATION_ABORTED) {
            return {true, 0, 0};
        }
    }
    if (completion.error != 0) {
        return {false, 0, static_cast<int>(completion.error)};
    }
    return {true, completion.bytes, 0};
}

}  // namespace zm880::hid::windows
