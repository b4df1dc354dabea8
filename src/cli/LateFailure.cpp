#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/Cli.h"

namespace zm880::cli {

namespace {

std::optional<std::string>& Pending() {
    static std::optional<std::string> pending;
    return pending;
}

struct HeldText {
    std::string text;
    bool claimsSuccess;
};

std::vector<HeldText>& Held() {
    static std::vector<HeldText> held;
    return held;
}

// The capture of the HeldOutputScope alive, if any.
std::ostringstream*& Capture() {
    static std::ostringstream* capture = nullptr;
    return capture;
}

// What standard output took so far in a scope keeps its place before the next held text.
void MoveCaptureToHeld() {
    if (Capture() != nullptr && !Capture()->str().empty()) {
        Held().push_back({Capture()->str(), false});
        Capture()->str({});
    }
}

}  // namespace

void ReportLateFailure(const std::string& message) {
    if (!Pending()) {
        Pending() = message;
    }
}

std::optional<std::string> TakeLateFailure() {
    std::optional<std::string> failure = std::move(Pending());
    Pending().reset();
    return failure;
}

void HoldOutput(std::string text, bool claimsSuccess) {
    MoveCaptureToHeld();
    Held().push_back({std::move(text), claimsSuccess});
}

std::string TakeHeldOutput(bool succeeded) {
    std::string text;
    for (HeldText& held : Held()) {
        if (succeeded || !held.claimsSuccess) {
            text += held.text;
        }
    }
    Held().clear();
    return text;
}

HeldOutputScope::HeldOutputScope() : capture_(std::make_unique<std::ostringstream>()) {
    previous_ = std::cout.rdbuf(capture_->rdbuf());
    Capture() = capture_.get();
}

HeldOutputScope::~HeldOutputScope() {
    MoveCaptureToHeld();
    Capture() = nullptr;
    std::cout.rdbuf(previous_);
}

}  // namespace zm880::cli
