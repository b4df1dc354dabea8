#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/FileVersionInfo.h"

using zm880::app::FixedFileInfo;
using zm880::app::TFileVersionInfo;

class FileVersionInfoTest : public QObject {
    Q_OBJECT

  private slots:
    void ownExecutableHasTheProgramsVersionInformation();
    void otherFilesHaveNone();
    void fileTypeTextFollowsTypeAndSubtype_data();
    void fileTypeTextFollowsTypeAndSubtype();
    void flagsNeedBothFlagAndMask();
};

void FileVersionInfoTest::ownExecutableHasTheProgramsVersionInformation() {
    QStringList paths = {QCoreApplication::applicationFilePath()};
#ifndef Q_OS_WIN
    // The path the program registered, a link to it and the process image name one file. (A
    // link on Windows is a shell shortcut, a file of its own.)
    QTemporaryDir dir;
    const QString link = dir.filePath("utility-link");
    QVERIFY(QFile::link(QCoreApplication::applicationFilePath(), link));
    paths << link;
#endif
    for (const QString& path : paths) {
        TFileVersionInfo info;
        zm880::app::ReadFileVersionInfo(path.toStdString(), info);
        QCOMPARE(info.ProductName, std::string("ZM880 - Utility"));
        QCOMPARE(info.FileDescription, std::string("ZM880 - Utility"));
        QCOMPARE(info.FileVersion, std::string("1.2.6.0"));
        QCOMPARE(info.ProductVersion, std::string("1.2.0.0"));
        QCOMPARE(info.InternalName, std::string("15016"));
        QCOMPARE(info.OriginalFileName, std::string());
        QCOMPARE(info.Comments, std::string());
        QVERIFY(!info.CompanyName.empty());
        QVERIFY(!info.LegalCopyRight.empty());
        QVERIFY(!info.LegalTradeMarks.empty());
        QCOMPARE(info.TypeName, std::string("Application"));
        QCOMPARE(info.FileTypeText, std::string("Application"));
        QVERIFY(!info.IsDebug && !info.IsPreRelease && !info.IsSpecialBuild);
        QVERIFY(!info.IsPrivateBuild && !info.IsPatched && !info.IsInfoInferred);
    }
}

void FileVersionInfoTest::otherFilesHaveNone() {
    QTemporaryDir dir;
    const QString text = dir.filePath("notes.txt");
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();

    for (const QString& path : {text, dir.filePath("missing.exe"), QString()}) {
        TFileVersionInfo info;
        info.ProductName = "left over";
        info.IsDebug = true;
        zm880::app::ReadFileVersionInfo(path.toStdString(), info);
        QCOMPARE(info.ProductName, std::string());
#ifndef Q_OS_WIN
        // Windows' shell names the type of any existing file.
        QCOMPARE(info.TypeName, std::string());
#endif
        QCOMPARE(info.FileTypeText, std::string());
        QVERIFY(!info.IsDebug);
    }
}

void FileVersionInfoTest::fileTypeTextFollowsTypeAndSubtype_data() {
    QTest::addColumn<uint>("type");
    QTest::addColumn<uint>("subtype");
    QTest::addColumn<QString>("text");
    QTest::newRow("unknown") << 0u << 7u << "Unknown";
    QTest::newRow("application, any subtype") << 1u << 99u << "Application";
    QTest::newRow("dll") << 2u << 0u << "DLL";
    QTest::newRow("first driver") << 3u << 0u << "Unknown Driver";
    QTest::newRow("installable driver") << 3u << 8u << "InstallableDriver";
    QTest::newRow("last driver") << 3u << 10u << "Communications Driver";
    QTest::newRow("driver subtype past the table") << 3u << 11u << "";
    QTest::newRow("truetype font") << 4u << 3u << "Truetype Font";
    QTest::newRow("font subtype past the table") << 4u << 4u << "";
    QTest::newRow("virtual device") << 5u << 0xABCDu << "Virtual Defice Identifier = 0000ABCD";
    QTest::newRow("no text for 6") << 6u << 0u << "";
    QTest::newRow("static library") << 7u << 1u << "Static-link Library";
    QTest::newRow("above 7") << 8u << 0u << "";
}

void FileVersionInfoTest::fileTypeTextFollowsTypeAndSubtype() {
    QFETCH(uint, type);
    QFETCH(uint, subtype);
    QTEST(QString::fromStdString(zm880::app::FileTypeText(type, subtype)), "text");
}

void FileVersionInfoTest::flagsNeedBothFlagAndMask() {
    TFileVersionInfo info;
    zm880::app::ApplyFixedFileInfo({.FileType = 1, .FileFlags = 0x3F, .FileFlagsMask = 0x25}, info);
    QVERIFY(info.IsDebug);
    QVERIFY(!info.IsPreRelease);
    QVERIFY(info.IsPatched);
    QVERIFY(!info.IsPrivateBuild);
    QVERIFY(!info.IsInfoInferred);
    QVERIFY(info.IsSpecialBuild);
    QCOMPARE(info.FileTypeText, std::string("Application"));
}

QTEST_MAIN(FileVersionInfoTest)
#include "file_version_info_test.moc"
