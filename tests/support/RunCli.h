#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zm880::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// How the child runs, for the tests of failing and unusual outputs.
struct CliSetup {
    std::string input;
    // RLIMIT_FSIZE of the child, with SIGXFSZ at its default action as a shell's `ulimit -f`
    // leaves it: the program must ignore the signal itself, so that every file write beyond the
    // limit fails with EFBIG, as on a full disk, without touching any real device.
    std::optional<std::uint64_t> fileSizeLimit;
    // Standard output as a pipe instead of a file (a pipe is not subject to the size limit, and
    // /proc/self/fd/1 of the child is then a pipe).
    bool stdoutPipe = false;
    // Run as the unprivileged user "nobody" (uid and gid 65534), so permissions apply.
    bool unprivileged = false;
};

// Runs the built zm880ctl with `args` (no shell involved) and collects its output.
CliResult RunCli(const std::vector<std::string>& args, const std::string& input = {});
CliResult RunCli(const std::vector<std::string>& args, const CliSetup& setup);

}  // namespace zm880::test
