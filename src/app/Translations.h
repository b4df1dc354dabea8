#pragma once

#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

namespace zm880::app {

// The window's texts in the language of `locale`, and the toolkit's own for its standard
// buttons, installed into the running application while the object lives. English is the source
// language: for it, and for a language without a translation, nothing is installed.
class TTranslations {
  public:
    explicit TTranslations(const QLocale& locale);
    TTranslations(const TTranslations&) = delete;
    TTranslations& operator=(const TTranslations&) = delete;
    ~TTranslations();

    // Whether the program's own texts are translated (the toolkit's may be missing).
    bool ProgramTranslated() const { return programTranslated_; }

  private:
    bool Install(std::unique_ptr<QTranslator> translator);

    std::vector<std::unique_ptr<QTranslator>> installed_;
    bool programTranslated_ = false;
};

}  // namespace zm880::app
