#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

// The resource lives in a static library: nothing would pull it in without this reference.
static void InitTranslationResources() {
    Q_INIT_RESOURCE(zm880_translations);
}

namespace zm880::app {

TTranslations::TTranslations(const QLocale& locale) {
    InitTranslationResources();
    // The user's languages in order of preference; English, the source, ends the search.
    for (const QString& language : locale.uiLanguages()) {
        if (QLocale(language).language() == QLocale::English)
            return;
        const QString suffix = QString(language).replace('-', '_');
        // The program's translations are built into it, so the build tree and an installed
        // copy find the same ones.
        auto program = std::make_unique<QTranslator>();
        if (!program->load("zm880_" + suffix, ":/translations"))
            continue;
        programTranslated_ = Install(std::move(program));
        // The toolkit's own comes with the system's Qt when its language pack is installed, and
        // in the program's folder where the program brings its own Qt (Windows).
        for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                      QCoreApplication::applicationDirPath() + "/translations"}) {
            auto toolkit = std::make_unique<QTranslator>();
            if (toolkit->load("qtbase_" + suffix, folder)) {
                Install(std::move(toolkit));
                break;
            }
        }
        return;
    }
}

TTranslations::~TTranslations() {
    for (const auto& translator : installed_)
        QCoreApplication::removeTranslator(translator.get());
}

bool TTranslations::Install(std::unique_ptr<QTranslator> translator) {
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    installed_.push_back(std::move(translator));
    return true;
}

}  // namespace zm880::app
