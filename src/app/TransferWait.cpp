#include "app/TransferWait.h"

#include <QApplication>
#include <QEventLoop>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace zm880::app {

void RunWhileWaiting(const std::function<void()>& work, std::chrono::milliseconds quietWait) {
    QEventLoop loop;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        finished.notify_one();
        // Queued, so that a worker finishing before the loop starts still ends it.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    bool quick = false;
    {
        std::unique_lock lock(mutex);
        quick = finished.wait_for(lock, quietWait, [&] { return done; });
    }
    if (!quick) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        QApplication::restoreOverrideCursor();
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace zm880::app
