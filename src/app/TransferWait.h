#pragma once

#include <functional>

namespace zm880::app {

// Runs `work` (a transfer that may wait seconds for a reader) on a worker thread while the
// calling GUI thread waits in a local event loop: windows keep painting and timers run, user
// input is held back and delivered afterwards in its order, and a busy cursor shows meanwhile.
// An exception of `work` is passed on to the caller.
void RunWhileWaiting(const std::function<void()>& work);

}  // namespace zm880::app
