#include "hid/TracingPlatform.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace zm880::hid {

class TraceLog {
  public:
    explicit TraceLog(const std::string& path) : out_(path, std::ios::app) {
        if (!out_) {
            throw std::runtime_error("cannot open trace file " + path + ": " +
                                     std::strerror(errno));
        }
    }

    void Write(const char* what, std::span<const std::uint8_t> bytes) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string line = what;
        for (std::uint8_t byte : bytes) {
            line += ' ';
            line += kDigits[byte >> 4];
            line += kDigits[byte & 0xF];
        }
        line += '\n';
        std::lock_guard lock(mutex_);
        // Flushed per line: the log is most wanted when the program does not end well.
        out_ << line << std::flush;
        if (!out_) {
            lost_ = true;
            out_.clear();
        }
    }

    bool Lost() {
        std::lock_guard lock(mutex_);
        return lost_;
    }

  private:
    std::mutex mutex_;
    std::ofstream out_;
    bool lost_ = false;
};

namespace {

class TracingChannel : public Channel {
  public:
    TracingChannel(std::unique_ptr<Channel> inner, std::shared_ptr<TraceLog> log)
        : inner_(std::move(inner)), log_(std::move(log)) {}

    std::optional<Attributes> GetAttributes() override { return inner_->GetAttributes(); }
    std::optional<std::vector<std::uint8_t>> GetReportDescriptor() override {
        return inner_->GetReportDescriptor();
    }
    std::optional<Caps> GetCaps() override { return inner_->GetCaps(); }
    std::optional<std::string> GetManufacturerString() override {
        return inner_->GetManufacturerString();
    }
    std::optional<std::string> GetProductString() override { return inner_->GetProductString(); }

    bool GetFeature(std::span<std::uint8_t> report) override {
        const std::vector<std::uint8_t> asked(report.begin(), report.end());
        const bool ok = inner_->GetFeature(report);
        if (ok) {
            log_->Write("GET", report);
        } else {
            log_->Write("FAIL GET", asked);
        }
        return ok;
    }

    bool SetFeature(std::span<const std::uint8_t> report) override {
        const bool ok = inner_->SetFeature(report);
        log_->Write(ok ? "SET" : "FAIL SET", report);
        return ok;
    }

    TransferError LastTransferError() const override { return inner_->LastTransferError(); }

    std::optional<int> GetNumInputBuffers() override { return inner_->GetNumInputBuffers(); }
    bool SetNumInputBuffers(int count) override { return inner_->SetNumInputBuffers(count); }
    InputRead ReadInput(std::span<std::uint8_t> buffer,
                        std::chrono::milliseconds timeout) override {
        return inner_->ReadInput(buffer, timeout);
    }

  private:
    std::unique_ptr<Channel> inner_;
    std::shared_ptr<TraceLog> log_;
};

}  // namespace

TracingPlatform::TracingPlatform(std::unique_ptr<Platform> inner, const std::string& traceFile)
    : inner_(std::move(inner)), log_(std::make_shared<TraceLog>(traceFile)) {}

TracingPlatform::~TracingPlatform() = default;

bool TracingPlatform::LostLines() const {
    return log_->Lost();
}

std::vector<InterfaceEntry> TracingPlatform::PresentInterfaces() {
    return inner_->PresentInterfaces();
}

std::unique_ptr<Channel> TracingPlatform::Open(const std::string& path, OpenMode mode,
                                               OpenError& error) {
    std::unique_ptr<Channel> channel = inner_->Open(path, mode, error);
    if (!channel) {
        return nullptr;
    }
    return std::make_unique<TracingChannel>(std::move(channel), log_);
}

Waitable TracingPlatform::ChangeWaitable() const {
    return inner_->ChangeWaitable();
}

int TracingPlatform::TakeChanges() {
    return inner_->TakeChanges();
}

std::unique_ptr<DeviceHold> TracingPlatform::HoldDevices() {
    return inner_->HoldDevices();
}

}  // namespace zm880::hid
