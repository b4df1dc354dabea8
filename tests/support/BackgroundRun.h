#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

#include "support/RunCli.h"

namespace zm880::test {

// A zm880ctl run in the background whose output comes through pipes, so that it is neither
// a file the run's size limit applies to nor lost when the run is stopped.
class BackgroundRun {
  public:
    // `noFileGrowth`: a file size limit of 0, with SIGXFSZ at its default action, so every file
    // the run tries to write fails with "File too large" once the program ignores the signal.
    explicit BackgroundRun(const std::vector<std::string>& args, bool noFileGrowth = false);
    // Kills a run that is still going.
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Reads standard output until it holds `text` or 5 s have passed.
    bool WaitForOutput(const std::string& text);
    // The same for standard error.
    bool WaitForError(const std::string& text);

    // Sends `signal` (none for 0), waits for the end and collects the output.
    CliResult Finish(int signal = 0);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string output_;
    std::string errors_;
};

}  // namespace zm880::test
