#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "flasher/gui/FlasherForm.h"
#include "flasher/gui/UpdateCommand.h"
#include "sim/PlainHidDevice.h"
#include "support/WindowFixture.h"

using zm880::flasher_gui::TFlasherForm;
using zm880::flasher_gui::TUpdateCommand;
using zm880::testing::WindowFixture;
namespace sim = zm880::sim;

namespace {

// Time that passes the moment it is waited for, so the pause after the loader start is free.
class InstantClock : public zm880::flasher::UpdateClock {
  public:
    TimePoint Now() override { return now_; }
    void WaitUntil(TimePoint until) override { now_ = std::max(now_, until); }

  private:
    TimePoint now_{};
};

QString DataRecord(std::uint16_t address, const std::vector<std::uint8_t>& bytes) {
    unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8) + (address & 0xFF);
    QString line =
        QString(":%1%2").arg(bytes.size(), 2, 16, QChar('0')).arg(address, 4, 16, QChar('0')) +
        "00";
    for (std::uint8_t byte : bytes) {
        line += QString("%1").arg(byte, 2, 16, QChar('0'));
        sum += byte;
    }
    return (line + QString("%1").arg((0x100 - (sum & 0xFF)) & 0xFF, 2, 16, QChar('0'))).toUpper();
}

// 64 counting bytes at the start of the image and 16 at the start of its last page.
QStringList UpdateLines() {
    std::vector<std::uint8_t> first(16), last(16);
    QStringList lines;
    for (std::uint16_t row = 0; row < 4; ++row) {
        for (std::size_t i = 0; i < first.size(); ++i)
            first[i] = static_cast<std::uint8_t>(row * 16 + i);
        lines << DataRecord(static_cast<std::uint16_t>(0x1400 + row * 16), first);
    }
    for (std::size_t i = 0; i < last.size(); ++i)
        last[i] = static_cast<std::uint8_t>(0xA0 + i);
    lines << DataRecord(0x1400 + 19 * 512, last) << ":00000001FF";
    return lines;
}

zm880::flasher::FirmwareImage ExpectedImage() {
    zm880::flasher::FirmwareImage image;
    image.fill(0xFF);
    for (std::size_t i = 0; i < 64; ++i)
        image[i] = static_cast<std::uint8_t>(i);
    for (std::size_t i = 0; i < 16; ++i)
        image[19 * 512 + i] = static_cast<std::uint8_t>(0xA0 + i);
    return image;
}

void WriteLines(const QString& path, const QStringList& lines) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((lines.join("\r\n") + "\r\n").toLatin1());
}

bool IsCommand(const sim::Transfer& transfer, std::uint8_t command, int flashPage = -1) {
    return transfer.kind == sim::Transfer::Kind::Set && transfer.bytes.size() == 4 &&
           transfer.bytes[0] == 2 && transfer.bytes[1] == command &&
           (flashPage < 0 || transfer.bytes[2] == flashPage);
}

// The run starts when the window is activated. A display without a window manager (wine on a
// virtual screen) may never activate it, so the test does what the system would.
void ActivateIfTheSystemDoesNot(TFlasherForm& flasher) {
    QTimer::singleShot(1000, &flasher, [&flasher] {
        if (!flasher.isActiveWindow())
            QCoreApplication::postEvent(&flasher, new QEvent(QEvent::WindowActivate));
    });
}

// Notes, at a close that comes after the run, whether the window's 3 s closing timer is still
// waiting: the timer stops itself before it closes the window, so a waiting timer means that
// something else closed it. Lives as long as the window it watches.
class CloseAfterRunWatcher : public QObject {
  public:
    CloseAfterRunWatcher(TFlasherForm& flasher, bool& closed, bool& timerWaiting)
        : QObject(&flasher), flasher_(flasher), closed_(closed), timerWaiting_(timerWaiting) {
        flasher.installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &flasher_ && event->type() == QEvent::Close && !flasher_.Running()) {
            closed_ = true;
            timerWaiting_ = flasher_.Timer1()->isActive();
        }
        return false;
    }

  private:
    TFlasherForm& flasher_;
    bool& closed_;
    bool& timerWaiting_;
};

enum Fault { WrongChecksumPage0, StatusReadFails, FileDeleted, RefusedLine, StatusTwo };

// What a test saw of one "Flasher" window.
struct Seen {
    bool created = false;
    QString captionAtStart;
    bool enabledAtStart = true;
    QString captionAtEnd;
    bool enabledAtEnd = false;
    int progressMaximum = -1;
    int progressValue = -1;
    int code = -1;
};

}  // namespace

class FlasherFormTest : public QObject {
    Q_OBJECT

  private slots:
    void successfulUpdateFillsFlashShowsReadyAndClosesByTimer();
    void successfulUpdateIsSaidAndTheReaderIsReadAgain_data();
    void successfulUpdateIsSaidAndTheReaderIsReadAgain();
    void failedRunNamesItsStepAndWaitsForClose_data();
    void failedRunNamesItsStepAndWaitsForClose();
    void updateFileNameNeedsLowerCaseHexExtension_data();
    void updateFileNameNeedsLowerCaseHexExtension();
    void refusedFileOrMissingReaderOpensNoWindow();
    void filesThatWouldEraseFirmwareAreRefusedOrAskedFor();
    void closeDuringRunWaitsForItsEnd();
    void deviceChangeDuringRunNeverUsesReleasedReader_data();
    void deviceChangeDuringRunNeverUsesReleasedReader();
    void buttonFitsEachOfItsCaptions();

  private:
    // Starts the window with one reader and watches the "Flasher" windows it opens. After the
    // run a failed window is closed with its button; a successful one closes by its timer.
    TUpdateCommand& Prepare(WindowFixture& fixture, Seen& seen);

    InstantClock clock_;
};

TUpdateCommand& FlasherFormTest::Prepare(WindowFixture& fixture, Seen& seen) {
    auto& form = fixture.Start();
    // The update files here fill 2 of the 20 pages; the user agrees to that once.
    fixture.Dialogs().yesNoAnswers.push_back(true);
    auto* command = form.findChild<TUpdateCommand*>("UpdateCommand");
    command->SetClock(&clock_);
    command->OnFlasherCreated = [&seen](TFlasherForm& flasher) {
        seen.created = true;
        auto* button = flasher.findChild<QPushButton*>("bnClose");
        seen.captionAtStart = button->text();
        seen.enabledAtStart = button->isEnabled();
        // A window that never closes must not hang the test.
        QTimer::singleShot(10000, &flasher, [&flasher] { flasher.done(0); });
        ActivateIfTheSystemDoesNot(flasher);
        QObject::connect(&flasher, &TFlasherForm::runEnded, &flasher, [&seen, &flasher, button] {
            seen.captionAtEnd = button->text();
            seen.enabledAtEnd = button->isEnabled();
            auto* bar = flasher.findChild<QProgressBar*>("ProgressBar1");
            seen.progressMaximum = bar->maximum();
            seen.progressValue = bar->value();
            seen.code = flasher.Result().code;
            if (flasher.Result().ok()) {
                QCOMPARE(flasher.Timer1()->interval(), 3000);
                QVERIFY(flasher.Timer1()->isActive());
                // The same timer, without waiting its 3 s.
                flasher.Timer1()->start(1);
            } else {
                QVERIFY(!flasher.Timer1()->isActive());
                QTimer::singleShot(0, button,
                                   [button] { QTest::mouseClick(button, Qt::LeftButton); });
            }
        });
    };
    return *command;
}

void FlasherFormTest::successfulUpdateFillsFlashShowsReadyAndClosesByTimer() {
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    auto& command = Prepare(fixture, seen);
    const QString path = fixture.TempPath("update.hex");
    WriteLines(path, UpdateLines());
    fixture.Reader(slot).ClearTransferLog();
    fixture.Dialogs().answers.push_back(path);

    QString title, fileLabel;
    QSize clientSize;
    command.OnFlasherCreated = [previous = command.OnFlasherCreated, &title, &fileLabel,
                                &clientSize](TFlasherForm& flasher) {
        previous(flasher);
        title = flasher.windowTitle();
        clientSize = flasher.size();
        QObject::connect(&flasher, &TFlasherForm::runEnded, &flasher, [&flasher, &fileLabel] {
            fileLabel = flasher.findChild<QLabel*>("txUpdateFileName")->text();
        });
    };
    fixture.Action("miUpdate")->trigger();

    QVERIFY(seen.created);
    QCOMPARE(title, QString("Flasher"));
    QCOMPARE(clientSize, QSize(606, 148));
    QCOMPARE(fileLabel, path);
    QCOMPARE(seen.captionAtStart, QString("please wait"));
    QVERIFY(!seen.enabledAtStart);
    QCOMPARE(seen.code, 0);
    QCOMPARE(seen.captionAtEnd, QString("ready"));
    QVERIFY(seen.enabledAtEnd);
    QCOMPARE(seen.progressMaximum, 19);
    QCOMPARE(seen.progressValue, 19);
    QVERIFY(fixture.Dialogs().messages.isEmpty());
    QVERIFY(fixture.Reader(slot).Flash() == ExpectedImage());

    const auto& log = fixture.Reader(slot).TransferLog();
    QVERIFY(IsCommand(log.front(), 0x34));
    QVERIFY(IsCommand(log[log.size() - 3], 0x06));
    // After the run, the window reads the reader's settings again.
    QCOMPARE(log.size(), std::size_t{1 + 20 * 16 + 3});
    QCOMPARE(log.back().kind, sim::Transfer::Kind::Get);
    QCOMPARE(log.back().bytes.at(0), std::uint8_t{3});
}

void FlasherFormTest::successfulUpdateIsSaidAndTheReaderIsReadAgain_data() {
    QTest::addColumn<bool>("leftInLoader");  // an earlier update of the reader was cut short
    QTest::newRow("reader running its firmware") << false;
    QTest::newRow("reader left in its loader") << true;
}

void FlasherFormTest::successfulUpdateIsSaidAndTheReaderIsReadAgain() {
    QFETCH(bool, leftInLoader);
    WindowFixture fixture;
    auto reader = std::make_unique<sim::ReaderModel>();
    if (leftInLoader) {
        reader->Loader().active = true;
        reader->Loader().status = sim::kStatusAccepted;
    }
    const std::size_t slot = fixture.Add(std::move(reader));
    Seen seen;
    Prepare(fixture, seen);
    const QString path = fixture.TempPath("update.hex");
    WriteLines(path, UpdateLines());
    fixture.Dialogs().answers.push_back(path);
    // What the new firmware holds.
    fixture.Reader(slot).Settings()[7] = 44;
    fixture.Action("miUpdate")->trigger();

    QCOMPARE(seen.code, 0);
    QVERIFY2(fixture.Status().startsWith("Firmware updated"), qPrintable(fixture.Status()));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 44);
    QVERIFY(fixture.Find<QSpinBox>("edDoubleTimeout")->isEnabled());
    QVERIFY(!fixture.ApplyEnabled());
    for (const char* name : {"miLoadConfig", "miSaveConfig", "miReadConfig"})
        QVERIFY2(fixture.Action(name)->isEnabled(), name);
}

void FlasherFormTest::failedRunNamesItsStepAndWaitsForClose_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("pagesStarted");

    QTest::newRow("checksum mismatch on page 0")
        << int(WrongChecksumPage0)
        << "CRC Error during flash write\nchecksum mismatch on page 1 of 20 (flash address "
           "0x1400)"
        << 1;
    QTest::newRow("status report cannot be read")
        << int(StatusReadFails) << "ERROR: get report" << 1;
    QTest::newRow("file deleted after it was chosen")
        << int(FileDeleted) << "ERROR: File not found!" << 0;
    QTest::newRow("file refused with its line")
        << int(RefusedLine) << "ERROR: File not found!\nthe update file was refused: line 2: " << 0;
    QTest::newRow("loader answers status 2")
        << int(StatusTwo)
        << "ERROR: File not found!\nthe loader refused the update (status 2)\nno page was "
           "replaced"
        << 1;
}

void FlasherFormTest::failedRunNamesItsStepAndWaitsForClose() {
    QFETCH(int, fault);
    QFETCH(QString, message);
    QFETCH(int, pagesStarted);

    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    Prepare(fixture, seen);
    const QString path = fixture.TempPath("update.hex");
    QStringList lines = UpdateLines();
    auto& reader = fixture.Reader(slot);
    switch (fault) {
        case WrongChecksumPage0:
            reader.Faults().wrongChecksumPage = 0;
            break;
        case StatusReadFails:
            reader.Faults().failGet = {5};
            break;
        case RefusedLine:
            lines[1].chop(2);
            lines[1] += "00";
            break;
        case StatusTwo:
            reader.Faults().statusAnswers.push_back(
                {.command = 0x01, .page = std::nullopt, .status = 2});
            break;
        default:
            break;
    }
    if (fault != FileDeleted)
        WriteLines(path, lines);
    reader.ClearTransferLog();
    fixture.Dialogs().answers.push_back(path);
    fixture.Action("miUpdate")->trigger();

    QVERIFY(seen.created);
    QCOMPARE(seen.captionAtEnd, QString("close"));
    QVERIFY(seen.enabledAtEnd);
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    QVERIFY2(fixture.Dialogs().messages.front().startsWith(message),
             qPrintable(fixture.Dialogs().messages.front()));

    // The first failure ends the page loop; the loader end command closes every run.
    const auto& log = reader.TransferLog();
    int pageCommands = 0;
    for (const auto& transfer : log)
        pageCommands += IsCommand(transfer, 0x01) ? 1 : 0;
    QCOMPARE(pageCommands, pagesStarted);
    QVERIFY(IsCommand(log[log.size() - 2], 0x06));
    if (pagesStarted == 0)
        QCOMPARE(log.size(), std::size_t{2});
}

void FlasherFormTest::updateFileNameNeedsLowerCaseHexExtension_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("lower case") << "/tmp/fw.hex" << true;
    QTest::newRow("only the last dot counts") << "/tmp/fw.v2.hex" << true;
    QTest::newRow("capital letters") << "/tmp/FW.HEX" << false;
    QTest::newRow("no extension") << "/tmp/firmware" << false;
    QTest::newRow("dot in the folder only") << "/tmp/x.hex/firmware" << false;
    QTest::newRow("another extension after it") << "/tmp/fw.hex.bak" << false;
}

void FlasherFormTest::updateFileNameNeedsLowerCaseHexExtension() {
    QFETCH(QString, path);
    QTEST(zm880::flasher_gui::IsUpdateFileName(path), "accepted");
}

void FlasherFormTest::refusedFileOrMissingReaderOpensNoWindow() {
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    auto& command = Prepare(fixture, seen);
    fixture.Reader(slot).ClearTransferLog();

    fixture.Dialogs().answers.push_back(fixture.TempPath("UPDATE.HEX"));
    command.miUpdateClick();
    QCOMPARE(fixture.Dialogs().messages,
             QStringList{"ERROR: Bad Update-File\nthe name must end in .hex, in lower case"});

    fixture.Dialogs().answers.push_back(std::nullopt);
    command.miUpdateClick();
    QCOMPARE(fixture.Dialogs().messages.size(), 1);

    fixture.Unplug(slot);
    fixture.Dialogs().answers.push_back(fixture.TempPath("update.hex"));
    command.miUpdateClick();
    QCOMPARE(fixture.Dialogs().messages.size(), 1);

    QVERIFY(!seen.created);
    QVERIFY(fixture.Reader(slot).TransferLog().empty());
}

void FlasherFormTest::filesThatWouldEraseFirmwareAreRefusedOrAskedFor() {
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    auto& command = Prepare(fixture, seen);
    fixture.Dialogs().yesNoAnswers = {false};
    fixture.Reader(slot).ClearTransferLog();

    // No data for the firmware: refused with the reason, no window, nothing sent.
    const QString empty = fixture.TempPath("empty.hex");
    WriteLines(empty, {":00000001FF"});
    fixture.Dialogs().answers.push_back(empty);
    command.miUpdateClick();
    QCOMPARE(fixture.Dialogs().messages,
             QStringList{"ERROR: File not found!\nthe update file holds no data for flash "
                         "0x1400-0x3BFF; sending it would erase the firmware"});
    QVERIFY(fixture.Dialogs().questions.isEmpty());

    // Two pages of twenty: the user is asked, and "No" sends nothing.
    const QString partial = fixture.TempPath("partial.hex");
    WriteLines(partial, UpdateLines());
    fixture.Dialogs().answers.push_back(partial);
    command.miUpdateClick();
    QCOMPARE(fixture.Dialogs().questions,
             QStringList{partial +
                         " fills only 2 of the 20 firmware pages; the other 18 pages are erased "
                         "by the update.\n\nUpdate anyway?"});

    QVERIFY(!seen.created);
    QVERIFY(fixture.Reader(slot).TransferLog().empty());
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
}

void FlasherFormTest::closeDuringRunWaitsForItsEnd() {
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    auto& command = Prepare(fixture, seen);
    const QString path = fixture.TempPath("update.hex");
    WriteLines(path, UpdateLines());
    fixture.Dialogs().answers.push_back(path);

    bool runningWhenClosed = false;
    bool visibleAfterClose = false;
    bool closedAfterRun = false;
    bool timerWaitingAtClose = false;
    command.OnFlasherCreated = [&](TFlasherForm& flasher) {
        seen.created = true;
        QTimer::singleShot(10000, &flasher, [&flasher] { flasher.done(0); });
        ActivateIfTheSystemDoesNot(flasher);
        new CloseAfterRunWatcher(flasher, closedAfterRun, timerWaitingAtClose);
        auto* bar = flasher.findChild<QProgressBar*>("ProgressBar1");
        QObject::connect(bar, &QProgressBar::valueChanged, &flasher, [&, bar](int page) {
            if (page != 5)
                return;
            runningWhenClosed = flasher.Running();
            flasher.close();
            visibleAfterClose = flasher.isVisible();
        });
        QObject::connect(&flasher, &TFlasherForm::runEnded, &flasher,
                         [&seen, &flasher] { seen.code = flasher.Result().code; });
    };
    command.miUpdateClick();

    QVERIFY(runningWhenClosed);
    QVERIFY(visibleAfterClose);
    QCOMPARE(seen.code, 0);
    // Closed as soon as the run ended, not by the 3 s timer. Timed by the timer's own state:
    // hiding a window takes seconds where no window manager answers (wine on a virtual screen).
    QVERIFY(closedAfterRun);
    QVERIFY(timerWaitingAtClose);
    QVERIFY(fixture.Reader(slot).Flash() == ExpectedImage());
}

void FlasherFormTest::deviceChangeDuringRunNeverUsesReleasedReader_data() {
    QTest::addColumn<bool>("unplugReader");
    QTest::addColumn<int>("code");
    QTest::newRow("another device plugged in: the run completes") << false << 0;
    QTest::newRow("the reader unplugged: the run fails cleanly") << true << 3;
}

void FlasherFormTest::deviceChangeDuringRunNeverUsesReleasedReader() {
    QFETCH(bool, unplugReader);
    QFETCH(int, code);

    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader();
    Seen seen;
    auto& command = Prepare(fixture, seen);
    const QString path = fixture.TempPath("update.hex");
    WriteLines(path, UpdateLines());
    fixture.Dialogs().answers.push_back(path);
    const int rebuildsBefore = fixture.Rebuilds();

    command.OnFlasherCreated = [previous = command.OnFlasherCreated, &fixture, slot,
                                unplugReader](TFlasherForm& flasher) {
        previous(flasher);
        auto* bar = flasher.findChild<QProgressBar*>("ProgressBar1");
        QObject::connect(
            bar, &QProgressBar::valueChanged, &flasher, [&fixture, slot, unplugReader](int page) {
                if (page != 3)
                    return;
                // Handled by the main window at the run's next event pump.
                if (unplugReader)
                    fixture.Bus().Unplug(slot);
                else
                    fixture.Bus().Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
            });
    };
    command.miUpdateClick();

    QVERIFY(fixture.Rebuilds() > rebuildsBefore);
    // A dead reader fails its next transfer, which is a set or a get depending on the step.
    if (code == 0) {
        QCOMPARE(seen.code, 0);
        QVERIFY(fixture.Reader(slot).Flash() == ExpectedImage());
    } else {
        QVERIFY2(seen.code == 3 || seen.code == 4, qPrintable(QString::number(seen.code)));
        QCOMPARE(fixture.Dialogs().messages.size(), 1);
        // Pages 1 to 3 were sent before the unplug at the start of page 4.
        QVERIFY2(fixture.Dialogs().messages.front().endsWith(
                     "\npages 1 to 3 of 20 were replaced; the update must be run again"),
                 qPrintable(fixture.Dialogs().messages.front()));
    }
}

void FlasherFormTest::buttonFitsEachOfItsCaptions() {
    zm880::testing::ScriptedDialogs dialogs;
    TFlasherForm flasher(nullptr, "update.hex", dialogs, &clock_);
    auto* button = flasher.findChild<QPushButton*>("bnClose");
    QCOMPARE(button->text(), QString("please wait"));
    for (const char* caption : {"please wait", "ready", "close"}) {
        QPushButton probe(caption);
        probe.setFont(button->font());
        QVERIFY2(button->width() >= probe.sizeHint().width(),
                 qPrintable(QString("\"%1\" needs %2 of %3 pixels")
                                .arg(caption)
                                .arg(probe.sizeHint().width())
                                .arg(button->width())));
    }
    // Still centred below the progress bar.
    QVERIFY(qAbs(button->geometry().center().x() - QRect(256, 104, 75, 25).center().x()) <= 1);
}

QTEST_MAIN(FlasherFormTest)
#include "flasher_form_test.moc"
