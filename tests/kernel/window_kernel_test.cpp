// The real main window on the system's HID platform, run inside the kernel test guest: readers
// come and go through zm880-uhid, whose FIFOs the environment names.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/CfgPathStore.h"
#include "app/MainForm.h"
#include "app/UserDialogs.h"
#include "hid/Platform.h"

namespace {

class NoDialogs : public zm880::app::UserDialogs {
  public:
    QStringList messages;

    std::optional<QString> OpenConfigFile(const QString&) override { return std::nullopt; }
    std::optional<QString> SaveConfigFile(const QString&) override { return std::nullopt; }
    std::optional<QString> OpenUpdateFile(const QString&) override { return std::nullopt; }
    std::optional<QString> OpenProfileFile(const QString&) override { return std::nullopt; }
    std::optional<QString> SaveCsvFile(const QString&) override { return std::nullopt; }
    void ShowMessage(const QString& text) override { messages << text; }
    bool AskYesNo(const QString&) override { return false; }
    zm880::app::UnappliedChoice AskApplyDiscardCancel(const QString&) override {
        return zm880::app::UnappliedChoice::Cancel;
    }
};

// Sends one command to zm880-uhid and returns its reply line.
std::string Control(const std::string& command) {
    const char* control = std::getenv("ZM880_UHID_CONTROL");
    const char* reply = std::getenv("ZM880_UHID_REPLY");
    if (control == nullptr || reply == nullptr) {
        return "error ZM880_UHID_CONTROL and ZM880_UHID_REPLY are not set";
    }
    std::ofstream(control) << command << std::endl;
    std::ifstream in(reply);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<unsigned char> ReadFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class WindowKernelTest : public QObject {
    Q_OBJECT

  private slots:
    void readerPluggedWhileRunningIsShownAndApplyWritesReport3();
};

void WindowKernelTest::readerPluggedWhileRunningIsShownAndApplyWritesReport3() {
    QTemporaryDir dir;
    auto dialogs = std::make_shared<NoDialogs>();
    zm880::app::TMainFormSetup setup;
    setup.platform = zm880::hid::MakeSystemPlatform();
    setup.dialogs = dialogs;
    setup.cfgPathStore = std::make_shared<zm880::app::SettingsCfgPathStore>(dir.filePath("p.ini"));
    zm880::app::TMainForm form(std::move(setup));
    form.show();
    auto* pages = form.findChild<QStackedWidget*>("PageControl1");
    QTRY_COMPARE_WITH_TIMEOUT(pages->currentWidget()->objectName(), QString("tsWellcome"), 5000);

    const std::string added = Control("add-reader win 1");
    QVERIFY2(added.rfind("ok /dev/hidraw", 0) == 0, added.c_str());
    // Only the kernel's uevent tells the window; nothing here pokes it.
    QTRY_COMPARE_WITH_TIMEOUT(pages->currentWidget()->objectName(), QString("tsMain"), 5000);
    QCOMPARE(form.findChild<QComboBox*>("cbDevListBox")->currentText(),
             QString("ZM-880 RFID Reader - VID=169B PID=0710"));
    // The record came through the kernel: its version byte and reader type are shown.
    QCOMPARE(form.findChild<QLineEdit*>("edVersion")->text(), QString("021"));
    QCOMPARE(form.findChild<QStackedWidget*>("pcType")->currentWidget()->objectName(),
             QString("ts125"));

    form.findChild<QSpinBox*>("edMaxLength")->setValue(40);
    auto* apply = form.findChild<QPushButton*>("bnApply");
    QVERIFY(apply->isEnabled());
    apply->click();
    QCOMPARE(form.StatusText(), QString("Device-Settings updated"));
    QVERIFY(!apply->isEnabled());

    const QString dump = dir.filePath("settings.bin");
    QCOMPARE(Control("dump-settings win " + dump.toStdString()), std::string("ok"));
    const auto record = ReadFile(dump);
    QCOMPARE(record.size(), std::size_t{64});
    QCOMPARE(record[8], 1);    // reader type travels back unchanged
    QCOMPARE(record[14], 40);  // the edited maximum length

    QCOMPARE(Control("remove win"), std::string("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(pages->currentWidget()->objectName(), QString("tsWellcome"), 5000);
    QVERIFY(dialogs->messages.isEmpty());
}

QTEST_MAIN(WindowKernelTest)
#include "window_kernel_test.moc"
