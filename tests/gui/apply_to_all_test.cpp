#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "support/WindowFixture.h"

using zm880::sim::Transfer;
using zm880::testing::WindowFixture;

// "Apply to all readers": the settings shown go to every attached reader, each backed up and
// verified, with a summary of the results.
class ApplyToAllTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void writesEveryReaderAndNamesTheOnesThatFailed();
    void withoutASettingsRecordNothingIsWritten();
    void withoutTheUsersConsentNothingIsWritten();
    void readerUnpluggedDuringTheRunIsSaidToBeRemoved();

  private:
    QStringList Backups() const {
        return QDir(state_->filePath("zm880/backups")).entryList(QDir::Files, QDir::Name);
    }
    QByteArray Backup(const QString& readerName) const;

    std::unique_ptr<QTemporaryDir> state_;
};

void ApplyToAllTest::init() {
    // Backups go to a folder of the test's own.
    state_ = std::make_unique<QTemporaryDir>();
    zm880::testing::UseStateHome(state_->path());
}

void ApplyToAllTest::cleanup() {
    state_.reset();
}

QByteArray ApplyToAllTest::Backup(const QString& readerName) const {
    const QStringList names = Backups().filter(readerName);
    if (names.size() != 1)
        return {};
    QFile file(state_->filePath("zm880/backups/" + names.front()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void ApplyToAllTest::writesEveryReaderAndNamesTheOnesThatFailed() {
    WindowFixture fixture;
    const auto shown = fixture.AddReader();
    const auto refusing = fixture.AddReader();
    const auto other = fixture.AddReader();
    const auto legic = fixture.AddReader(zm880::kLegicReaderType);
    for (auto slot : {shown, refusing, other, legic}) {
        fixture.Reader(slot).Settings()[7] = 5;
        // Bytes no field covers: each reader keeps its own.
        fixture.Reader(slot).Settings()[2] = static_cast<std::uint8_t>(0x50 + slot);
        fixture.Reader(slot).Settings()[21] = static_cast<std::uint8_t>(0x60 + slot);
    }
    fixture.Reader(refusing).Faults().failSet = {3};
    fixture.Start();
    auto* applyAll = fixture.Find<QPushButton>("bnApplyAll");
    QVERIFY(applyAll->isVisible());

    fixture.Find<QSpinBox>("edDoubleTimeout")->setValue(42);
    fixture.Dialogs().yesNoAnswers.push_back(true);
    applyAll->click();
    QCOMPARE(fixture.Dialogs().questions.size(), 1);
    QVERIFY2(fixture.Dialogs().questions.front().contains("4 readers"),
             qPrintable(fixture.Dialogs().questions.front()));

    for (auto slot : {shown, other}) {
        const auto& record = fixture.Reader(slot).Settings();
        QCOMPARE(record[7], std::uint8_t{42});
        QCOMPARE(record[2], static_cast<std::uint8_t>(0x50 + slot));
        QCOMPARE(record[21], static_cast<std::uint8_t>(0x60 + slot));
    }
    QCOMPARE(fixture.Reader(refusing).Settings()[7], std::uint8_t{5});
    QCOMPARE(fixture.Reader(legic).Settings()[7], std::uint8_t{5});
    for (const auto& transfer : fixture.Reader(legic).TransferLog())
        QVERIFY2(transfer.kind != Transfer::Kind::Set, "a reader of another type is left alone");

    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    const QString summary = fixture.Dialogs().messages.front();
    QVERIFY2(summary.startsWith("Apply to all readers: 2 done, 1 skipped, 1 failed"),
             qPrintable(summary));
    QVERIFY2(summary.contains("sim:hidraw0: done"), qPrintable(summary));
    QVERIFY2(summary.contains("sim:hidraw2: done"), qPrintable(summary));
    QVERIFY2(summary.contains("sim:hidraw1: failed: writing feature report 03 failed"),
             qPrintable(summary));
    QVERIFY2(summary.contains("sim:hidraw3: skipped: the reader is of type 3"),
             qPrintable(summary));
    QCOMPARE(fixture.Status(), QString("Apply to all readers: 2 done, 1 skipped, 1 failed"));

    // Each written reader's record as it was before is kept; the other type got no backup.
    QCOMPARE(Backups().size(), 3);
    const QByteArray before = Backup("hidraw2");
    QCOMPARE(before.size(), 64);
    QCOMPARE(static_cast<std::uint8_t>(before[7]), std::uint8_t{5});
    QCOMPARE(static_cast<std::uint8_t>(before[21]), std::uint8_t{0x62});

    // The window still works with the first reader and shows what it holds now.
    QCOMPARE(fixture.Form().Session().SelectedIndex(), std::size_t{0});
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    fixture.Find<QSpinBox>("edDoubleTimeout")->setValue(43);
    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Reader(shown).Settings()[21], std::uint8_t{0x60});
    QCOMPARE(fixture.Reader(other).Settings()[7], std::uint8_t{42});
}

void ApplyToAllTest::withoutASettingsRecordNothingIsWritten() {
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.Reader(first).Faults().failGet = {3};
    fixture.Start();

    QVERIFY(!fixture.Find<QPushButton>("bnApplyAll")->isEnabled());
    fixture.Action("miApplyAll")->trigger();
    QVERIFY2(fixture.Status().endsWith("No settings are loaded"), qPrintable(fixture.Status()));
    for (auto slot : {first, second})
        for (const auto& transfer : fixture.Reader(slot).TransferLog())
            QVERIFY(transfer.kind != Transfer::Kind::Set);
    QVERIFY(Backups().isEmpty());
}

void ApplyToAllTest::withoutTheUsersConsentNothingIsWritten() {
    WindowFixture fixture;
    const auto first = fixture.AddReader();
    const auto second = fixture.AddReader();
    fixture.Start();
    fixture.Find<QSpinBox>("edDoubleTimeout")->setValue(42);
    fixture.Dialogs().yesNoAnswers.push_back(false);
    fixture.Find<QPushButton>("bnApplyAll")->click();

    QCOMPARE(fixture.Dialogs().questions.size(), 1);
    QVERIFY2(fixture.Dialogs().questions.front().contains("2 readers"),
             qPrintable(fixture.Dialogs().questions.front()));
    for (auto slot : {first, second})
        for (const auto& transfer : fixture.Reader(slot).TransferLog())
            QVERIFY(transfer.kind != Transfer::Kind::Set);
    QVERIFY(Backups().isEmpty());
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    QVERIFY(fixture.ApplyEnabled());
}

void ApplyToAllTest::readerUnpluggedDuringTheRunIsSaidToBeRemoved() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.AddReader();
    const auto leaving = fixture.AddReader();
    fixture.Start();
    // Gone from the system before the run reaches it; the window hears of it only afterwards.
    fixture.Bus().Unplug(leaving);
    fixture.Dialogs().yesNoAnswers.push_back(true);
    fixture.Find<QPushButton>("bnApplyAll")->click();

    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    const QString summary = fixture.Dialogs().messages.front();
    QVERIFY2(summary.startsWith("Apply to all readers: 2 done, 0 skipped, 1 failed"),
             qPrintable(summary));
    QVERIFY2(summary.contains("sim:hidraw2: failed: the reader was removed"), qPrintable(summary));
}

QTEST_MAIN(ApplyToAllTest)
#include "apply_to_all_test.moc"
