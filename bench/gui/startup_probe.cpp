// Starts one window offscreen, stops the clock at the moment it is usable and exits, printing
//   <mode> ms_since_main=<ms> ms_since_launch=<ms> peak_rss_kb=<kB>
// "window": the main window on the in-memory simulated bus with one reader, after the program's
//           own set-up; usable once the reader's settings have been read and decoded onto the
//           controls.
// "bare":   a plain QMainWindow; usable after the first turn of the event loop.
// "text":   a plain QMainWindow showing one line in the main window's font, timed as "bare": the
//           least a window with any text costs, since the toolkit sets up its fonts (the
//           system's font configuration) only for the first text it measures.
// ms_since_launch counts from ZM880_LAUNCH_NS (nanoseconds since the epoch, taken by the caller
// just before starting the process) and so includes loading the libraries; it is -1 without it.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/MainForm.h"
#include "app/ProgramSetup.h"
#include "hid/sim/SimulatedBus.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSinceLaunch() {
    const char* launch = std::getenv("ZM880_LAUNCH_NS");
    if (launch == nullptr)
        return -1;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return static_cast<double>(now - std::strtoll(launch, nullptr, 10)) / 1e6;
}

long PeakRssKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void Report(const char* mode, Clock::time_point mainEntered) {
    const double sinceMain =
        std::chrono::duration<double, std::milli>(Clock::now() - mainEntered).count();
    const double sinceLaunch = MillisecondsSinceLaunch();
    std::printf("%s ms_since_main=%.2f ms_since_launch=%.2f peak_rss_kb=%ld\n", mode, sinceMain,
                sinceLaunch, PeakRssKilobytes());
    std::fflush(stdout);
}

int RunWindow(QApplication& application, Clock::time_point mainEntered) {
    const zm880::app::TProgramSetup programSetup;
    zm880::app::TMainFormSetup setup;
    setup.platform = zm880::hid::MakeSimulatedPlatform("");
    zm880::app::TMainForm form(std::move(setup));
    int status = 1;
    QObject::connect(&form, &zm880::app::TMainForm::deviceChangeHandled, &form, [&] {
        // Without a reader nothing was decoded, and the figure would flatter the window.
        if (form.Session().HasReader() && form.StatusText().isEmpty()) {
            Report("window", mainEntered);
            status = 0;
        } else {
            std::fprintf(stderr, "startup_probe: the simulated reader was not read\n");
        }
        application.exit(status);
    });
    form.show();
    QApplication::exec();
    return status;
}

int RunPlain(const char* mode, QMainWindow& window, Clock::time_point mainEntered) {
    window.show();
    QTimer::singleShot(0, &window, [&] {
        Report(mode, mainEntered);
        QApplication::exit(0);
    });
    return QApplication::exec();
}

int RunText(Clock::time_point mainEntered) {
    QMainWindow window;
    // The main window's font.
    QFont font("MS Sans Serif");
    font.setPixelSize(13);
    window.setFont(font);
    // Sized to its text, as the window's controls are; no layout, which the offscreen platform
    // would answer with a warning.
    auto* label = new QLabel("Interface :", &window);
    label->adjustSize();
    return RunPlain("text", window, mainEntered);
}

}  // namespace

int main(int argc, char* argv[]) {
    const Clock::time_point mainEntered = Clock::now();
    const char* mode = argc > 1 ? argv[1] : "window";
    QApplication application(argc, argv);
    QApplication::setApplicationName("ZM-880-Utility");
    if (std::strcmp(mode, "window") == 0)
        return RunWindow(application, mainEntered);
    if (std::strcmp(mode, "bare") == 0) {
        QMainWindow window;
        return RunPlain("bare", window, mainEntered);
    }
    if (std::strcmp(mode, "text") == 0)
        return RunText(mainEntered);
    std::fprintf(stderr, "usage: startup_probe [window|bare|text]\n");
    return 2;
}
