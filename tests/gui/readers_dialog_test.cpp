#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <array>

#include "inventory/gui/ReadersDialog.h"
#include "support/WindowFixture.h"

using zm880::inventory_gui::TReadersDialog;
using zm880::testing::WindowFixture;

namespace {

constexpr int kPathColumn = 1;
constexpr int kProductColumn = 4;
constexpr int kDigestColumn = 12;
constexpr std::size_t kCharDelayByte = 6;

TReadersDialog* OpenReaders(WindowFixture& fixture) {
    fixture.Action("miReaders")->trigger();
    return fixture.Find<TReadersDialog>("ReadersDialog");
}

QTableWidget& Table(TReadersDialog& dialog) {
    return *dialog.findChild<QTableWidget*>("tbReaders");
}

QStringList Column(TReadersDialog& dialog, int column) {
    QStringList cells;
    QTableWidget& table = Table(dialog);
    for (int row = 0; row < table.rowCount(); ++row)
        cells << table.item(row, column)->text();
    return cells;
}

void Click(TReadersDialog& dialog, const char* button) {
    dialog.findChild<QPushButton*>(button)->click();
}

void WriteFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

}  // namespace

class ReadersDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void tableFollowsPlugsAndReadsEachReaderOncePerPlug();
    void comparesWithAProfileAndGivesTheTableAsCsv();
};

void ReadersDialogTest::tableFollowsPlugsAndReadsEachReaderOncePerPlug() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.AddReader();
    fixture.Start();
    TReadersDialog* dialog = OpenReaders(fixture);
    QVERIFY(dialog != nullptr);
    QCOMPARE(Column(*dialog, kPathColumn), (QStringList{"sim:hidraw0", "sim:hidraw1"}));
    const QStringList digests = Column(*dialog, kDigestColumn);
    QCOMPARE(digests[0].size(), 64);
    QCOMPARE(digests[1], digests[0]);

    // Changed behind the table's back: only a new plug of that reader may show it.
    fixture.Reader(0).Settings()[kCharDelayByte] = 5;
    const auto records = std::array{fixture.Reader(0).Settings(), fixture.Reader(1).Settings()};
    const std::size_t third = fixture.AddReader();
    QCOMPARE(Column(*dialog, kPathColumn),
             (QStringList{"sim:hidraw0", "sim:hidraw1", "sim:hidraw2"}));
    QCOMPARE(Column(*dialog, kDigestColumn), (QStringList{digests[0], digests[0], digests[0]}));

    fixture.Unplug(third);
    QCOMPARE(Table(*dialog).rowCount(), 2);
    fixture.Unplug(0);
    fixture.Plug(0);
    const QStringList replugged = Column(*dialog, kDigestColumn);
    QCOMPARE(replugged.size(), 2);
    QVERIFY(replugged.contains(digests[0]));
    QVERIFY(replugged.filter(digests[0]).size() == 1);

    // Nothing was written to any reader.
    QCOMPARE(fixture.Reader(0).Settings(), records[0]);
    QCOMPARE(fixture.Reader(1).Settings(), records[1]);
    // Opening it again shows the same window rather than a second one.
    QCOMPARE(OpenReaders(fixture), dialog);
    QCOMPARE(fixture.Form().findChildren<TReadersDialog*>().size(), 1);
}

void ReadersDialogTest::comparesWithAProfileAndGivesTheTableAsCsv() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.AddReader(0, "Desk \"B\", left");
    fixture.Reader(1).Settings()[kCharDelayByte] = 5;
    fixture.Start();
    TReadersDialog* dialog = OpenReaders(fixture);
    QVERIFY(dialog != nullptr);
    QCOMPARE(Column(*dialog, kProductColumn)[1], QString("Desk \"B\", left"));

    const QString refused = fixture.TempPath("refused.json");
    WriteFile(refused, R"({"NoSuchField": 1})");
    fixture.Dialogs().answers.push_back(refused);
    Click(*dialog, "bnCompare");
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    QVERIFY2(fixture.Dialogs().messages[0].contains("NoSuchField"),
             qPrintable(fixture.Dialogs().messages[0]));
    QCOMPARE(Table(*dialog).columnCount(), 14);

    const QString profile = fixture.TempPath("site.json");
    WriteFile(profile, R"({"CharDelay": 0, "Suffix": "Enter"})");
    fixture.Dialogs().answers.push_back(profile);
    Click(*dialog, "bnCompare");
    QCOMPARE(Table(*dialog).columnCount(), 15);
    QCOMPARE(Table(*dialog).horizontalHeaderItem(14)->text(), QString("Profile site.json"));
    QCOMPARE(Column(*dialog, 14), (QStringList{"matches", "differs: CharDelay 50 (profile 0)"}));

    Click(*dialog, "bnCopy");
    const QString csv = QApplication::clipboard()->text();
    QVERIFY2(csv.startsWith("index,path,text,manufacturer,product,release,"), qPrintable(csv));
    QVERIFY2(csv.contains(",\"Desk \"\"B\"\", left\",0100,"), qPrintable(csv));
    QVERIFY2(csv.contains(",differs: CharDelay 50 (profile 0)\r\n"), qPrintable(csv));

    const QString saved = fixture.TempPath("readers.csv");
    fixture.Dialogs().answers.push_back(saved);
    Click(*dialog, "bnSaveCsv");
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), csv);
    QCOMPARE(fixture.Dialogs().presetNames.last(), QString("readers.csv"));
}

QTEST_MAIN(ReadersDialogTest)
#include "readers_dialog_test.moc"
