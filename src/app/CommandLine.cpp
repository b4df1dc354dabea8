#include "app/CommandLine.h"

namespace zm880::app {
namespace {

bool IsBlankOrControl(QChar c) {
    return c.unicode() <= 0x20;
}

QString TrimBlanksAndControls(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && IsBlankOrControl(text[first]))
        ++first;
    while (last > first && IsBlankOrControl(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    CommandLine line;
    QStringList rest;
    for (const QString& argument : arguments) {
        if (argument == "--simulate") {
            line.simulate = true;
        } else if (argument.startsWith("--simulate=")) {
            line.simulate = true;
            line.simulateState = argument.mid(QString("--simulate=").size());
        } else if (argument == "--help") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument.startsWith("--")) {
            if (line.unknownOption.isEmpty())
                line.unknownOption = argument;
        } else {
            rest << argument;
        }
    }
    if (!rest.isEmpty()) {
        QString joined;
        for (const QString& argument : rest)
            joined += ' ' + argument;
        line.configFile = TrimBlanksAndControls(joined);
        line.configFileGiven = true;
    }
    return line;
}

QString UsageText() {
    return "Usage: zm880-utility [--simulate[=STATE]] [CONFIG FILE]\n"
           "\n"
           "Configures ZM-880 USB RFID readers.\n"
           "\n"
           "  CONFIG FILE        load this configuration file whenever a reader is found,\n"
           "                     instead of reading the reader's own settings; the words\n"
           "                     are joined with single blanks, so quotes are not needed\n"
           "  --simulate[=STATE] use a simulated reader (its state kept in the file STATE)\n"
           "  --help             show this text\n"
           "  --version          show the version\n"
           "\n"
           "Without a display, run it under xvfb-run or with QT_QPA_PLATFORM=offscreen.\n";
}

}  // namespace zm880::app
