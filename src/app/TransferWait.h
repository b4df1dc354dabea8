#pragma once

#include <chrono>
#include <functional>

namespace zm880::app {

// Runs `work` (a transfer that may wait seconds for a reader) on a worker thread while the
// calling GUI thread waits in a local event loop: windows keep painting and timers run, user
// input is held back and delivered afterwards in its order, and a busy cursor shows meanwhile.
// A transfer that is over within a few milliseconds is waited for without the loop and without
// the busy cursor. An exception of `work` is passed on to the caller.
//
// Most transfers are over within a few milliseconds. Waiting `quietWait` without a local loop
// spares a repaint in their middle (at start-up, a first painting of controls that the read is
// about to change) and is too short for the window to look stuck.
inline constexpr std::chrono::milliseconds kQuietWait{20};
void RunWhileWaiting(const std::function<void()>& work,
                     std::chrono::milliseconds quietWait = kQuietWait);

}  // namespace zm880::app
