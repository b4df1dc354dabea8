#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "support/WindowFixture.h"

using zm880::testing::WindowFixture;

// Load Config with a readable profile: the fields it names change on the record shown, nothing
// else does.
class ProfileLoadTest : public QObject {
    Q_OBJECT

  private slots:
    void profileSetsItsFieldsOnTheRecordShown();
    void refusedProfileChangesNothing_data();
    void refusedProfileChangesNothing();
    void withoutARecordAProfileIsNotTaken();
    void linkLoopIsRefusedWithTheSystemsReason();
};

namespace {

QString WriteProfile(const WindowFixture& fixture, const QByteArray& text) {
    const QString path = fixture.TempPath("profile.json");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        qFatal("cannot write the profile");
    return path;
}

bool WroteTo(const zm880::sim::ReaderModel& reader) {
    for (const auto& transfer : reader.TransferLog())
        if (transfer.kind == zm880::sim::Transfer::Kind::Set)
            return true;
    return false;
}

}  // namespace

void ProfileLoadTest::profileSetsItsFieldsOnTheRecordShown() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    auto& record = fixture.Reader(slot).Settings();
    record[2] = 0x5A;   // no field covers it
    record[6] = 3;      // character delay 30 ms
    record[7] = 5;      // double timeout
    fixture.Start();
    // An edit made before the load stays: the profile does not name it.
    fixture.Box("cbByteMirror")->click();
    fixture.Dialogs().answers.push_back(WriteProfile(fixture, R"({"DoubleTimeout": 42})"));

    fixture.Action("miLoadConfig")->trigger();
    QVERIFY(fixture.Dialogs().messages.isEmpty());
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    QVERIFY(fixture.Box("cbByteMirror")->isChecked());
    QVERIFY(fixture.ApplyEnabled());
    QVERIFY(!WroteTo(fixture.Reader(slot)));

    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
    QCOMPARE(record[7], std::uint8_t{42});
    QCOMPARE(record[6], std::uint8_t{3});
    QCOMPARE(record[2], std::uint8_t{0x5A});
    QCOMPARE(record[9], std::uint8_t{1});  // the byte mirror edit
}

void ProfileLoadTest::refusedProfileChangesNothing_data() {
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<QString>("named");
    QTest::newRow("value out of range")
        << QByteArray(R"({"CharDelay": 10, "DoubleTimeout": 4242})") << "DoubleTimeout";
    QTest::newRow("field the reader type does not store")
        << QByteArray(R"({"DoubleTimeout": 9, "LegicStartAddr": 1})") << "LegicStartAddr";
    QTest::newRow("not JSON") << QByteArray("DoubleTimeout=9") << "profile.json";
    QTest::newRow("broken JSON, in plain words")
        << QByteArray("{\"DoubleTimeout\": 9,}") << "line 1, column 21: found '}', expected a key";
    QTest::newRow("text for a number")
        << QByteArray(R"({"DoubleTimeout": "9"})") << "DoubleTimeout must be a whole number";
    QTest::newRow("a key named twice")
        << QByteArray(R"({"DoubleTimeout": 9, "DoubleTimeout": 4242})")
        << "the key \"DoubleTimeout\" appears twice";
    QTest::newRow("nested far too deep")
        << QByteArray("{\"LfTags\": ").append(QByteArray(100000, '[')) << "field \"LfTags\"";
}

void ProfileLoadTest::refusedProfileChangesNothing() {
    QFETCH(QByteArray, profile);
    QFETCH(QString, named);
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).Settings()[7] = 5;
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(fixture, profile));
    const int charDelay = fixture.Find<QSpinBox>("edCharDelay")->value();

    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    QVERIFY2(fixture.Dialogs().messages.front().contains(named),
             qPrintable(fixture.Dialogs().messages.front()));
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 5);
    QCOMPARE(fixture.Find<QSpinBox>("edCharDelay")->value(), charDelay);
    QVERIFY(!fixture.ApplyEnabled());
    QVERIFY(!WroteTo(fixture.Reader(slot)));
}

void ProfileLoadTest::withoutARecordAProfileIsNotTaken() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).Faults().failGet = {3};
    fixture.Start();
    fixture.Dialogs().answers.push_back(WriteProfile(fixture, R"({"DoubleTimeout": 42})"));

    fixture.Action("miLoadConfig")->trigger();
    QVERIFY2(fixture.Status().endsWith("No settings are loaded"), qPrintable(fixture.Status()));
    QVERIFY(!fixture.ApplyEnabled());
    fixture.Form().bnApplyClick();
    QVERIFY(!WroteTo(fixture.Reader(slot)));
}

void ProfileLoadTest::linkLoopIsRefusedWithTheSystemsReason() {
#ifdef Q_OS_WIN
    QSKIP("making symbolic links takes rights a test does not have on Windows");
#endif
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString first = fixture.TempPath("loop-a.json");
    const QString second = fixture.TempPath("loop-b.json");
    QVERIFY(QFile::link(second, first));
    QVERIFY(QFile::link(first, second));
    fixture.Dialogs().answers.push_back(first);

    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().messages.size(), 1);
    const QString& message = fixture.Dialogs().messages.front();
    QVERIFY2(message.contains("unable to open file") && message.contains("symbolic links"),
             qPrintable(message));
}

QTEST_MAIN(ProfileLoadTest)
#include "profile_load_test.moc"
