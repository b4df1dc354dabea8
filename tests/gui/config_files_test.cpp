#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>

#include "cfgfile/gui/ConfigFileCommands.h"
#include "support/WindowFixture.h"

using zm880::testing::WindowFixture;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class ConfigFilesTest : public QObject {
    Q_OBJECT

  private slots:
    void saveThenLoadRestoresSettingsAndRemembersPath();
    void loadOfMissingFileOnlyShowsMessage();
    void cancelledDialogsChangeNothing();
    void saveThatCannotCreateShowsMessage();
    void loadedTypeChoosesPageAndLongPathIsShortened();
    void resetDefaultBeforeAnyRecordOnlyEnablesApply();
    void resetDefaultShowsDefaultRecord();
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

    // Loaded directly, so the status text is not replaced by "modified".
    fixture.Form().ConfigFiles().LoadConfigFile(path);
    QCOMPARE(fixture.Find<QStackedWidget>("pcType")->currentWidget()->objectName(),
             QString("tsLegic"));
    QCOMPARE(fixture.Find<QLineEdit>("edVersion")->text(), QString("009"));
    QCOMPARE(fixture.Form().Session().Buffer()[1], std::uint8_t{1});
    QCOMPARE(fixture.Status(),
             "Config-File settings (" + path.left(23) + " ... " + path.right(31) + ")");
    QCOMPARE(fixture.Form().ConfigFiles().SaveDialogFileName(), path);
}

void ConfigFilesTest::resetDefaultBeforeAnyRecordOnlyEnablesApply() {
    WindowFixture fixture;
    fixture.Start();
    auto* timeout = fixture.Find<QSpinBox>("edDoubleTimeout");
    fixture.Action("ResetDefault1")->trigger();
    QCOMPARE(timeout->value(), 10);
    QCOMPARE(fixture.Find<QLineEdit>("edType")->text(), QString("-"));
    QVERIFY(fixture.ApplyEnabled());
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

QTEST_MAIN(ConfigFilesTest)
#include "config_files_test.moc"
