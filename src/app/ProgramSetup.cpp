#include "app/ProgramSetup.h"

#include <QApplication>
#include <QIcon>

#include "app/BuildInfo.h"
#include "app/FileVersionInfo.h"
#include "app/WindowStyle.h"

namespace zm880::app {

TProgramSetup::TProgramSetup() : translations_(QLocale::system()) {
    QApplication::setStyle(new TWindowStyle);
    QApplication::setApplicationName("ZM-880-Utility");
    QApplication::setApplicationVersion(build::kProgramVersion);
    QApplication::setDesktopFileName("org.zm880.Utility");
    QApplication::setWindowIcon(
        QIcon::fromTheme("org.zm880.Utility", QIcon(build::kIconResource)));
    RegisterProgramFile(QCoreApplication::applicationFilePath().toStdString());
}

}  // namespace zm880::app
