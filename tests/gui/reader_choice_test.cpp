#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include "hid/HidDevice.h"
#include "support/WindowFixture.h"

using zm880::sim::Transfer;
using zm880::testing::WindowFixture;

// Choosing one of several attached readers in the device list.
class ReaderChoiceTest : public QObject {
    Q_OBJECT

  private slots:
    void oneReaderLeavesTheListClosedAndPlain();
    void choosingTheSecondReaderReadsItAndEverythingFollowsIt();
    void deviceChangesKeepTheChosenReaderWhileItIsThere();
    void chosenReaderThatCannotBeReadLeavesNothingToApply();
    void deviceChangeKeepsTheEditsOfTheReaderShown_data();
    void deviceChangeKeepsTheEditsOfTheReaderShown();
    void readingAnotherReaderLeavesNothingModified_data();
    void readingAnotherReaderLeavesNothingModified();
};

namespace {

bool WroteTo(zm880::sim::ReaderModel& reader) {
    for (const auto& transfer : reader.TransferLog())
        if (transfer.kind == Transfer::Kind::Set)
            return true;
    return false;
}

}  // namespace

void ReaderChoiceTest::oneReaderLeavesTheListClosedAndPlain() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    auto* list = fixture.Find<QComboBox>("cbDevListBox");
    QVERIFY(!list->isEnabled());
    QCOMPARE(list->itemText(0), QString("ZM-880 RFID Reader - VID=169B PID=0710"));
    QVERIFY(!fixture.Find<QPushButton>("bnApplyAll")->isVisible());
}

void ReaderChoiceTest::choosingTheSecondReaderReadsItAndEverythingFollowsIt() {
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.Reader(first).Settings()[7] = 11;
    fixture.Reader(second).Settings()[7] = 22;
    fixture.Start();
    auto* list = fixture.Find<QComboBox>("cbDevListBox");
    QVERIFY(list->isEnabled());
    QCOMPARE(list->itemText(0), QString("ZM-880 RFID Reader - VID=169B PID=0710 (sim:hidraw0)"));
    QCOMPARE(list->itemText(1), QString("ZM-880 RFID Reader - VID=169B PID=0710 (sim:hidraw1)"));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 11);

    fixture.ChooseReader(1);
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 22);
    QVERIFY(!fixture.ApplyEnabled());
    // The About box and the firmware update take the selected reader.
    QCOMPARE(fixture.Form().Session().SelectedDevice()->PnPInfo().DevicePath,
             std::string("sim:hidraw1"));

    // "Apply" and the raw console talk to the chosen reader only.
    fixture.Reader(first).ClearTransferLog();
    fixture.Find<QSpinBox>("edDoubleTimeout")->setValue(33);
    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
    QCOMPARE(fixture.Reader(second).Settings()[7], std::uint8_t{33});
    QCOMPARE(fixture.Reader(first).Settings()[7], std::uint8_t{11});
    fixture.Reader(second).ClearTransferLog();
    fixture.Find<QToolButton>("ReadBtn")->click();
    QCOMPARE(fixture.Reader(second).TransferLog().size(), std::size_t{1});
    QVERIFY(fixture.Reader(first).TransferLog().empty());
}

void ReaderChoiceTest::deviceChangesKeepTheChosenReaderWhileItIsThere() {
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.Reader(first).Settings()[7] = 11;
    fixture.Reader(second).Settings()[7] = 22;
    fixture.Start();
    fixture.ChooseReader(1);

    fixture.AddKeyboard();
    auto* list = fixture.Find<QComboBox>("cbDevListBox");
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 22);
    // The first reader leaves: the chosen one moves up to entry 0 and is still the one shown.
    fixture.Unplug(first);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 22);
    QVERIFY(!list->isEnabled());
    fixture.Plug(first);
    QCOMPARE(list->currentText(),
             QString("ZM-880 RFID Reader - VID=169B PID=0710 (sim:hidraw1)"));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 22);

    // Once the chosen reader is gone, the first one is used again.
    fixture.Unplug(second);
    fixture.Plug(second);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 11);
}

void ReaderChoiceTest::chosenReaderThatCannotBeReadLeavesNothingToApply() {
    WindowFixture fixture;
    fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.Reader(second).Settings()[7] = 22;
    fixture.Reader(second).Faults().failGet = {3};
    fixture.Start();
    fixture.Box("cbAWID")->click();
    QCOMPARE(fixture.Status(), QString("modified"));

    fixture.ChooseReader(1);
    QVERIFY2(fixture.Status().endsWith("No settings are loaded"), qPrintable(fixture.Status()));
    // The first reader's record must not reach the second one.
    fixture.Form().bnApplyClick();
    QVERIFY(!WroteTo(fixture.Reader(second)));
    QCOMPARE(fixture.Reader(second).Settings()[7], std::uint8_t{22});
}

void ReaderChoiceTest::deviceChangeKeepsTheEditsOfTheReaderShown_data() {
    QTest::addColumn<bool>("plugReader");  // what is plugged in: a reader or a keyboard
    QTest::newRow("another reader") << true;
    QTest::newRow("a keyboard") << false;
}

void ReaderChoiceTest::deviceChangeKeepsTheEditsOfTheReaderShown() {
    QFETCH(bool, plugReader);
    WindowFixture fixture;
    fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.AddReader();
    fixture.Start();
    fixture.ChooseReader(1);
    auto* altKey = fixture.Box("cbUsedAltKey");
    QVERIFY(!altKey->isChecked());
    altKey->click();
    QCOMPARE(fixture.Status(), QString("modified"));
    fixture.Reader(second).ClearTransferLog();

    if (plugReader)
        fixture.AddReader();
    else
        fixture.AddKeyboard();
    QCOMPARE(fixture.Find<QComboBox>("cbDevListBox")->currentIndex(), 1);
    QVERIFY2(altKey->isChecked(), "the edit not applied yet stays");
    QCOMPARE(fixture.Status(), QString("modified"));
    QVERIFY(fixture.ApplyEnabled());
    QVERIFY2(fixture.Reader(second).TransferLog().empty(), "the reader shown is not read again");

    // The edit still goes to the reader it was made for.
    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
    QVERIFY(WroteTo(fixture.Reader(second)));
}

void ReaderChoiceTest::readingAnotherReaderLeavesNothingModified_data() {
    QTest::addColumn<bool>("unplugShown");  // the reader shown leaves, or the user chooses
    QTest::newRow("the user chooses the other reader") << false;
    QTest::newRow("the reader shown is unplugged") << true;
}

void ReaderChoiceTest::readingAnotherReaderLeavesNothingModified() {
    QFETCH(bool, unplugShown);
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto second = fixture.AddReader();
    // Records that differ in several controls: showing the second changes them all.
    fixture.Reader(second).Settings()[7] = 22;
    fixture.Reader(second).Settings()[9] = 1;
    fixture.Reader(second).Settings()[16] = 0;
    fixture.Start();
    fixture.Box("cbAWID")->click();
    QCOMPARE(fixture.Status(), QString("modified"));

    if (unplugShown)
        fixture.Unplug(first);
    else
        fixture.ChooseReader(1);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 22);
    QCOMPARE(fixture.Status(), QString());
    QVERIFY(!fixture.ApplyEnabled());
}

QTEST_MAIN(ReaderChoiceTest)
#include "reader_choice_test.moc"
