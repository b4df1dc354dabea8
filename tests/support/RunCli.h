#pragma once

#include <string>
#include <vector>

namespace zm880::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built zm880ctl with `args` (no shell involved) and collects its output.
CliResult RunCli(const std::vector<std::string>& args, const std::string& input = {});

}  // namespace zm880::test
