#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <cstdint>
#include <vector>

#include "diag/gui/RawConsolePage.h"
#include "hid/HidDeviceController.h"
#include "reader/HexText.h"
#include "support/WindowFixture.h"

using zm880::testing::WindowFixture;
namespace sim = zm880::sim;

namespace {

QString CellName(int index) {
    return index == 0 ? QString("Edit1") : QString("ByteCell%1").arg(index);
}

// The window with one reader of the given feature report length, on its "Special" page.
struct Console {
    explicit Console(std::size_t featureLength) {
        slot = fixture.AddReader();
        fixture.Reader(slot).SetFeatureReportLength(featureLength);
        fixture.Start();
    }

    template <typename T>
    T* Find(const QString& name) const {
        return fixture.Find<T>(name);
    }
    QLineEdit* Cell(int index) const { return Find<QLineEdit>(CellName(index)); }
    QLineEdit* ReportId() const { return Find<QLineEdit>("ReportID"); }
    QListWidget* History() const { return Find<QListWidget>("HistoryListBox"); }
    void Click(const char* name) const { Find<QAbstractButton>(name)->click(); }
    int VisibleCells() const {
        int visible = 0;
        for (int i = 0; i < 64; ++i)
            visible += Cell(i)->isHidden() ? 0 : 1;
        return visible;
    }
    sim::ReaderModel& Reader() { return fixture.Reader(slot); }
    // Shows the window and opens the console as the user does.
    void Open() {
        fixture.Form().show();
        QVERIFY(QTest::qWaitForWindowExposed(&fixture.Form()));
        QTest::mouseClick(Find<QWidget>("tsMain"), Qt::RightButton,
                          Qt::ShiftModifier | Qt::AltModifier, QPoint(100, 400));
        QCOMPARE(fixture.CurrentPage()->objectName(), QString("tsSpecial"));
    }
    const sim::Transfer& LastTransfer() { return Reader().TransferLog().back(); }

    WindowFixture fixture;
    std::size_t slot = 0;
};

QString ExpectedLine(char kind, std::uint8_t id, const std::vector<std::uint8_t>& payload) {
    QString line = QString("%1 %2  ").arg(kind).arg(QString::fromStdString(zm880::HexByte(id)));
    for (std::uint8_t byte : payload)
        line += QString::fromStdString(zm880::HexByte(byte)) + ' ';
    return line;
}

}  // namespace

class RawConsoleTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsAndByteCellsSitWhereTheyBelong();
    void largerSystemFontGivesWholeHistoryLinesAndCells();
    void readAndWriteFollowTheFeatureLength_data();
    void readAndWriteFollowTheFeatureLength();
    void writeNormalisesHexInputAndSendsTheCells();
    void writeAfterDeviceChangeAddressesNoReleasedReader();
    void resetSendsResetReportOnButtonAndOnClose();
    void buttonsBeforeCellsAreBuiltUseEdit1Alone();
    void longHistoryLinesScrollSideways();
    void backAndEscapeLeadToTheMainPage_data();
    void backAndEscapeLeadToTheMainPage();
};

void RawConsoleTest::controlsAndByteCellsSitWhereTheyBelong() {
    Console console(65);
    QCOMPARE(console.History()->geometry(), QRect(0, 0, 676, 31));
    QCOMPARE(console.History()->font().family(), QString("Courier New"));
    QCOMPARE(console.Find<QLabel>("Label1")->text(), QString("Report"));
    QCOMPARE(console.ReportId()->text(), QString("03"));
    QCOMPARE(console.ReportId()->geometry(), QRect(56, 43, 25, 24));
    auto* read = console.Find<QToolButton>("ReadBtn");
    QCOMPARE(read->geometry(), QRect(144, 199, 81, 22));
    QVERIFY(read->isCheckable());
    QCOMPARE(read->focusPolicy(), Qt::NoFocus);
    QCOMPARE(console.Find<QToolButton>("WriteBtn")->geometry(), QRect(232, 199, 81, 22));
    QCOMPARE(console.Find<QPushButton>("ResetBtn")->geometry(), QRect(320, 199, 81, 22));

    // Sixteen columns 27 apart, four rows 26 apart, in index order in the tab chain.
    const struct {
        int index;
        QPoint at;
    } cells[] = {{0, {56, 77}}, {1, {83, 77}}, {15, {461, 77}}, {17, {83, 103}}, {63, {461, 155}}};
    for (const auto& cell : cells)
        QCOMPARE(console.Cell(cell.index)->geometry(), QRect(cell.at, QSize(25, 24)));
    for (int i = 0; i < 63; ++i)
        QCOMPARE(console.Cell(i)->nextInFocusChain(), console.Cell(i + 1));
}

void RawConsoleTest::largerSystemFontGivesWholeHistoryLinesAndCells() {
    const QFont systemFont = QApplication::font();
    QFont large = systemFont;
    large.setPixelSize(20);
    QApplication::setFont(large);
    {
        Console console(65);
        console.Click("ReadBtn");
        QListWidget* history = console.History();
        QCOMPARE(history->count(), 1);
        QVERIFY(history->item(0)->sizeHint().height() >= history->fontMetrics().height());
        // The cells are laid out from the first one, which the larger font has enlarged.
        QLineEdit* first = console.Cell(0);
        QVERIFY(first->height() >= first->sizeHint().height());
        for (int i : {1, 17, 63})
            QCOMPARE(console.Cell(i)->size(), first->size());
        QVERIFY(console.Cell(1)->x() > first->geometry().right());
    }
    QApplication::setFont(systemFont);
}

void RawConsoleTest::readAndWriteFollowTheFeatureLength_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("visibleCells");
    QTest::addColumn<bool>("writeEnabled");
    QTest::addColumn<bool>("lineAdded");

    QTest::newRow("65: every cell") << 65 << 64 << true << true;
    QTest::newRow("4: three cells") << 4 << 3 << true << true;
    QTest::newRow("1: report ID alone") << 1 << 0 << true << true;
    QTest::newRow("0: nothing to read or write") << 0 << 0 << false << false;
    QTest::newRow("80: longer than cells and buffer") << 80 << 0 << false << false;
}

void RawConsoleTest::readAndWriteFollowTheFeatureLength() {
    QFETCH(int, length);
    QFETCH(bool, lineAdded);

    Console console(static_cast<std::size_t>(length));
    QTEST(console.VisibleCells(), "visibleCells");
    QTEST(console.Find<QToolButton>("WriteBtn")->isEnabled(), "writeEnabled");

    auto& settings = console.Reader().Settings();
    for (std::size_t i = 1; i < settings.size(); ++i)
        settings[i] = static_cast<std::uint8_t>(0xC0 ^ i);
    console.ReportId()->setText("3");
    console.fixture.Form().SetStatusText("");
    console.Click("ReadBtn");

    QCOMPARE(console.ReportId()->text(), QString("3"));
    QVERIFY(!console.Find<QToolButton>("ReadBtn")->isChecked());
    if (!lineAdded) {
        QCOMPARE(console.History()->count(), 0);
        QVERIFY(!console.fixture.Status().isEmpty());
        return;
    }
    std::vector<std::uint8_t> payload;
    for (int i = 1; i < length; ++i)
        payload.push_back(i < 64 ? settings[static_cast<std::size_t>(i)] : 0);
    QCOMPARE(console.History()->count(), 1);
    QCOMPARE(console.History()->currentRow(), 0);
    const QString line = console.History()->item(0)->text();
    QCOMPARE(line, ExpectedLine('R', 3, payload));
    QCOMPARE(line.size(), 6 + 3 * (length - 1));
    for (int i = 0; i + 1 < length; ++i)
        QCOMPARE(console.Cell(i)->text(),
                 QString::fromStdString(zm880::HexByte(payload[static_cast<std::size_t>(i)])));

    // Writing back sends the report ID and exactly the cells just read.
    console.Reader().ClearTransferLog();
    console.Click("WriteBtn");
    std::vector<std::uint8_t> sent = {0x03};
    sent.insert(sent.end(), payload.begin(), payload.end());
    QCOMPARE(console.Reader().TransferLog().size(), std::size_t{1});
    QCOMPARE(console.LastTransfer().bytes, sent);
    QCOMPARE(console.History()->item(1)->text(), ExpectedLine('W', 3, payload));
}

void RawConsoleTest::writeNormalisesHexInputAndSendsTheCells() {
    Console console(5);
    console.ReportId()->setText("3");

    // Nothing has been transferred by the console's own buttons yet, and the window's start-up
    // read is the device of the last transfer; a write goes to it.
    const QStringList typed = {"1ff", "", "a", "zz", "77"};
    for (int i = 0; i < typed.size(); ++i)
        console.Cell(i)->setText(typed[i]);
    console.Reader().ClearTransferLog();
    console.Click("WriteBtn");

    QCOMPARE(console.ReportId()->text(), QString("03"));
    const QStringList shown = {"FF", "00", "0A", "00", "77"};
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(console.Cell(i)->text(), shown[i]);
    QCOMPARE(console.Reader().TransferLog().size(), std::size_t{1});
    QCOMPARE(console.LastTransfer().kind, sim::Transfer::Kind::Set);
    QCOMPARE(console.LastTransfer().bytes,
             (std::vector<std::uint8_t>{0x03, 0xFF, 0x00, 0x0A, 0x00}));
    QCOMPARE(console.History()->item(0)->text(), ExpectedLine('W', 3, {0xFF, 0x00, 0x0A, 0x00}));

    // A report ID that is not a hexadecimal number is report 0, which this reader refuses: the
    // refusal is named and no line claims that the report went out.
    console.ReportId()->setText("0x3");
    console.fixture.Form().SetStatusText("");
    console.Click("WriteBtn");
    QCOMPARE(console.ReportId()->text(), QString("00"));
    QCOMPARE(console.History()->count(), 1);
    QVERIFY(!console.fixture.Status().isEmpty());
}

void RawConsoleTest::writeAfterDeviceChangeAddressesNoReleasedReader() {
    Console console(65);
    console.Click("ReadBtn");
    QCOMPARE(console.History()->count(), 1);

    // The rebuild releases the reader that the read used; "Write" then has no device at all
    // (under AddressSanitizer a stale one would be caught here).
    console.fixture.Unplug(console.slot);
    QCOMPARE(console.History()->count(), 0);
    console.Reader().ClearTransferLog();
    console.Click("WriteBtn");
    console.Click("ReadBtn");
    console.Click("ResetBtn");
    QCOMPARE(console.History()->count(), 0);
    QVERIFY(console.Reader().TransferLog().empty());

    // Plugged in again, the reader is read anew by the window and written to as usual.
    console.fixture.Plug(console.slot);
    console.Reader().ClearTransferLog();
    console.Click("WriteBtn");
    QCOMPARE(console.Reader().TransferLog().size(), std::size_t{1});
    QCOMPARE(console.History()->count(), 1);
}

void RawConsoleTest::resetSendsResetReportOnButtonAndOnClose() {
    Console console(65);
    const std::vector<std::uint8_t> reset = {0x06, 0x00, 0x00, 0x00};
    console.Reader().ClearTransferLog();
    console.Click("ResetBtn");
    QCOMPARE(console.Reader().TransferLog().size(), std::size_t{1});
    QCOMPARE(console.LastTransfer().kind, sim::Transfer::Kind::Set);
    QCOMPARE(console.LastTransfer().bytes, reset);
    QCOMPARE(console.History()->count(), 0);

    console.fixture.Form().close();
    QCOMPARE(console.Reader().TransferLog().size(), std::size_t{2});
    QCOMPARE(console.LastTransfer().bytes, reset);
}

void RawConsoleTest::buttonsBeforeCellsAreBuiltUseEdit1Alone() {
    auto bus = std::make_shared<zm880::hid::SimulatedBus>();
    bus->Add(std::make_unique<sim::ReaderModel>());
    zm880::hid::THidDeviceController controller(bus, [](std::function<void()>) {});
    zm880::ReaderSession session(controller);
    controller.DeviceChange();
    session.RebuildDeviceList();
    QWidget page;
    QString status;
    zm880::diag_gui::TRawConsolePage console(session, &page,
                                             [&status](const QString& text) { status = text; });
    QVERIFY(!console.ByteCellsBuilt());

    console.ReadBtnClick();
    auto* edit1 = page.findChild<QLineEdit*>("Edit1");
    QCOMPARE(edit1->text(), QString::fromStdString(zm880::HexByte(session.Buffer()[1])));
    edit1->setText("5a");
    console.WriteBtnClick();
    QCOMPARE(edit1->text(), QString("5A"));
    QCOMPARE(page.findChild<QListWidget*>("HistoryListBox")->count(), 2);
    QVERIFY(status.isEmpty());
}

void RawConsoleTest::longHistoryLinesScrollSideways() {
    Console console(65);
    console.Open();
    console.Click("ReadBtn");
    QListWidget* history = console.History();
    QCOMPARE(history->count(), 1);
    // 198 characters are far wider than the list: its end must be reachable.
    const int lineWidth = history->fontMetrics().horizontalAdvance(history->item(0)->text());
    QVERIFY(lineWidth > history->viewport()->width());
    QScrollBar* bar = history->horizontalScrollBar();
    QVERIFY(bar->isVisible());
    QVERIFY2(bar->maximum() + history->viewport()->width() >= lineWidth,
             qPrintable(QString("scrolls %1 of %2").arg(bar->maximum()).arg(lineWidth)));
}

void RawConsoleTest::backAndEscapeLeadToTheMainPage_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Back button") << false;
    QTest::newRow("Escape in a byte cell") << true;
}

void RawConsoleTest::backAndEscapeLeadToTheMainPage() {
    QFETCH(bool, byKey);
    Console console(65);
    console.Open();
    console.Cell(0)->setText("5A");
    if (byKey) {
        console.Cell(0)->setFocus();
        QTest::keyClick(console.Cell(0), Qt::Key_Escape);
    } else {
        console.Click("bnBack");
    }
    QCOMPARE(console.fixture.CurrentPage()->objectName(), QString("tsMain"));
    // What was typed in the console stays for the next visit.
    QCOMPARE(console.Cell(0)->text(), QString("5A"));
}

QTEST_MAIN(RawConsoleTest)
#include "raw_console_test.moc"
