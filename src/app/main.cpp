#include <QApplication>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "app/BuildInfo.h"
#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/ProgramSetup.h"
#include "cfgfile/SafeFile.h"
#include "hid/Platform.h"
#include "hid/sim/SimulatedBus.h"

namespace {

std::shared_ptr<zm880::hid::Platform> OpenPlatform(const zm880::app::CommandLine& line) {
    if (line.simulate)
        return zm880::hid::MakeSimulatedPlatform(line.simulateState.toStdString());
    return zm880::hid::MakeSystemPlatform();
}

QStringList ArgumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    using zm880::app::build::kProgramVersion;
    zm880::cfgfile::ReportFileSizeLimitAsWriteError();
    // --help and --version are answered before the window system is asked for, so they work
    // without a display.
    const zm880::app::CommandLine early = zm880::app::ParseCommandLine(ArgumentsOf(argc, argv));
    if (early.help) {
        std::fputs(zm880::app::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("zm880-utility %s\n", kProgramVersion);
        return 0;
    }

    QApplication application(argc, argv);
    const zm880::app::TProgramSetup programSetup;

    // The application object has taken out the toolkit's options (-platform X, -style X, ...);
    // only what is left may name the start-up file.
    zm880::app::CommandLine line =
        zm880::app::ParseCommandLine(QCoreApplication::arguments().mid(1));
    if (!line.unknownOption.isEmpty()) {
        std::fprintf(stderr, "zm880-utility: unknown option %s (see --help)\n",
                     line.unknownOption.toLocal8Bit().constData());
        return 2;
    }

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
