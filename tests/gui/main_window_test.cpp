#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <chrono>
#include <map>

#include "app/CommandLine.h"
#include "sim/PlainHidDevice.h"
#include "support/WindowFixture.h"

using zm880::testing::WindowFixture;

Q_DECLARE_METATYPE(zm880::app::UnappliedChoice)

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void commandLineJoinsParametersAndKeepsOwnOptionsOut_data();
    void commandLineJoinsParametersAndKeepsOwnOptionsOut();
    void withoutReaderShowsWellcomeAndDisablesReaderCommands();
    void withReaderReadsSettingsOnceAndLeavesStatusAlone();
    void plugAndUnplugWhileRunningSwitchPagesAndCommands();
    void otherHidDeviceIsNotListedAndLeavesTheEditsAlone();
    void listsEveryReaderAndNamesOnesWithoutProductString();
    void readerWithoutPermissionPointsToTheUdevRule();
    void shiftAltOnFreeAreaOpensSpecialPage_data();
    void shiftAltOnFreeAreaOpensSpecialPage();
    void ctrlCInEditFieldClosesAndResetsReader();
    void closingWithUnappliedSettingsAsksFirst_data();
    void closingWithUnappliedSettingsAsksFirst();
    void startupConfigFileLoadsForEveryNewReaderAndIsThenEditedAsAny();
    void unusableStartupFileIsSaidOnceAndTheReaderIsRead_data();
    void unusableStartupFileIsSaidOnceAndTheReaderIsRead();
    void failedAutomaticReadLeavesNothingToApply_data();
    void failedAutomaticReadLeavesNothingToApply();
    void readerLeftInItsLoaderIsSaidAndOffersOnlyTheUpdate();
    void deviceChangeDuringMessageOfARebuildIsNotLost();
    void heldReaderReferenceDoesNotKeepTheRebuildFromTheReader();
    void waitingTransferKeepsTheWindowAliveAndDefersDeviceChanges();
    void statusLineHoldsAWholeLineOfItsFont_data();
    void statusLineHoldsAWholeLineOfItsFont();
    void windowFollowsTheSystemTheme();
    void controlsKeepTheirPlacesUpToTheDesignFontSize();
    void largerSystemFontEnlargesTheWindowSoNoCaptionIsClipped();
};

void MainWindowTest::commandLineJoinsParametersAndKeepsOwnOptionsOut_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("configFile");
    QTest::addColumn<bool>("given");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<QString>("state");

    QTest::newRow("none") << QStringList{} << "" << false << false << "";
    QTest::newRow("path halves joined by one blank")
        << QStringList{"/tmp/my", "settings.cfg"} << "/tmp/my settings.cfg" << true << false << "";
    QTest::newRow("blanks only still count as given")
        << QStringList{"   "} << "" << true << false << "";
    QTest::newRow("control characters trimmed")
        << QStringList{"\ta.cfg\n"} << "a.cfg" << true << false << "";
    QTest::newRow("own options taken out first")
        << QStringList{"--simulate=/tmp/bus.json", "x", "--help", "y.cfg"} << "x y.cfg" << true
        << true << "/tmp/bus.json";
    QTest::newRow("only own options")
        << QStringList{"--simulate", "--version"} << "" << false << true << "";
}

void MainWindowTest::commandLineJoinsParametersAndKeepsOwnOptionsOut() {
    QFETCH(QStringList, arguments);
    const auto line = zm880::app::ParseCommandLine(arguments);
    QTEST(line.configFile, "configFile");
    QTEST(line.configFileGiven, "given");
    QTEST(line.simulate, "simulate");
    QTEST(line.simulateState, "state");
}

void MainWindowTest::withoutReaderShowsWellcomeAndDisablesReaderCommands() {
    WindowFixture fixture;
    auto& form = fixture.Start();

    QCOMPARE(form.windowTitle(), QString("Tavrenix ZM880 - Utility"));
    QCOMPARE(form.centralWidget()->size() + QSize(0, form.statusBar()->height()), QSize(684, 481));
    QVERIFY(form.minimumSize() == form.maximumSize());
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsWellcome"));
    for (const char* name : {"miUpdate", "miLoadConfig", "miSaveConfig", "miReadConfig"})
        QVERIFY2(!fixture.Action(name)->isEnabled(), name);
    for (const char* name : {"Close1", "ResetDefault1", "miInfo"})
        QVERIFY2(fixture.Action(name)->isEnabled(), name);
    QVERIFY(!fixture.ApplyEnabled());
    auto* list = fixture.Find<QComboBox>("cbDevListBox");
    QVERIFY(!list->isEnabled());
    QCOMPARE(list->count(), 0);
}

void MainWindowTest::withReaderReadsSettingsOnceAndLeavesStatusAlone() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).SetVersionByte(7);
    fixture.Reader(slot).Settings()[7] = 42;  // double timeout
    fixture.Start();

    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsMain"));
    QCOMPARE(fixture.Find<QComboBox>("cbDevListBox")->currentText(),
             QString("ZM-880 RFID Reader - VID=169B PID=0710"));
    for (const char* name : {"miUpdate", "miLoadConfig", "miSaveConfig", "miReadConfig"})
        QVERIFY2(fixture.Action(name)->isEnabled(), name);
    QCOMPARE(fixture.Find<QLineEdit>("edVersion")->text(), QString("007"));
    QCOMPARE(fixture.Find<QLineEdit>("edType")->text(), QString("ZM-880"));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString());
    QVERIFY(!fixture.Form().SuppressModified());

    // The settings are read once; before that only the loader's status is asked for.
    const auto& log = fixture.Reader(slot).TransferLog();
    QCOMPARE(log.size(), std::size_t{2});
    QCOMPARE(log[0].kind, zm880::sim::Transfer::Kind::Get);
    QCOMPARE(log[0].bytes.at(0), std::uint8_t{5});
    QCOMPARE(log[1].kind, zm880::sim::Transfer::Kind::Get);
    QCOMPARE(log[1].bytes.at(0), std::uint8_t{3});
}

void MainWindowTest::plugAndUnplugWhileRunningSwitchPagesAndCommands() {
    WindowFixture fixture;
    fixture.Start();
    const auto slot = fixture.AddReader();
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsMain"));
    QVERIFY(fixture.Action("miReadConfig")->isEnabled());

    fixture.Box("cbEM4102")->click();
    QVERIFY(fixture.ApplyEnabled());
    fixture.Unplug(slot);
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsWellcome"));
    QVERIFY(!fixture.Action("miReadConfig")->isEnabled());
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Find<QComboBox>("cbDevListBox")->count(), 0);
    QVERIFY(!fixture.Form().Session().CurrentDevice());

    fixture.Plug(slot);
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsMain"));
    QVERIFY(fixture.Action("miUpdate")->isEnabled());
}

void MainWindowTest::otherHidDeviceIsNotListedAndLeavesTheEditsAlone() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    auto* box = fixture.Box("cbEM4102");
    QVERIFY(box->isChecked());
    box->click();
    QCOMPARE(fixture.Status(), QString("modified"));
    fixture.Reader(slot).ClearTransferLog();

    fixture.AddKeyboard();
    QCOMPARE(fixture.Find<QComboBox>("cbDevListBox")->count(), 1);
    QVERIFY2(!box->isChecked(), "the edit not applied yet stays");
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
    QVERIFY2(fixture.Reader(slot).TransferLog().empty(), "the reader shown is not read again");
}

void MainWindowTest::listsEveryReaderAndNamesOnesWithoutProductString() {
    WindowFixture fixture;
    fixture.AddReader(0, "");
    const auto second = fixture.AddReader(1);
    fixture.Start();

    auto* list = fixture.Find<QComboBox>("cbDevListBox");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), QString("Not Supported Device VID=169B PID=0710 (sim:hidraw0)"));
    QCOMPARE(list->itemText(1), QString("ZM-880 RFID Reader - VID=169B PID=0710 (sim:hidraw1)"));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsMain"));
    QCOMPARE(fixture.Find<QLineEdit>("edType")->text(), QString("ZM-880"));
    QVERIFY(fixture.Reader(second).TransferLog().empty());
    for (const auto& entry : fixture.Form().Session().Entries())
        QVERIFY(entry.Device);
}

void MainWindowTest::readerWithoutPermissionPointsToTheUdevRule() {
#ifdef Q_OS_WIN
    QSKIP("device permissions come from udev rules only on Linux");
#endif
    WindowFixture fixture;
    auto reader = std::make_unique<zm880::sim::ReaderModel>();
    reader->Link().open = zm880::sim::OpenFault::AccessDenied;
    fixture.Add(std::move(reader));
    fixture.Start();

    QCOMPARE(fixture.Find<QComboBox>("cbDevListBox")->count(), 1);
    QVERIFY2(fixture.Status().contains("packaging/linux/70-zm880.rules"),
             qPrintable(fixture.Status()));
}

void MainWindowTest::shiftAltOnFreeAreaOpensSpecialPage_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("page");

    const Qt::KeyboardModifiers shiftAlt = Qt::ShiftModifier | Qt::AltModifier;
    QTest::newRow("shift+alt on free area") << "tsMain" << shiftAlt << "tsSpecial";
    QTest::newRow("with ctrl as well")
        << "tsMain" << (shiftAlt | Qt::ControlModifier) << "tsSpecial";
    QTest::newRow("shift only") << "tsMain" << Qt::KeyboardModifiers(Qt::ShiftModifier) << "tsMain";
    QTest::newRow("alt only") << "tsMain" << Qt::KeyboardModifiers(Qt::AltModifier) << "tsMain";
    QTest::newRow("on a panel") << "pVersion" << shiftAlt << "tsMain";
    QTest::newRow("on a label") << "Label3" << shiftAlt << "tsMain";
}

void MainWindowTest::shiftAltOnFreeAreaOpensSpecialPage() {
    QFETCH(QString, target);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();

    auto* widget = fixture.Find<QWidget>(target);
    // The strip under the two panels is free surface of the page.
    const QPoint at = target == "tsMain" ? QPoint(100, 400) : QPoint(3, 3);
    QTest::mouseClick(widget, Qt::RightButton, modifiers, at);
    QTEST(fixture.CurrentPage()->objectName(), "page");
}

void MainWindowTest::ctrlCInEditFieldClosesAndResetsReader() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    auto& form = fixture.Start();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto* field = fixture.Find<QSpinBox>("edCharDelay");
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    fixture.Reader(slot).ClearTransferLog();

    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    QTRY_VERIFY(!form.isVisible());
    QVERIFY2(fixture.Dialogs().questions.isEmpty(), "nothing to apply: closed without a question");
    const auto& log = fixture.Reader(slot).TransferLog();
    QCOMPARE(log.size(), std::size_t{1});
    QCOMPARE(log[0].kind, zm880::sim::Transfer::Kind::Set);
    QCOMPARE(log[0].bytes, (std::vector<std::uint8_t>{6, 0, 0, 0}));
}

void MainWindowTest::closingWithUnappliedSettingsAsksFirst_data() {
    using zm880::app::UnappliedChoice;
    QTest::addColumn<QString>("request");  // how the window is asked to close
    QTest::addColumn<UnappliedChoice>("answer");
    QTest::addColumn<bool>("writeFails");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("storedDelay");  // byte 6 of the reader's record afterwards

    QTest::newRow("Ctrl+C, Cancel") << "ctrl+c" << UnappliedChoice::Cancel << false << false << 0;
    QTest::newRow("close button, Discard")
        << "close button" << UnappliedChoice::Discard << false << true << 0;
    QTest::newRow("File > Close, Apply") << "menu" << UnappliedChoice::Apply << false << true << 50;
    QTest::newRow("Ctrl+C, Apply that fails")
        << "ctrl+c" << UnappliedChoice::Apply << true << false << 0;
}

void MainWindowTest::closingWithUnappliedSettingsAsksFirst() {
    QFETCH(QString, request);
    QFETCH(zm880::app::UnappliedChoice, answer);
    QFETCH(bool, writeFails);
    QFETCH(bool, closes);
    QFETCH(int, storedDelay);
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    auto& form = fixture.Start();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto* field = fixture.Find<QSpinBox>("edCharDelay");
    field->setFocus();
    QTRY_VERIFY(field->hasFocus());
    field->setValue(500);
    if (writeFails)
        fixture.Reader(slot).Faults().failSet = {3};
    fixture.Dialogs().unappliedAnswers.push_back(answer);
    fixture.Reader(slot).ClearTransferLog();

    if (request == "ctrl+c")
        QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    else if (request == "menu")
        fixture.Action("Close1")->trigger();
    else
        form.close();
    QTRY_COMPARE(fixture.Dialogs().questions.size(), 1);
    QTRY_COMPARE(form.isVisible(), !closes);
    QCOMPARE(int(fixture.Reader(slot).Settings()[6]), storedDelay);
    bool resetSent = false;
    for (const auto& transfer : fixture.Reader(slot).TransferLog())
        resetSent = resetSent || transfer.bytes == std::vector<std::uint8_t>{6, 0, 0, 0};
    QCOMPARE(resetSent, closes);
    if (!closes) {
        QCOMPARE(field->value(), 500);
        QVERIFY(fixture.ApplyEnabled());
    }
}

void MainWindowTest::startupConfigFileLoadsForEveryNewReaderAndIsThenEditedAsAny() {
    WindowFixture fixture;
    // A file with double timeout 33; written by hand to stay independent of the save command.
    QByteArray bytes(64, '\0');
    bytes[0] = 3;
    bytes[7] = 33;
    const QString path = fixture.TempPath("start up.cfg");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const auto slot = fixture.AddReader();
    const QStringList halves = path.split(' ');

    fixture.Start(halves);
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");
    QCOMPARE(timeout->value(), 33);
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), "Config-File settings (" + path + ")");
    for (const auto& transfer : fixture.Reader(slot).TransferLog())
        QVERIFY2(transfer.kind != zm880::sim::Transfer::Kind::Get || transfer.bytes.at(0) != 3,
                 "the reader's settings are not read");

    fixture.Find<QPushButton>("bnApply")->click();
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Reader(slot).Settings()[7], std::uint8_t{33});
    // Once applied, the form is one like any other.
    fixture.Box("cbEM4102")->click();
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));

    // Another device changes nothing of the reader shown; the same reader plugged in again is
    // a new one, and gets the start-up file.
    timeout->setValue(50);
    fixture.AddKeyboard();
    QCOMPARE(timeout->value(), 50);
    fixture.Unplug(slot);
    fixture.Plug(slot);
    QCOMPARE(timeout->value(), 33);
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), "Config-File settings (" + path + ")");
}

void MainWindowTest::unusableStartupFileIsSaidOnceAndTheReaderIsRead_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("content");  // written to the file "start.cfg" unless null
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << QStringList{"missing.cfg"} << QByteArray() << "file not found: ";
    QTest::newRow("blanks only") << QStringList{"   "} << QByteArray() << "file not found: ";
    QTest::newRow("--simulate and a word")
        << QStringList{"--simulate", "k1.json"} << QByteArray() << "file not found: ";
    QTest::newRow("empty") << QStringList{"start.cfg"} << QByteArray("") << "file is empty: ";
    QTest::newRow("first byte not 3") << QStringList{"start.cfg"} << QByteArray(64, '\x02')
                                      << "not a settings file (its first byte is not 3): ";
}

void MainWindowTest::unusableStartupFileIsSaidOnceAndTheReaderIsRead() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    WindowFixture fixture;
    if (!content.isNull()) {
        QFile file(fixture.TempPath("start.cfg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        arguments = {fixture.TempPath("start.cfg")};
    }
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).Settings()[7] = 42;  // double timeout
    fixture.Reader(slot).Settings()[16] = 0;  // no LF tags
    fixture.Start(arguments);

    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    QVERIFY2(fixture.Dialogs().messages[0].startsWith(message),
             qPrintable(fixture.Dialogs().messages[0]));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    QVERIFY(!fixture.ApplyEnabled());

    // One edit and "Apply" store the reader's own record with that edit, nothing blank.
    fixture.Box("cbEM4102")->click();
    QVERIFY(fixture.ApplyEnabled());
    fixture.Find<QPushButton>("bnApply")->click();
    const auto& record = fixture.Reader(slot).Settings();
    QCOMPARE(record[7], std::uint8_t{42});
    QCOMPARE(record[16], std::uint8_t{0x01});
    QCOMPARE(record[8], std::uint8_t{0});

    fixture.Unplug(slot);
    fixture.Reader(slot).ClearTransferLog();
    fixture.Plug(slot);
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    const auto& log = fixture.Reader(slot).TransferLog();
    QCOMPARE(std::count_if(log.begin(), log.end(),
                           [](const auto& transfer) {
                               return transfer.kind == zm880::sim::Transfer::Kind::Get &&
                                      transfer.bytes.at(0) == 3;
                           }),
             1);
}

void MainWindowTest::failedAutomaticReadLeavesNothingToApply_data() {
    QTest::addColumn<bool>("queryOnly");
    QTest::newRow("the read fails") << false;
    QTest::newRow("the reader opens query-only") << true;
}

void MainWindowTest::failedAutomaticReadLeavesNothingToApply() {
    QFETCH(bool, queryOnly);
    WindowFixture fixture;
    auto reader = std::make_unique<zm880::sim::ReaderModel>();
    reader->Settings()[7] = 42;
    if (queryOnly)
        reader->Link().open = zm880::sim::OpenFault::QueryOnly;
    else
        reader->Faults().failGet = {3};
    const auto slot = fixture.Add(std::move(reader));
    fixture.Start();

    QVERIFY2(fixture.Status().endsWith("No settings are loaded"), qPrintable(fixture.Status()));
    // Nothing to edit: the controls show placeholders, not the reader's settings.
    for (const char* name : {"cbAWID", "edCharDelay", "rgInterface", "cbUsedAltKey"})
        QVERIFY2(!fixture.Find<QWidget>(name)->isEnabled(), name);
    fixture.Box("cbAWID")->click();
    QVERIFY(!fixture.ApplyEnabled());
    fixture.Form().bnApplyClick();
    fixture.Action("miSaveConfig")->trigger();
    fixture.Action("ResetDefault1")->trigger();
    QVERIFY(!fixture.ApplyEnabled());
    for (const auto& transfer : fixture.Reader(slot).TransferLog())
        QVERIFY(transfer.kind != zm880::sim::Transfer::Kind::Set);
    QCOMPARE(fixture.Reader(slot).Settings()[7], std::uint8_t{42});
    QVERIFY2(fixture.Dialogs().presetNames.isEmpty(), "no file of made-up settings is saved");

    // Once the reader answers, its record can be edited and applied.
    fixture.Reader(slot).Faults().failGet.clear();
    fixture.Reader(slot).Link().open = zm880::sim::OpenFault::None;
    fixture.Unplug(slot);
    fixture.Plug(slot);
    QVERIFY(fixture.Box("cbAWID")->isEnabled());
    fixture.Box("cbAWID")->click();
    QVERIFY(fixture.ApplyEnabled());
}

void MainWindowTest::readerLeftInItsLoaderIsSaidAndOffersOnlyTheUpdate() {
    WindowFixture fixture;
    auto reader = std::make_unique<zm880::sim::ReaderModel>();
    reader->Loader().active = true;
    reader->Loader().status = zm880::sim::kStatusAccepted;
    const auto slot = fixture.Add(std::move(reader));
    fixture.Start();

    QVERIFY2(fixture.Status().contains(
                 "this reader is still in its firmware loader: run the update again",
                 Qt::CaseInsensitive),
             qPrintable(fixture.Status()));
    QVERIFY(fixture.Action("miUpdate")->isEnabled());
    for (const char* name : {"miLoadConfig", "miSaveConfig", "miReadConfig", "miApplyAll"})
        QVERIFY2(!fixture.Action(name)->isEnabled(), name);
    for (const char* name : {"cbAWID", "edCharDelay", "rgInterface"})
        QVERIFY2(!fixture.Find<QWidget>(name)->isEnabled(), name);
    QVERIFY(!fixture.ApplyEnabled());
    // Asking is reading: its status, and whether it still refuses the settings record.
    for (const auto& transfer : fixture.Reader(slot).TransferLog())
        QVERIFY2(transfer.kind == zm880::sim::Transfer::Kind::Get, "nothing is written");
}

void MainWindowTest::deviceChangeDuringMessageOfARebuildIsNotLost() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    // While the start-up file's message is open, the reader goes away.
    fixture.Dialogs().whileMessageShown = [&fixture, slot] {
        fixture.Bus().Unplug(slot);
        QTest::qWait(50);
    };
    fixture.Start({"missing.cfg"});
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    fixture.WaitForRebuilds(2);
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsWellcome"));
    QVERIFY(!fixture.Action("miReadConfig")->isEnabled());
}

void MainWindowTest::heldReaderReferenceDoesNotKeepTheRebuildFromTheReader() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    // The About box keeps its own reference while another device is plugged in; the window
    // takes the change up once the box is closed.
    QTimer::singleShot(0, [&fixture] {
        fixture.Bus().Add(std::make_unique<zm880::sim::PlainHidDevice>(zm880::sim::MakeKeyboard()));
        QTest::qWait(50);
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    fixture.Action("miInfo")->trigger();
    fixture.WaitForRebuilds(2);

    const auto& entries = fixture.Form().Session().Entries();
    QCOMPARE(entries.size(), std::size_t{1});
    QVERIFY(entries[0].Device);
    fixture.Action("miReadConfig")->trigger();
    QCOMPARE(fixture.Status(), QString("Device settings"));

    // A reference kept by anyone else across a rebuild: the same.
    const auto held = fixture.Form().Session().SelectedDevice();
    fixture.AddKeyboard();
    QVERIFY(fixture.Form().Session().SelectedDevice());
    fixture.Reader(slot).ClearTransferLog();
    fixture.Find<QSpinBox>("edDoubleTimeout")->setValue(20);
    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
    QCOMPARE(fixture.Reader(slot).Settings()[7], std::uint8_t{20});
}

void MainWindowTest::waitingTransferKeepsTheWindowAliveAndDefersDeviceChanges() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    fixture.Reader(slot).Link().latency = std::chrono::milliseconds(400);
    const int rebuildsBefore = fixture.Rebuilds();

    bool timerRan = false;
    bool busyCursor = false;
    QTimer::singleShot(50, [&] {
        timerRan = true;
        busyCursor = QApplication::overrideCursor() != nullptr &&
                     QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        // Arrives while the read waits: handled after it, not in its middle.
        fixture.Bus().Add(std::make_unique<zm880::sim::PlainHidDevice>(zm880::sim::MakeKeyboard()));
    });
    fixture.Action("miReadConfig")->trigger();
    QVERIFY2(timerRan, "the window's loop ran while the transfer waited");
    QVERIFY(busyCursor);
    QCOMPARE(fixture.Rebuilds(), rebuildsBefore);
    QCOMPARE(fixture.Status(), QString("Device settings"));
    QVERIFY(QApplication::overrideCursor() == nullptr);

    fixture.Reader(slot).Link().latency = std::chrono::milliseconds(0);
    fixture.WaitForRebuilds(rebuildsBefore + 1);
    QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsMain"));
}

void MainWindowTest::statusLineHoldsAWholeLineOfItsFont_data() {
    QTest::addColumn<QByteArray>("scaleFactor");
    QTest::newRow("scale 1") << QByteArray("1");
    QTest::newRow("scale 2") << QByteArray("2");
}

void MainWindowTest::statusLineHoldsAWholeLineOfItsFont() {
    QFETCH(QByteArray, scaleFactor);
    const QByteArray running =
        qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qgetenv("QT_SCALE_FACTOR") : QByteArray("1");
    if (running != scaleFactor) {
        // The toolkit reads the scale factor once, at start: this row runs in a process of its own.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_SCALE_FACTOR", QString::fromLatin1(scaleFactor));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QString("statusLineHoldsAWholeLineOfItsFont:") + QTest::currentDataTag()});
        QVERIFY(child.waitForFinished(60000));
        QVERIFY2(child.exitCode() == 0, child.readAll().constData());
        return;
    }
    WindowFixture fixture;
    fixture.AddReader();
    auto& form = fixture.Start();
    form.SetStatusText("Typing gjpqy");
    auto* panel = fixture.Find<QLabel>("StatusPanel0");
    QVERIFY2(panel->contentsRect().height() >= panel->fontMetrics().height(),
             qPrintable(QString("%1 < %2")
                            .arg(panel->contentsRect().height())
                            .arg(panel->fontMetrics().height())));
    // The taller line comes out of the pages: the window keeps its size and the page its Apply.
    QCOMPARE(form.centralWidget()->size() + QSize(0, form.statusBar()->height()), QSize(684, 481));
    auto* apply = fixture.Find<QWidget>("bnApply");
    QVERIFY(apply->geometry().bottom() < fixture.Find<QWidget>("tsMain")->height());
}

void MainWindowTest::windowFollowsTheSystemTheme() {
    const QPalette lightPalette = QApplication::palette();
    const QColor text(0xE0, 0xE0, 0xE0);
    const QColor window(0x30, 0x30, 0x30);
    QApplication::setPalette(QPalette(text, window, QColor(0x50, 0x50, 0x50),
                                      QColor(0x10, 0x10, 0x10), QColor(0x28, 0x28, 0x28), text,
                                      Qt::white, QColor(0x20, 0x20, 0x20), window));

    WindowFixture fixture;
    fixture.AddReader();
    auto& form = fixture.Start();
    QCOMPARE(form.palette().color(QPalette::Window), QColor(0x30, 0x30, 0x30));

    // Back to a light theme while the window is open: silver again. The toolkit announces the
    // change only while its event loop runs, so the test announces it as the toolkit would.
    QApplication::setPalette(lightPalette);
    QEvent changed(QEvent::ApplicationPaletteChange);
    QApplication::sendEvent(form.centralWidget(), &changed);
    QCOMPARE(form.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
}

namespace {

// Builds the window under a system font of `pixels` and hands it to `check`; the system font is
// restored afterwards.
template <typename Check>
void WithSystemFontPixels(int pixels, Check check) {
    const QFont systemFont = QApplication::font();
    QFont font = systemFont;
    font.setPixelSize(pixels);
    QApplication::setFont(font);
    {
        WindowFixture fixture;
        fixture.AddReader();
        check(fixture, fixture.Start());
    }
    QApplication::setFont(systemFont);
}

std::map<QString, QRect> NamedGeometries(const QWidget& root) {
    std::map<QString, QRect> geometries;
    for (const QWidget* widget : root.findChildren<QWidget*>())
        if (!widget->objectName().isEmpty() && !widget->isWindow())
            geometries[widget->objectName()] = widget->geometry();
    return geometries;
}

// The width a control's caption has, beside the indicator of a check box or radio button.
int CaptionRoom(const QWidget& widget, const QString& text) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget);
        button != nullptr &&
        (qobject_cast<const QCheckBox*>(button) || qobject_cast<const QRadioButton*>(button))) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const auto element = qobject_cast<const QCheckBox*>(button)
                                 ? QStyle::SE_CheckBoxContents
                                 : QStyle::SE_RadioButtonContents;
        return button->style()->subElementRect(element, &option, button).width();
    }
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        return label->contentsRect().width();
    return widget.width() - 4;
}

}  // namespace

void MainWindowTest::controlsKeepTheirPlacesUpToTheDesignFontSize() {
    std::map<QString, QRect> smaller;
    WithSystemFontPixels(
        9, [&](WindowFixture&, zm880::app::TMainForm& form) { smaller = NamedGeometries(form); });
    WithSystemFontPixels(13, [&](WindowFixture& fixture, zm880::app::TMainForm& form) {
        QCOMPARE(form.font().pixelSize(), 13);
        QCOMPARE(form.width(), 684);
        QCOMPARE(fixture.Find<QWidget>("bnApply")->geometry(), QRect(590, 375, 89, 29));
        QVERIFY(NamedGeometries(form) == smaller);
    });
}

void MainWindowTest::largerSystemFontEnlargesTheWindowSoNoCaptionIsClipped() {
    WithSystemFontPixels(20, [](WindowFixture& fixture, zm880::app::TMainForm& form) {
        QCOMPARE(form.font().pixelSize(), 20);
        // 684 x 481 scaled by 20 / 13.
        const QSize client(1052, 740);
        QCOMPARE(form.centralWidget()->size() + QSize(0, form.statusBar()->height()), client);
        QCOMPARE(form.width(), client.width());
        auto* page = fixture.Find<QWidget>("tsMain");
        QVERIFY(fixture.Find<QWidget>("bnApply")->geometry().bottom() < page->height());
        int captions = 0;
        QStringList clipped;
        for (const QWidget* widget : page->findChildren<QWidget*>()) {
            QString text;
            if (const auto* label = qobject_cast<const QLabel*>(widget))
                text = label->text();
            else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
                text = button->text();
            text.remove('&');
            // Controls hidden on their own (the baud caption) are never seen.
            if (text.isEmpty() || !widget->isVisibleTo(widget->parentWidget()))
                continue;
            ++captions;
            const QFontMetrics metrics = widget->fontMetrics();
            if (CaptionRoom(*widget, text) < metrics.horizontalAdvance(text) ||
                widget->height() < metrics.height())
                clipped << QString("%1 \"%2\" is %3x%4, its text needs %5x%6")
                               .arg(widget->objectName(), text)
                               .arg(widget->width())
                               .arg(widget->height())
                               .arg(metrics.horizontalAdvance(text))
                               .arg(metrics.height());
        }
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
        QVERIFY(captions > 20);
    });
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
