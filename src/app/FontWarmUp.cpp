#include "app/FontWarmUp.h"

#include <QFontDatabase>
#include <QStringList>

namespace zm880::app {

TFontWarmUp::TFontWarmUp() : thread_([] { QFontDatabase::families(); }) {}

TFontWarmUp::~TFontWarmUp() {
    thread_.join();
}

}  // namespace zm880::app
