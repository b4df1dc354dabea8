#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>

#include "app/InfoBox.h"
#include "support/WindowFixture.h"

using zm880::app::TInfoBox;
using zm880::testing::WindowFixture;

namespace {

QString Text(const QWidget& box, const char* label) {
    return box.findChild<QLabel*>(label)->text();
}

// Runs in a temporary working directory, which may hold a "Release.txt".
class WorkingDirectory {
  public:
    WorkingDirectory() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~WorkingDirectory() { QDir::setCurrent(previous_); }
    void WriteReleaseNotes(const QByteArray& text) {
        QFile file(dir_.filePath("Release.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

  private:
    QTemporaryDir dir_;
    QString previous_;
};

}  // namespace

class InfoBoxTest : public QObject {
    Q_OBJECT

  private slots:
    void showsProgramVersionInformationWithoutReader();
    void infoMenuShowsSelectedReaderIdentity();
    void versionLabelKeepsFourCharactersWithoutTheFourth_data();
    void versionLabelKeepsFourCharactersWithoutTheFourth();
    void rightClickOnVersionShowsReleaseNotes_data();
    void rightClickOnVersionShowsReleaseNotes();
    void readerStringsOfAnyLengthCoverNoOtherLabel_data();
    void readerStringsOfAnyLengthCoverNoOtherLabel();
};

void InfoBoxTest::showsProgramVersionInformationWithoutReader() {
    TInfoBox box;
    box.show();
    QCOMPARE(box.windowTitle(), QString("Info"));
    QCOMPARE(box.size(), QSize(385, 369));
    QVERIFY(box.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(Text(box, "lbProductName"), QString("ZM880 - Utility"));
    QCOMPARE(Text(box, "lbVersion"), QString("1.26"));
    QVERIFY(Text(box, "lbCopyright").contains("Tavrenix"));
    QVERIFY(Text(box, "lbTrademark").contains("Tavrenix"));
    QCOMPARE(Text(box, "lbComments"), QString());
    for (const char* label : {"VendorName", "ProductName", "Vid", "Pid", "Vers"})
        QCOMPARE(Text(box, label), QString("-"));
    auto* ok = box.findChild<QPushButton*>("OKButton");
    QVERIFY(ok->isDefault());
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(box.result(), int(QDialog::Accepted));
    QVERIFY(!box.isVisible());
}

void InfoBoxTest::infoMenuShowsSelectedReaderIdentity() {
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader(0, "ZM-880 RFID Reader");
    fixture.Reader(slot).Identity().manufacturer = "Tavrenix";
    fixture.Reader(slot).Identity().versionNumber = 0x0102;
    fixture.Start();

    QStringList shown;
    QTimer::singleShot(0, [&shown] {
        auto* box = qobject_cast<TInfoBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        for (const char* label : {"VendorName", "ProductName", "Vid", "Pid", "Vers"})
            shown << Text(*box, label);
        box->findChild<QPushButton*>("OKButton")->click();
    });
    fixture.Action("miInfo")->trigger();
    QCOMPARE(shown, (QStringList{"Tavrenix", "ZM-880 RFID Reader", "169B", "0710", "0102"}));
}

void InfoBoxTest::versionLabelKeepsFourCharactersWithoutTheFourth_data() {
    QTest::addColumn<QString>("fileVersion");
    QTest::addColumn<QString>("label");
    QTest::newRow("own version") << "1.2.6.0"
                                 << "1.26";
    QTest::newRow("parts of two digits are cut by position") << "10.20.3.4"
                                                             << "10.0";
    QTest::newRow("shorter than four kept whole") << "1.2"
                                                  << "1.2";
    QTest::newRow("empty") << ""
                           << "";
}

void InfoBoxTest::versionLabelKeepsFourCharactersWithoutTheFourth() {
    QFETCH(QString, fileVersion);
    QTEST(zm880::app::VersionLabelText(fileVersion), "label");
}

void InfoBoxTest::rightClickOnVersionShowsReleaseNotes_data() {
    QTest::addColumn<QByteArray>("notes");
    QTest::addColumn<bool>("notesPresent");
    QTest::newRow("no Release.txt") << QByteArray() << false;
    QTest::newRow("two lines") << QByteArray("1.26: flasher\r\n1.25: first release\r\n") << true;
}

void InfoBoxTest::rightClickOnVersionShowsReleaseNotes() {
    QFETCH(QByteArray, notes);
    QFETCH(bool, notesPresent);
    WorkingDirectory directory;
    if (notesPresent)
        directory.WriteReleaseNotes(notes);

    TInfoBox box;
    box.show();
    auto* memo = box.findChild<QPlainTextEdit*>("VersionsInfo");
    auto* version = box.findChild<QLabel*>("lbVersion");
    QVERIFY(memo->isHidden());
    QTest::mouseClick(version, Qt::LeftButton);
    QVERIFY(memo->isHidden());
    QTest::mouseClick(version, Qt::RightButton);
    QVERIFY(memo->isVisible());
    QVERIFY(memo->isReadOnly());
    QCOMPARE(memo->geometry(), box.findChild<QWidget*>("Panel1")->contentsRect());
    QCOMPARE(memo->toPlainText(),
             notesPresent ? QString("1.26: flasher\n1.25: first release\n") : QString());
}

void InfoBoxTest::readerStringsOfAnyLengthCoverNoOtherLabel_data() {
    QTest::addColumn<QString>("vendor");
    QTest::addColumn<QString>("product");
    QTest::newRow("short") << "Tavrenix"
                           << "ZM-880 RFID Reader";
    QTest::newRow("27 characters") << "Tavrenix"
                                   << "ZM-880 RFID Reader with USB";
    QTest::newRow("long vendor") << "Tavrenix Identification Systems Manufacturing"
                                 << "ZM-880";
    QTest::newRow("longer than the box")
        << "Tavrenix" << QString("ZM-880 multi-technology reader ").repeated(4);
}

void InfoBoxTest::readerStringsOfAnyLengthCoverNoOtherLabel() {
    QFETCH(QString, vendor);
    QFETCH(QString, product);
    WindowFixture fixture;
    const std::size_t slot = fixture.AddReader(0, product.toStdString());
    fixture.Reader(slot).Identity().manufacturer = vendor.toStdString();
    fixture.Start();

    struct Shown {
        QRect geometry;
        QRect drawn;  // the text's extent: it may run past the widget's rectangle
        QString text;
        QString toolTip;
    };
    const char* names[] = {"Label10", "VendorName", "Label9", "ProductName", "Label1",
                           "Vid",     "Label3",     "Pid",    "Label4",      "Vers"};
    std::map<QString, Shown> shown;
    QRect panel;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<TInfoBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        panel = box->findChild<QWidget*>("Panel1")->contentsRect();
        for (const char* name : names) {
            auto* label = box->findChild<QLabel*>(name);
            const int textWidth = label->fontMetrics().horizontalAdvance(label->text());
            shown[name] = {label->geometry(),
                           QRect(label->pos(), QSize(textWidth, label->height())), label->text(),
                           label->toolTip()};
        }
        box->findChild<QPushButton*>("OKButton")->click();
    });
    fixture.Action("miInfo")->trigger();

    QCOMPARE(shown.size(), std::size(names));
    for (const auto& [name, label] : shown) {
        QVERIFY2(panel.contains(label.drawn), qPrintable(name));
        QVERIFY2(label.geometry.contains(label.drawn), qPrintable(name));
        for (const auto& [otherName, other] : shown)
            QVERIFY2(name == otherName || !label.geometry.intersects(other.geometry),
                     qPrintable(name + " and " + otherName));
    }
    for (const auto& [name, full] : {std::pair{"VendorName", vendor}, {"ProductName", product}}) {
        const Shown& label = shown[name];
        if (label.text != full) {
            QVERIFY2(label.text.endsWith(QChar(0x2026)), name);
            QCOMPARE(label.toolTip, full);
        }
    }
    QCOMPARE(shown["Vid"].text, QString("169B"));
}

QTEST_MAIN(InfoBoxTest)
#include "info_box_test.moc"
