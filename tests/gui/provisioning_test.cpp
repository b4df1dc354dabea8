#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>

#include "app/ProvisioningDialog.h"
#include "support/WindowFixture.h"

using zm880::app::TProvisioningDialog;
using zm880::testing::WindowFixture;

// Provisioning mode of the window: every reader present and every one plugged in during the run
// gets the profile, on the simulated bus.
class ProvisioningTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void provisionsReadersPresentAndPluggedAndCountsFailures();
    void closeDuringTheRunAsksThenStopsItFirst_data();
    void closeDuringTheRunAsksThenStopsItFirst();
    void refusedProfileDoesNotStart();
    void chosenFilesAreOfferedAgainOnReopen();
    void resultColumnGrowsWithTheWindow();
    void tableHeaderShowsItsCaptionsWhole_data();
    void tableHeaderShowsItsCaptionsWhole();

  private:
    QString WriteProfile(const QByteArray& text) const;

    std::unique_ptr<QTemporaryDir> dir_;
};

namespace {

// What the dialog showed at the end of its run.
struct RunSeen {
    QStringList rows;  // "READER RESULT"
    int done = -1;
    int failed = -1;
    bool resultsOnGuiThread = true;
};

QStringList TableRows(const QTableWidget& table) {
    QStringList rows;
    for (int row = 0; row < table.rowCount(); ++row)
        rows << table.item(row, 1)->text() + " " + table.item(row, 2)->text();
    return rows;
}

}  // namespace

void ProvisioningTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    // Backups go to a folder of the test's own.
    zm880::testing::UseStateHome(dir_->filePath("state"));
}

void ProvisioningTest::cleanup() {
    dir_.reset();
}

QString ProvisioningTest::WriteProfile(const QByteArray& text) const {
    const QString path = dir_->filePath("profile.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write the profile");
    return path;
}

void ProvisioningTest::provisionsReadersPresentAndPluggedAndCountsFailures() {
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto refusing = fixture.AddReader();
    const auto later = fixture.AddReader();
    for (auto slot : {first, refusing, later})
        fixture.Reader(slot).Settings()[7] = 5;
    fixture.Reader(refusing).Faults().failSet = {3};
    fixture.Bus().Unplug(later);
    fixture.Bus().TakeChanges();
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(R"({"DoubleTimeout": 42})"));

    RunSeen seen;
    const QTableWidgetItem* backup = nullptr;
    QString backupText, backupTip;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        // Never left open should the run not end as expected.
        QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
        QObject::connect(&dialog, &TProvisioningDialog::resultShown, [&] {
            seen.resultsOnGuiThread =
                seen.resultsOnGuiThread && QThread::currentThread() == dialog.thread();
            const int results = dialog.DoneCount() + dialog.FailedCount();
            if (results == 2)
                fixture.Bus().Plug(later);
            if (results == 3)
                dialog.bnStopClick();
        });
        QObject::connect(&dialog, &TProvisioningDialog::runEnded, [&] {
            const auto* table = dialog.findChild<QTableWidget*>("tbReaders");
            seen.rows = TableRows(*table);
            for (int row = 0; row < table->rowCount(); ++row)
                if (table->item(row, 2)->text() == "ok")
                    backup = table->item(row, 3);
            seen.done = dialog.DoneCount();
            seen.failed = dialog.FailedCount();
            if (backup != nullptr) {
                backupText = backup->text();
                backupTip = backup->toolTip();
            }
            dialog.findChild<QPushButton*>("bnClose")->click();
        });
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.bnProfileClick();
            dialog.bnStartClick();
        });
    };
    fixture.Action("miProvision")->trigger();

    QCOMPARE(seen.done, 2);
    QCOMPARE(seen.failed, 1);
    QVERIFY(seen.resultsOnGuiThread);
    QCOMPARE(seen.rows.size(), 3);
    QVERIFY2(seen.rows.contains("sim:hidraw0 ok"), qPrintable(seen.rows.join('|')));
    QVERIFY2(seen.rows.contains("sim:hidraw2 ok"), qPrintable(seen.rows.join('|')));
    QVERIFY2(seen.rows.filter("sim:hidraw1 failed: ").size() == 1, qPrintable(seen.rows.join('|')));
    // The backup shows by its file name, with the whole path as its tool tip.
    QVERIFY2(QFileInfo(backupTip).isAbsolute() && QFileInfo::exists(backupTip),
             qPrintable(backupTip));
    QCOMPARE(backupText, QFileInfo(backupTip).fileName());
    QCOMPARE(fixture.Reader(first).Settings()[7], std::uint8_t{42});
    QCOMPARE(fixture.Reader(later).Settings()[7], std::uint8_t{42});
    QCOMPARE(fixture.Reader(refusing).Settings()[7], std::uint8_t{5});

    // Back in the window: the reader plugged meanwhile is listed, the one shown is read again.
    QTRY_COMPARE(fixture.Form().Session().Entries().size(), std::size_t{3});
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
}

void ProvisioningTest::closeDuringTheRunAsksThenStopsItFirst_data() {
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<bool>("agreed");
    QTest::newRow("Close, agreed") << false << true;
    QTest::newRow("Escape, agreed") << true << true;
    QTest::newRow("Escape, declined") << true << false;
}

void ProvisioningTest::closeDuringTheRunAsksThenStopsItFirst() {
    QFETCH(bool, byEscape);
    QFETCH(bool, agreed);
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(R"({"DoubleTimeout": 42})"));
    fixture.Dialogs().yesNoAnswers.push_back(agreed);

    bool stillRunningAfterClose = false;
    bool endedBeforeClosing = false;
    int rowsAtEnd = -1;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
        QObject::connect(&dialog, &TProvisioningDialog::resultShown, [&] {
            if (byEscape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.findChild<QPushButton*>("bnClose")->click();
            stillRunningAfterClose = dialog.isVisible() && dialog.Running();
            if (!agreed)
                dialog.bnStopClick();
        });
        QObject::connect(&dialog, &TProvisioningDialog::runEnded, [&] {
            endedBeforeClosing = dialog.isVisible();
            rowsAtEnd = dialog.findChild<QTableWidget*>("tbReaders")->rowCount();
            if (!agreed)
                QTimer::singleShot(0, &dialog, [&dialog] { dialog.reject(); });
        });
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.bnProfileClick();
            dialog.bnStartClick();
        });
    };
    QElapsedTimer timer;
    timer.start();
    fixture.Action("miProvision")->trigger();

    // The run waits for more readers; closing asks, then ends it, then the dialog goes.
    QCOMPARE(fixture.Dialogs().questions.size(), 1);
    QVERIFY(stillRunningAfterClose);
    QVERIFY(endedBeforeClosing);
    QCOMPARE(rowsAtEnd, 1);
    QVERIFY(timer.elapsed() < 10000);
}

void ProvisioningTest::refusedProfileDoesNotStart() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(R"({"DoubleTimeout": 4242})"));

    bool started = true;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            dialog.bnProfileClick();
            dialog.bnStartClick();
            started = dialog.Running();
            dialog.reject();
        });
    };
    fixture.Action("miProvision")->trigger();

    QVERIFY(!started);
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    QVERIFY2(fixture.Dialogs().messages.front().contains("DoubleTimeout"),
             qPrintable(fixture.Dialogs().messages.front()));
    for (const auto& transfer : fixture.Reader(slot).TransferLog())
        QVERIFY(transfer.kind != zm880::sim::Transfer::Kind::Set);
}

void ProvisioningTest::chosenFilesAreOfferedAgainOnReopen() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString profile = WriteProfile(R"({"DoubleTimeout": 42})");
    const QString firmware = dir_->filePath("update.hex");
    QFile(firmware).open(QIODevice::WriteOnly);

    QStringList shown;  // profile and firmware as each opening of the dialog shows them
    std::function<void(TProvisioningDialog&)> choose = [&](TProvisioningDialog& dialog) {
        dialog.bnProfileClick();
        dialog.bnFirmwareClick();
    };
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            shown << dialog.findChild<QLineEdit*>("edProfile")->text() + "|" +
                         dialog.findChild<QLineEdit*>("edFirmware")->text();
            if (choose)
                choose(dialog);
            dialog.reject();
        });
    };
    fixture.Dialogs().answers = {profile, firmware};
    fixture.Action("miProvision")->trigger();
    choose = nullptr;
    fixture.Action("miProvision")->trigger();
    // A file gone since is not offered.
    QVERIFY(QFile::remove(firmware));
    fixture.Action("miProvision")->trigger();

    QCOMPARE(shown, (QStringList{"|", profile + "|" + firmware, profile + "|"}));
    QVERIFY(fixture.Dialogs().messages.isEmpty());
}

void ProvisioningTest::resultColumnGrowsWithTheWindow() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    QList<int> widths;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            auto* table = dialog.findChild<QTableWidget*>("tbReaders");
            for (int width : {680, 980}) {
                dialog.resize(width, 420);
                QApplication::processEvents();
                widths << table->columnWidth(2);
            }
            // All columns stay inside the table.
            QVERIFY(table->horizontalHeader()->length() <= table->viewport()->width());
            dialog.reject();
        });
    };
    fixture.Action("miProvision")->trigger();
    QCOMPARE(widths.size(), 2);
    QVERIFY2(widths[1] - widths[0] >= 250,
             qPrintable(QString("%1 -> %2").arg(widths[0]).arg(widths[1])));
}

void ProvisioningTest::tableHeaderShowsItsCaptionsWhole_data() {
    QTest::addColumn<int>("fontPixels");
    QTest::newRow("usual font") << 12;
    QTest::newRow("larger font, as dark desktop themes often bring") << 20;
}

void ProvisioningTest::tableHeaderShowsItsCaptionsWhole() {
    QFETCH(int, fontPixels);
    const QFont systemFont = QApplication::font();
    QFont font = systemFont;
    font.setPixelSize(fontPixels);
    QApplication::setFont(font);
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();

    QStringList clipped;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            const QHeaderView* header =
                dialog.findChild<QTableWidget*>("tbReaders")->horizontalHeader();
            const QFontMetrics metrics = header->fontMetrics();
            const int margins = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin);
            if (header->height() < metrics.height())
                clipped << QString("header %1 high").arg(header->height());
            // The Result column stretches over the rest of the table.
            for (int column = 0; column < header->count(); ++column) {
                if (header->sectionResizeMode(column) == QHeaderView::Stretch)
                    continue;
                const QString caption =
                    header->model()->headerData(column, Qt::Horizontal).toString();
                if (header->sectionSize(column) < metrics.horizontalAdvance(caption) + margins)
                    clipped
                        << QString("\"%1\" in %2").arg(caption).arg(header->sectionSize(column));
            }
            dialog.reject();
        });
    };
    fixture.Action("miProvision")->trigger();
    QApplication::setFont(systemFont);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join("; ")));
}

QTEST_MAIN(ProvisioningTest)
#include "provisioning_test.moc"
