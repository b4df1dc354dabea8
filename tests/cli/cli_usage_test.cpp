#include <gtest/gtest.h>

#include "support/RunCli.h"

namespace zm880::test {
namespace {

TEST(CliUsage, HelpSucceedsAndUnknownCommandIsUsageError) {
    const CliResult help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("cfg"), std::string::npos);

    const CliResult bogus = RunCli({"no-such-command"});
    EXPECT_EQ(bogus.exitCode, 2);
    EXPECT_FALSE(bogus.err.empty());

    // A command's help, also after a state file given as the next word; nothing is run.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "--help"},
          std::vector<std::string>{"--simulate", "no-such-bus.json", "list", "--help"}}) {
        const CliResult listHelp = RunCli(args);
        EXPECT_EQ(listHelp.exitCode, 0) << listHelp.err;
        EXPECT_NE(listHelp.out.find("List the attached readers"), std::string::npos);
    }
}

// A path from the root of the current drive is a file on Windows too, never an option.
TEST(CliUsage, RootedPathIsTheFileNotAnOption) {
    const std::string path = "/zm880-no-such-folder/record.cfg";
    const CliResult shown = RunCli({"cfg", "show", path});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_EQ(shown.err, "zm880ctl: cfg show: file not found: " + path + "\n");
}

}  // namespace
}  // namespace zm880::test
