#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "app/Translations.h"
#include "support/WindowFixture.h"

using zm880::app::TTranslations;
using zm880::testing::WindowFixture;

// The window's texts in the user's language: German from the built-in translation, English (the
// source) when no translation is installed.
class TranslatedWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void onlyLanguagesWithATranslationAreInstalled_data();
    void onlyLanguagesWithATranslationAreInstalled();
    void germanLocaleShowsGermanTexts();
    void germanLocaleShowsTheToolkitsButtonsInGerman();
    void withoutTranslationTheEnglishTextsStay();
};

namespace {

struct ShownTexts {
    QString title;
    QStringList menus;
    QString applyCaption;
    QString interfaceCaption;
    QString firstSuffix;
    QString statusAfterEdit;
};

// Starts the window on one reader, edits a setting and collects what the user reads.
ShownTexts ShowWindowAndEdit() {
    WindowFixture fixture;
    fixture.AddReader();
    auto& form = fixture.Start();
    ShownTexts shown;
    shown.title = form.windowTitle();
    for (QAction* menu : form.menuBar()->actions())
        shown.menus << menu->text();
    for (QAction* item : fixture.Find<QMenu>("File1")->actions())
        shown.menus << item->text();
    shown.applyCaption = fixture.Find<QPushButton>("bnApply")->text();
    shown.interfaceCaption = fixture.Radio("rgInterface")->title();
    shown.firstSuffix = fixture.Find<QRadioButton>("rbSuffix_0")->text();
    fixture.Box("cbEM4102")->click();
    shown.statusAfterEdit = fixture.Status();
    return shown;
}

}  // namespace

void TranslatedWindowTest::onlyLanguagesWithATranslationAreInstalled_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("translated");
    QTest::newRow("German") << "de_DE" << true;
    QTest::newRow("German of another country") << "de_AT" << true;
    QTest::newRow("English, the source") << "en_US" << false;
    QTest::newRow("C") << "C" << false;
    QTest::newRow("a language without translation") << "fr_FR" << false;
}

void TranslatedWindowTest::onlyLanguagesWithATranslationAreInstalled() {
    QFETCH(QString, locale);
    QFETCH(bool, translated);
    const TTranslations translations{QLocale(locale)};
    QCOMPARE(translations.ProgramTranslated(), translated);
}

void TranslatedWindowTest::germanLocaleShowsGermanTexts() {
    ShownTexts shown;
    {
        const TTranslations german{QLocale(QLocale::German, QLocale::Germany)};
        shown = ShowWindowAndEdit();
    }
    // The program's name, by which windows are found, stays as it is.
    QCOMPARE(shown.title, QString("Tavrenix ZM880 - Utility"));
    QCOMPARE(shown.menus, (QStringList{"&Datei", "&Bearbeiten", "&Info", "&Firmware aktualisieren",
                                       "Konfiguration &laden", "Konfiguration &speichern",
                                       "Konfiguration &einlesen", "&Provisionierungsmodus...",
                                       "&Beenden"}));
    QCOMPARE(shown.applyCaption, QString("Anwenden"));
    QCOMPARE(shown.interfaceCaption, QString("Sch&nittstelle :"));
    QCOMPARE(shown.firstSuffix, QString("Keine"));
    QCOMPARE(shown.statusAfterEdit, QString("geändert"));
}

// The toolkit's own dialogs and standard buttons follow the program's language.
void TranslatedWindowTest::germanLocaleShowsTheToolkitsButtonsInGerman() {
    const QString catalogue = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_de.qm";
    if (!QFileInfo::exists(catalogue))
        QSKIP(qPrintable("the toolkit's German catalogue is not installed here (" + catalogue +
                         "; Debian package qt6-translations-l10n)"));
    QString cancel;
    {
        const TTranslations german{QLocale(QLocale::German, QLocale::Germany)};
        QDialogButtonBox buttons(QDialogButtonBox::Cancel);
        cancel = buttons.button(QDialogButtonBox::Cancel)->text();
    }
    QCOMPARE(cancel, QString("Abbrechen"));
    QDialogButtonBox english(QDialogButtonBox::Cancel);
    QCOMPARE(english.button(QDialogButtonBox::Cancel)->text(), QString("Cancel"));
}

void TranslatedWindowTest::withoutTranslationTheEnglishTextsStay() {
    {
        // Installed and removed again: nothing of it may stay behind.
        const TTranslations german{QLocale(QLocale::German, QLocale::Germany)};
    }
    const ShownTexts shown = ShowWindowAndEdit();
    QCOMPARE(shown.title, QString("Tavrenix ZM880 - Utility"));
    QCOMPARE(shown.menus, (QStringList{"&File", "&Edit", "&Info", "&Update Firmware",
                                       "&Load Config", "&Save Config", "&Read Config",
                                       "&Provisioning Mode...", "&Close"}));
    QCOMPARE(shown.applyCaption, QString("Apply"));
    QCOMPARE(shown.interfaceCaption, QString("I&nterface :"));
    QCOMPARE(shown.firstSuffix, QString("None"));
    QCOMPARE(shown.statusAfterEdit, QString("modified"));
}

QTEST_MAIN(TranslatedWindowTest)
#include "translated_window_test.moc"
