#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>

#include "cfgfile/gui/ConfigFileCommands.h"
#include "reader/Profile.h"
#include "support/WindowFixture.h"

using zm880::testing::WindowFixture;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Record(std::uint8_t readerType, std::uint8_t doubleTimeout) {
    QByteArray bytes(64, '\0');
    bytes[0] = 3;
    bytes[7] = static_cast<char>(doubleTimeout);
    bytes[8] = static_cast<char>(readerType);
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ConfigFilesTest : public QObject {
    Q_OBJECT

  private slots:
    void saveThenLoadRestoresSettingsAndRemembersPath();
    void saveAsProfileWritesTheCompleteProfileThatLoadsBack();
    void loadOfMissingFileOnlyShowsMessage();
    void cancelledDialogsChangeNothing();
    void saveThatCannotCreateShowsMessage();
    void loadedTypeChoosesPageAndLongPathIsShortened();
    void resetDefaultWithoutRecordChangesNothing();
    void resetDefaultShowsDefaultRecord();
    void unusableFileIsSaidAndNotRemembered_data();
    void unusableFileIsSaidAndNotRemembered();
    void fileOfAnotherReaderTypeIsTakenOnlyWhenTheUserAgrees();
};

void ConfigFilesTest::saveThenLoadRestoresSettingsAndRemembersPath() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString path = fixture.TempPath("saved.cfg");
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");
    timeout->setValue(77);

    fixture.Dialogs().answers = {path};
    fixture.Action("miSaveConfig")->trigger();
    const QByteArray bytes = ReadAll(path);
    QCOMPARE(bytes.size(), 64);
    QCOMPARE(bytes[0], char(3));
    QCOMPARE(bytes[7], char(77));
    QCOMPARE(fixture.Store().ReadCfgPath(), QString());  // saving remembers nothing

    timeout->setValue(12);
    fixture.Form().SetStatusText("");
    fixture.Dialogs().answers = {path};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(timeout->value(), 77);
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
    QCOMPARE(fixture.Store().ReadCfgPath(), path);
    QVERIFY(fixture.Dialogs().messages.isEmpty());

    // The next reader found presets both dialogs to the remembered path.
    fixture.AddKeyboard();
    fixture.Dialogs().presetNames.clear();
    fixture.Action("miSaveConfig")->trigger();
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().presetNames, QStringList({path, path}));
}

void ConfigFilesTest::saveAsProfileWritesTheCompleteProfileThatLoadsBack() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString cfgPath = fixture.TempPath("saved.cfg");
    const QString profilePath = fixture.TempPath("saved.json");
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");

    fixture.Dialogs().answers = {cfgPath};
    fixture.Action("miSaveConfig")->trigger();
    QCOMPARE(fixture.Status(), "Settings saved to " + cfgPath);

    timeout->setValue(77);
    fixture.Dialogs().answers = {profilePath};
    fixture.Action("miSaveConfig")->trigger();
    QCOMPARE(fixture.Status(), "modified; saved to " + profilePath);
    QVERIFY(fixture.Dialogs().messages.isEmpty());
    // The same document as the command line's save of that record.
    zm880::ReportBuffer record{};
    const QByteArray bytes = ReadAll(cfgPath);
    QCOMPARE(bytes.size(), 64);
    std::copy(bytes.begin(), bytes.end(), record.begin());
    record[7] = 77;
    QCOMPARE(ReadAll(profilePath).toStdString(),
             zm880::ProfileText(zm880::RecordToProfile(record)));

    timeout->setValue(12);
    fixture.Dialogs().answers = {profilePath};
    fixture.Action("miLoadConfig")->trigger();
    QVERIFY2(fixture.Dialogs().messages.isEmpty(),
             qPrintable(fixture.Dialogs().messages.join('\n')));
    QCOMPARE(timeout->value(), 77);
    QCOMPARE(fixture.Store().ReadCfgPath(), profilePath);
}

void ConfigFilesTest::loadOfMissingFileOnlyShowsMessage() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString path = fixture.TempPath("nothing.cfg");
    fixture.Dialogs().answers = {path};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().messages, QStringList{"file not found: " + path});
    QCOMPARE(fixture.Store().ReadCfgPath(), QString());
    QVERIFY2(!QFile::exists(fixture.StoreFile()), "a read of the store creates nothing");
}

void ConfigFilesTest::cancelledDialogsChangeNothing() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    fixture.Dialogs().answers = {std::nullopt, std::nullopt};
    fixture.Action("miLoadConfig")->trigger();
    fixture.Action("miSaveConfig")->trigger();
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString());
    QVERIFY(fixture.Dialogs().messages.isEmpty());
}

void ConfigFilesTest::saveThatCannotCreateShowsMessage() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const QString path = fixture.TempPath("missing-dir/x.cfg");
    fixture.Dialogs().answers = {path};
    fixture.Action("miSaveConfig")->trigger();
    QCOMPARE(fixture.Dialogs().messages, QStringList{"unable to create file: " + path});
}

void ConfigFilesTest::loadedTypeChoosesPageAndLongPathIsShortened() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start({"--simulate"});  // an option of our own is no start-up file
    QVERIFY(!fixture.Form().SuppressModified());

    QDir(fixture.TempPath("")).mkpath("a-rather-long-directory-name/for-the-status-text");
    const QString path =
        fixture.TempPath("a-rather-long-directory-name/for-the-status-text/legic.cfg");
    QVERIFY(path.size() > 60);
    QByteArray bytes(10, '\0');  // a short file replaces only its leading bytes
    bytes[0] = 3;
    bytes[2] = 9;
    bytes[8] = 3;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    // Loaded directly, so the status text is not replaced by "modified". The file is for
    // another reader type: the user agrees.
    fixture.Dialogs().yesNoAnswers = {true};
    QVERIFY(fixture.Form().ConfigFiles().LoadConfigFile(path));
    QCOMPARE(fixture.Find<QStackedWidget>("pcType")->currentWidget()->objectName(),
             QString("tsLegic"));
    QCOMPARE(fixture.Find<QLineEdit>("edVersion")->text(), QString("009"));
    QCOMPARE(fixture.Form().Session().Buffer()[1], std::uint8_t{1});
    QCOMPARE(fixture.Status(),
             "Config-File settings (" + path.left(23) + " ... " + path.right(31) + ")");
    QCOMPARE(fixture.Form().ConfigFiles().SaveDialogFileName(), path);
}

void ConfigFilesTest::resetDefaultWithoutRecordChangesNothing() {
    // The defaults fill bytes 3 to 25 only; version and reader type would be made up.
    WindowFixture fixture;
    fixture.Start();
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");
    fixture.Action("ResetDefault1")->trigger();
    QCOMPARE(timeout->value(), 10);
    QCOMPARE(fixture.Find<QLineEdit>("edType")->text(), QString("-"));
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("No settings are loaded"));
}

void ConfigFilesTest::resetDefaultShowsDefaultRecord() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).Settings()[7] = 60;
    fixture.Reader(slot).Settings()[16] = 0;
    fixture.Start();
    fixture.Action("ResetDefault1")->trigger();
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 5);
    QVERIFY(fixture.Box("cbEM4102")->isChecked());
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
}

void ConfigFilesTest::unusableFileIsSaidAndNotRemembered_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray("") << "file is empty: ";
    QTest::newRow("first byte not 3")
        << QByteArray(64, '\x01') << "not a settings file (its first byte is not 3): ";
}

void ConfigFilesTest::unusableFileIsSaidAndNotRemembered() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Reader(slot).Settings()[7] = 42;
    fixture.Start();
    const QString path = fixture.TempPath("bad.cfg");
    WriteFile(path, content);
    const auto bufferBefore = fixture.Form().Session().Buffer();

    fixture.Dialogs().answers = {path};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().messages, QStringList{message + path});
    QCOMPARE(fixture.Store().ReadCfgPath(), QString());
    QVERIFY(fixture.Form().Session().Buffer() == bufferBefore);
    QCOMPARE(fixture.Find<QSpinBox>("edDoubleTimeout")->value(), 42);
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString());
}

void ConfigFilesTest::fileOfAnotherReaderTypeIsTakenOnlyWhenTheUserAgrees() {
    WindowFixture fixture;
    fixture.AddReader(1);
    fixture.Start();
    const QString legic = fixture.TempPath("legic.cfg");
    WriteFile(legic, Record(3, 33));
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");
    const int readerTimeout = timeout->value();

    // No, the default answer: nothing changes.
    fixture.Dialogs().answers = {legic};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().questions.size(), 1);
    QVERIFY2(fixture.Dialogs().questions[0].contains("type 3 (Legic)") &&
                 fixture.Dialogs().questions[0].contains("type 1 (125/134kHz)"),
             qPrintable(fixture.Dialogs().questions[0]));
    QCOMPARE(timeout->value(), readerTimeout);
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Store().ReadCfgPath(), QString());

    fixture.Dialogs().answers = {legic};
    fixture.Dialogs().yesNoAnswers = {true};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(timeout->value(), 33);
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Store().ReadCfgPath(), legic);

    // A file of the reader's own type is taken without a question.
    const QString same = fixture.TempPath("same.cfg");
    WriteFile(same, Record(1, 44));
    fixture.Dialogs().answers = {same};
    fixture.Action("miLoadConfig")->trigger();
    QCOMPARE(fixture.Dialogs().questions.size(), 2);
    QCOMPARE(timeout->value(), 44);
}

QTEST_MAIN(ConfigFilesTest)
#include "config_files_test.moc"
