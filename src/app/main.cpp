#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "app/CommandLine.h"
#include "app/FileVersionInfo.h"
#include "app/MainForm.h"
#include "app/ProgramVersion.h"
#include "hid/Platform.h"
#include "hid/sim/SimulatedBus.h"

namespace {

std::shared_ptr<zm880::hid::Platform> OpenPlatform(const zm880::app::CommandLine& line) {
    if (line.simulate)
        return zm880::hid::MakeSimulatedPlatform(line.simulateState.toStdString());
    return zm880::hid::MakeSystemPlatform();
}

}  // namespace

int main(int argc, char* argv[]) {
    // --help and --version are answered before the window system is asked for, so they work
    // without a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    zm880::app::CommandLine line = zm880::app::ParseCommandLine(arguments);
    if (line.help) {
        std::fputs(zm880::app::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("zm880-utility %s\n", zm880::app::kProgramVersion);
        return 0;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("ZM-880-Utility");
    QApplication::setApplicationVersion(zm880::app::kProgramVersion);
    QApplication::setDesktopFileName("org.zm880.Utility");
    QApplication::setWindowIcon(
        QIcon::fromTheme("org.zm880.Utility", QIcon(":/icons/org.zm880.Utility.svg")));
    zm880::app::RegisterProgramFile(QCoreApplication::applicationFilePath().toStdString());

    zm880::app::TMainFormSetup setup;
    try {
        setup.platform = OpenPlatform(line);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "zm880-utility: %s\n", error.what());
        return 2;
    }
    setup.commandLine = std::move(line);
    zm880::app::TMainForm form(std::move(setup));
    form.show();
    return QApplication::exec();
}
