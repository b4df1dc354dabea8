#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "app/CfgPathStore.h"
#include "app/MainForm.h"
#include "hid/sim/SimulatedBus.h"
#include "support/WindowFixture.h"

// The window on a state file that zm880ctl changes at the same time, as two programs share one
// simulated bus.
class LiveSimBusTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void listsReadersThatAnotherProgramPlugsAndUnplugs();
    void applyKeepsWhatAnotherProgramChanged();
    void readerAddedByAnotherProgramLeavesTheEditsAlone();

  private:
    // Runs the built zm880ctl on the state file and says whether it succeeded.
    bool RunCli(QStringList args);
    void StartWindow();
    QComboBox* DeviceList() const { return form_->findChild<QComboBox*>("cbDevListBox"); }

    std::unique_ptr<QTemporaryDir> dir_;
    QString state_;
    std::unique_ptr<zm880::app::TMainForm> form_;
};

void LiveSimBusTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    state_ = dir_->filePath("bus.json");
}

void LiveSimBusTest::cleanup() {
    form_.reset();
    dir_.reset();
}

bool LiveSimBusTest::RunCli(QStringList args) {
#ifdef Q_OS_WIN
    const QString program = QCoreApplication::applicationDirPath() + "/../src/zm880ctl.exe";
#else
    const QString program = QCoreApplication::applicationDirPath() + "/../src/zm880ctl";
#endif
    if (!QFileInfo::exists(program)) {
        qWarning("zm880ctl is not built next to the tests: %s", qPrintable(program));
        return false;
    }
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Backups go to the test's folder.
    environment.insert(zm880::testing::StateHomeVariable(),
                       QDir::toNativeSeparators(dir_->filePath("state")));
    cli.setProcessEnvironment(environment);
    args.prepend("--simulate=" + state_);
    cli.start(program, args);
    const bool ok = cli.waitForFinished(10000) && cli.exitStatus() == QProcess::NormalExit &&
                    cli.exitCode() == 0;
    if (!ok) {
        qWarning("zm880ctl %s: %s", qPrintable(args.join(' ')),
                 cli.readAllStandardError().constData());
    }
    return ok;
}

void LiveSimBusTest::StartWindow() {
    zm880::app::TMainFormSetup setup;
    setup.platform = std::make_shared<zm880::hid::SimulatedBus>(state_.toStdString());
    setup.dialogs = std::make_shared<zm880::testing::ScriptedDialogs>();
    setup.cfgPathStore =
        std::make_shared<zm880::app::SettingsCfgPathStore>(dir_->filePath("CfgPath.ini"));
    form_ = std::make_unique<zm880::app::TMainForm>(std::move(setup));
    form_->show();
}

void LiveSimBusTest::listsReadersThatAnotherProgramPlugsAndUnplugs() {
    StartWindow();
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 1, 5000);

    QVERIFY(RunCli({"sim", "add"}));
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 2, 5000);

    QVERIFY(RunCli({"sim", "unplug", "0"}));
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 1, 5000);
}

void LiveSimBusTest::applyKeepsWhatAnotherProgramChanged() {
    StartWindow();
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 1, 5000);
    QVERIFY(RunCli({"sim", "add"}));
    QVERIFY(RunCli({"--device", "1", "set", "DoubleTimeout=42"}));
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 2, 5000);

    DeviceList()->setCurrentIndex(0);
    form_->findChild<QSpinBox*>("edDoubleTimeout")->setValue(7);
    form_->findChild<QPushButton*>("bnApply")->click();
    QCOMPARE(form_->StatusText(), QString("Device-Settings updated"));

    zm880::hid::SimulatedBus after(state_.toStdString());
    QCOMPARE(after.DeviceCount(), std::size_t{2});
    QCOMPARE(after.Reader(0).Settings()[7], std::uint8_t{7});
    QCOMPARE(after.Reader(1).Settings()[7], std::uint8_t{42});
}

void LiveSimBusTest::readerAddedByAnotherProgramLeavesTheEditsAlone() {
    StartWindow();
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 1, 5000);
    QVERIFY(RunCli({"sim", "add"}));
    QVERIFY(RunCli({"sim", "add"}));
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 3, 5000);
    form_->ChooseReader(1);
    auto* altKey = form_->findChild<QCheckBox*>("cbUsedAltKey");
    QVERIFY(!altKey->isChecked());
    altKey->click();

    QVERIFY(RunCli({"sim", "add"}));
    QTRY_COMPARE_WITH_TIMEOUT(DeviceList()->count(), 4, 5000);
    QCOMPARE(DeviceList()->currentIndex(), 1);
    QVERIFY2(altKey->isChecked(), "the edit not applied yet stays");
    QCOMPARE(form_->StatusText(), QString("modified"));
    QVERIFY(form_->findChild<QPushButton*>("bnApply")->isEnabled());
}

QTEST_MAIN(LiveSimBusTest)
#include "live_sim_bus_test.moc"
