#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

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
    void closeDuringTheRunStopsItFirst();
    void refusedProfileDoesNotStart();
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
            seen.rows = TableRows(*dialog.findChild<QTableWidget*>("tbReaders"));
            seen.done = dialog.DoneCount();
            seen.failed = dialog.FailedCount();
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
    QCOMPARE(fixture.Reader(first).Settings()[7], std::uint8_t{42});
    QCOMPARE(fixture.Reader(later).Settings()[7], std::uint8_t{42});
    QCOMPARE(fixture.Reader(refusing).Settings()[7], std::uint8_t{5});

    // Back in the window: the reader plugged meanwhile is listed, the one shown is read again.
    QTRY_COMPARE(fixture.Form().Session().Entries().size(), std::size_t{3});
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
}

void ProvisioningTest::closeDuringTheRunStopsItFirst() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(R"({"DoubleTimeout": 42})"));

    bool stillRunningAfterClose = false;
    bool endedBeforeClosing = false;
    fixture.Form().Hooks().ProvisioningOpened = [&](TProvisioningDialog& dialog) {
        QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
        QObject::connect(&dialog, &TProvisioningDialog::resultShown, [&] {
            dialog.findChild<QPushButton*>("bnClose")->click();
            stillRunningAfterClose = dialog.isVisible() && dialog.Running();
        });
        QObject::connect(&dialog, &TProvisioningDialog::runEnded,
                         [&] { endedBeforeClosing = dialog.isVisible(); });
        QTimer::singleShot(0, &dialog, [&dialog] {
            dialog.bnProfileClick();
            dialog.bnStartClick();
        });
    };
    QElapsedTimer timer;
    timer.start();
    fixture.Action("miProvision")->trigger();

    // The run waits for more readers; "Close" ends it, then the dialog goes.
    QVERIFY(stillRunningAfterClose);
    QVERIFY(endedBeforeClosing);
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
            // The last column stretches over the rest of the table.
            for (int column = 0; column + 1 < header->count(); ++column) {
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
