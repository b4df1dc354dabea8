#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zm880::app {

// What the program was started with. Options of our own are taken out first; every other
// parameter is part of the start-up configuration file name.
struct CommandLine {
    // --simulate runs on a simulated reader; --simulate=STATE keeps its state in that file.
    bool simulate = false;
    QString simulateState;
    bool help = false;
    bool version = false;
    // The first parameter that starts with "--" but is none of our options; an error, never
    // part of a file name.
    QString unknownOption;

    // The remaining parameters, each appended with one blank, then trimmed of blanks and
    // control characters at both ends. `configFileGiven` is set even when the name is empty.
    QString configFile;
    bool configFileGiven = false;
};

// `arguments` without the program name, and without the toolkit's own options: parse what the
// application object left of the command line.
CommandLine ParseCommandLine(const QStringList& arguments);

QString UsageText();

}  // namespace zm880::app
