#include <QApplication>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "app/TransferWait.h"

// How the window waits for a transfer: a quick one without turning its event loop (no repaint
// of half-updated controls), a slow one with the loop running and a busy cursor.
class TransferWaitTest : public QObject {
    Q_OBJECT

  private slots:
    void onlySlowTransfersRunTheWindowsLoop_data();
    void onlySlowTransfersRunTheWindowsLoop();
    void failureOfTheTransferReachesTheCaller();
};

// The quiet waits are far from the transfer times, so that a loaded machine that is slow to
// start the worker thread cannot turn one case into the other.
void TransferWaitTest::onlySlowTransfersRunTheWindowsLoop_data() {
    QTest::addColumn<int>("transferMs");
    QTest::addColumn<int>("quietMs");
    QTest::addColumn<bool>("loopRuns");
    QTest::newRow("instant") << 0 << 30000 << false;
    QTest::newRow("slow") << 300 << 1 << true;
}

void TransferWaitTest::onlySlowTransfersRunTheWindowsLoop() {
    QFETCH(int, transferMs);
    QFETCH(int, quietMs);
    QFETCH(bool, loopRuns);
    bool timerRan = false;
    bool busyCursor = false;
    QTimer::singleShot(0, [&] {
        timerRan = true;
        busyCursor = QApplication::overrideCursor() != nullptr &&
                     QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    bool worked = false;
    zm880::app::RunWhileWaiting(
        [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(transferMs));
            worked = true;
        },
        std::chrono::milliseconds(quietMs));
    QVERIFY(worked);
    QCOMPARE(timerRan, loopRuns);
    QCOMPARE(busyCursor, loopRuns);
    QVERIFY(QApplication::overrideCursor() == nullptr);
    // The timer of a quick transfer runs at the next turn of the loop.
    QTRY_VERIFY(timerRan);
}

void TransferWaitTest::failureOfTheTransferReachesTheCaller() {
    for (int transferMs : {0, 100}) {
        QVERIFY_THROWS_EXCEPTION(
            std::runtime_error, zm880::app::RunWhileWaiting([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(transferMs));
                throw std::runtime_error("gone");
            }));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
}

QTEST_MAIN(TransferWaitTest)
#include "transfer_wait_test.moc"
