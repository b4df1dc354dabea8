#pragma once

#include "app/FontWarmUp.h"
#include "app/Translations.h"

namespace zm880::app {

// What the program sets up on the application object before its window: the font set-up on a
// second thread, started first so that the rest overlaps with it; the style, names and window
// icon; the translations for the system's language. The start-up probe makes one too, so that it
// times what the program does. The executable carries the icon as the resource /icons. Make it
// right after the application object.
class TProgramSetup {
  public:
    TProgramSetup();

  private:
    TFontWarmUp fontWarmUp_;
    TTranslations translations_;
};

}  // namespace zm880::app
