#include "app/TransferWait.h"

#include <QApplication>
#include <QEventLoop>

#include <exception>
#include <thread>

namespace zm880::app {

void RunWhileWaiting(const std::function<void()>& work) {
    QEventLoop loop;
    std::exception_ptr failure;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued, so that a worker finishing before the loop starts still ends it.
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    QApplication::restoreOverrideCursor();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace zm880::app
