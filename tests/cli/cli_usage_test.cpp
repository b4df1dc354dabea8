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
}

}  // namespace
}  // namespace zm880::test
