#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#include "app/UserDialogs.h"

using zm880::app::QtUserDialogs;

Q_DECLARE_METATYPE(zm880::app::UnappliedChoice)

namespace {

using OpenDialog = std::function<std::optional<QString>(QtUserDialogs&, const QString&)>;

// Opens a dialog, notes the directory it shows and cancels it.
QString DirectoryShownBy(const OpenDialog& open, const QString& preset) {
    QWidget parent;
    QtUserDialogs dialogs(&parent);
    QString shown;
    QTimer::singleShot(0, [&shown] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        shown = QFileInfo(dialog->directory().absolutePath()).canonicalFilePath();
        dialog->reject();
    });
    const std::optional<QString> chosen = open(dialogs, preset);
    return chosen ? QString("accepted: %1").arg(*chosen) : shown;
}

}  // namespace

class UserDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void openDialogsStartInTheWorkingDirectoryUnlessPreset_data();
    void openDialogsStartInTheWorkingDirectoryUnlessPreset();
    void questionAnswersNoUnlessYesIsChosen_data();
    void questionAnswersNoUnlessYesIsChosen();
    void unappliedQuestionCancelsUnlessAButtonIsChosen_data();
    void unappliedQuestionCancelsUnlessAButtonIsChosen();
    void updateFileFilterOffersOnlyLowerCaseHexNames();
    void saveDialogGivesABareNameTheSuffixOfTheChosenFilter_data();
    void saveDialogGivesABareNameTheSuffixOfTheChosenFilter();
};

void UserDialogsTest::openDialogsStartInTheWorkingDirectoryUnlessPreset_data() {
    QTest::addColumn<bool>("updateFile");
    QTest::addColumn<QString>("presetName");
    QTest::addColumn<bool>("startsInPresetDirectory");

    QTest::newRow("update file, nothing preset") << true << QString() << false;
    QTest::newRow("config file, nothing preset") << false << QString() << false;
    QTest::newRow("config file, bare name preset") << false << QString("reader.cfg") << false;
    QTest::newRow("config file, remembered path")
        << false << QString("elsewhere/reader.cfg") << true;
}

void UserDialogsTest::openDialogsStartInTheWorkingDirectoryUnlessPreset() {
    QFETCH(bool, updateFile);
    QFETCH(QString, presetName);
    QFETCH(bool, startsInPresetDirectory);

    QTemporaryDir working;
    QTemporaryDir other;
    QVERIFY(QDir(other.path()).mkpath("elsewhere"));
    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(working.path()));

    const OpenDialog open = [updateFile](QtUserDialogs& dialogs, const QString& fileName) {
        return updateFile ? dialogs.OpenUpdateFile(fileName) : dialogs.OpenConfigFile(fileName);
    };
    // A dialog that was shown elsewhere before must not pull the next one there.
    const QString otherDirectory = QFileInfo(other.filePath("elsewhere")).canonicalFilePath();
    QCOMPARE(DirectoryShownBy(open, other.filePath("elsewhere/old.cfg")), otherDirectory);

    const QString preset =
        presetName.startsWith("elsewhere") ? other.filePath(presetName) : presetName;
    const QString shown = DirectoryShownBy(open, preset);
    QVERIFY(QDir::setCurrent(saved));
    QCOMPARE(shown, startsInPresetDirectory ? otherDirectory
                                            : QFileInfo(working.path()).canonicalFilePath());
}

void UserDialogsTest::questionAnswersNoUnlessYesIsChosen_data() {
    QTest::addColumn<int>("key");  // pressed in the box; 0: click "Yes"
    QTest::addColumn<bool>("answer");
    QTest::newRow("Enter takes the default") << int(Qt::Key_Return) << false;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    QTest::newRow("Yes clicked") << 0 << true;
}

void UserDialogsTest::questionAnswersNoUnlessYesIsChosen() {
    QFETCH(int, key);
    QWidget parent;
    QtUserDialogs dialogs(&parent);
    QString text;
    QTimer::singleShot(0, [&text, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        text = box->text();
        if (key == 0)
            box->button(QMessageBox::Yes)->click();
        else
            QTest::keyClick(box, static_cast<Qt::Key>(key));
    });
    QTEST(dialogs.AskYesNo("Load it anyway?"), "answer");
    QCOMPARE(text, QString("Load it anyway?"));
}

void UserDialogsTest::unappliedQuestionCancelsUnlessAButtonIsChosen_data() {
    using zm880::app::UnappliedChoice;
    QTest::addColumn<int>("key");         // pressed in the box; 0: click the button
    QTest::addColumn<QString>("button");  // clicked when no key is pressed
    QTest::addColumn<UnappliedChoice>("answer");
    QTest::newRow("Enter takes the default")
        << int(Qt::Key_Return) << QString() << UnappliedChoice::Cancel;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << QString() << UnappliedChoice::Cancel;
    QTest::newRow("Apply clicked") << 0 << QString("Apply") << UnappliedChoice::Apply;
    QTest::newRow("Discard clicked") << 0 << QString("Discard") << UnappliedChoice::Discard;
}

void UserDialogsTest::unappliedQuestionCancelsUnlessAButtonIsChosen() {
    QFETCH(int, key);
    QFETCH(QString, button);
    QWidget parent;
    QtUserDialogs dialogs(&parent);
    QStringList captions;
    QTimer::singleShot(0, [&captions, key, button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        for (QAbstractButton* each : box->buttons())
            captions << each->text();
        if (key != 0) {
            QTest::keyClick(box, static_cast<Qt::Key>(key));
            return;
        }
        for (QAbstractButton* each : box->buttons())
            if (each->text() == button)
                each->click();
    });
    QTEST(dialogs.AskApplyDiscardCancel("Apply them before closing?"), "answer");
    captions.sort();
    QCOMPARE(captions, (QStringList{"Apply", "Cancel", "Discard"}));
}

void UserDialogsTest::updateFileFilterOffersOnlyLowerCaseHexNames() {
    QTemporaryDir folder;
    for (const char* name : {"good.hex", "GOOD.HEX", "notes.txt"}) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QWidget parent;
    QtUserDialogs dialogs(&parent);
    QStringList offered;
    QTimer poll;
    // The dialog lists the folder in the background: look once good.hex has come.
    connect(&poll, &QTimer::timeout, [&offered, &poll] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* list = dialog != nullptr ? dialog->findChild<QListView*>("listView") : nullptr;
        if (list == nullptr)
            return;
        QStringList names;
        const QModelIndex root = list->rootIndex();
        for (int row = 0; row < list->model()->rowCount(root); ++row) {
            const QModelIndex index = list->model()->index(row, 0, root);
            if (list->model()->flags(index).testFlag(Qt::ItemIsEnabled))
                names << index.data().toString();
        }
        if (!names.contains("good.hex"))
            return;
        offered = names;
        poll.stop();
        dialog->reject();
    });
    poll.start(20);
    QVERIFY(!dialogs.OpenUpdateFile(folder.filePath("good.hex")));
    QCOMPARE(offered, QStringList{"good.hex"});
}

void UserDialogsTest::saveDialogGivesABareNameTheSuffixOfTheChosenFilter_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("saved");
    QTest::newRow("config file") << 0 << "reader.cfg";
    QTest::newRow("profile") << 1 << "reader.json";
}

void UserDialogsTest::saveDialogGivesABareNameTheSuffixOfTheChosenFilter() {
    QFETCH(int, filter);
    QTemporaryDir folder;
    QWidget parent;
    QtUserDialogs dialogs(&parent);
    QTimer::singleShot(0, [filter] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        // As the user picks a filter from the list and types a name without a suffix.
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        types->setCurrentIndex(filter);
        emit types->activated(filter);
        emit types->textActivated(types->currentText());
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText("reader");
        QMetaObject::invokeMethod(dialog, "accept");
    });
    const std::optional<QString> chosen = dialogs.SaveConfigFile(folder.filePath("old.cfg"));
    QVERIFY(chosen);
    QTEST(QFileInfo(*chosen).fileName(), "saved");
}

int main(int argc, char** argv) {
    // The toolkit's own dialogs: the system's dialog on Windows cannot be driven from here.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    UserDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "user_dialogs_test.moc"
