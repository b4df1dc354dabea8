#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "hid/sim/SimulatedBus.h"
#include "support/RunCli.h"
#include "support/TestFolders.h"

namespace zm880::test {
namespace {

namespace fs = std::filesystem;

const std::string kHex =
    ":10140000000102030405060708090A0B0C0D0E0F64\n"
    ":00000001FF\n";

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Record() {
    std::string bytes(64, '\0');
    bytes[0] = 3;
    bytes[1] = 1;
    bytes[3] = 16;
    return bytes;
}

CliSetup Limited(std::optional<std::uint64_t> fileSizeLimit, bool stdoutPipe) {
    CliSetup setup;
    setup.fileSizeLimit = fileSizeLimit;
    setup.stdoutPipe = stdoutPipe;
    return setup;
}

// Every command that writes a file, each in a scratch folder with a settings file, an update
// file and a simulated reader.
class FileSafety : public testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("zm880-safety-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        cfg_ = Write("in.cfg", Record());
        hex_ = Write("in.hex", kHex);
        state_ = (dir_ / "bus.json").string();
        hid::SimulatedBus(state_).Save();
        UseStateHome(dir_ / "state");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const std::string& content) const {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    // The writing commands with OUT as their output, and the size of what they write.
    struct Writer {
        std::string name;
        std::vector<std::string> args;
        std::size_t size;
    };
    std::vector<Writer> Writers(const std::string& out) const {
        return {
            {"cfg set", {"cfg", "set", cfg_, "Baud=9600", "-o", out}, 64},
            {"cfg defaults", {"cfg", "defaults", cfg_, "-o", out}, 64},
            {"save", {"save", out, "--simulate=" + state_}, 64},
            {"fw image", {"fw", "image", hex_, "-o", out}, 10240},
        };
    }

    fs::path dir_;
    std::string cfg_;
    std::string hex_;
    std::string state_;
};

// What `run` writes into the FIFO. The reader is open before and never blocks (the pipe's buffer
// takes the whole output), so a command that replaces the FIFO instead cannot hang the test.
std::string ReadFifoAfter(const fs::path& fifo, const std::function<void()>& run) {
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    run();
    std::string received;
    std::array<char, 4096> chunk{};
    ssize_t n = 0;
    while (reader >= 0 && (n = read(reader, chunk.data(), chunk.size())) > 0) {
        received.append(chunk.data(), static_cast<std::size_t>(n));
    }
    if (reader >= 0) {
        close(reader);
    }
    return received;
}

TEST_F(FileSafety, OutputsIntoAFifoOrAPipeLinkAreWrittenInPlaceNeverReplaced) {
    const fs::path fifo = dir_ / "out.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path pipeLink = dir_ / "stdout-link";
    fs::create_symlink("/proc/self/fd/1", pipeLink);

    for (const Writer& w : Writers(fifo.string())) {
        SCOPED_TRACE(w.name);
        CliResult result;
        const std::string received = ReadFifoAfter(fifo, [&] { result = RunCli(w.args); });
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(received.size(), w.size);
        EXPECT_TRUE(fs::is_fifo(fifo));
    }
    for (const Writer& w : Writers(pipeLink.string())) {
        SCOPED_TRACE(w.name + " through a link to the pipe on stdout");
        const CliResult result = RunCli(w.args, Limited(std::nullopt, true));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_GE(result.out.size(), w.size);
        EXPECT_TRUE(fs::is_symlink(pipeLink));
    }
}

TEST_F(FileSafety, DashWritesTheDataToStdoutAndTheReportToStderr) {
    for (const Writer& w : Writers("-")) {
        SCOPED_TRACE(w.name);
        const CliResult result = RunCli(w.args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out.size(), w.size);
        EXPECT_FALSE(fs::exists(dir_ / "-"));
    }
    const CliResult set = RunCli({"cfg", "set", cfg_, "Baud=9600", "-o", "-"});
    EXPECT_EQ(set.err, "Baud: 19200 -> 9600\n");
    EXPECT_EQ(set.out.substr(0, 4), std::string("\x03\x01\x00\x08", 4));
}

// A size limit fails every write beyond it, as a full disk does.
TEST_F(FileSafety, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
    const std::string out = Write("out.bin", "old");
    for (const Writer& w : Writers(out)) {
        SCOPED_TRACE(w.name);
        const CliResult result = RunCli(w.args, Limited(32, true));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  "zm880ctl: " + std::string(w.name.starts_with("cfg") ? w.name + ": " : "") +
                      "cannot write " + out + ": File too large\n");
        EXPECT_EQ(ReadText(out), "old");
    }
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left.size(), 5u) << testing::PrintToString(left);  // the four files and the bus lock: no temporary
}

// The backup before a settings write meets the same limit: its failure stops the write.
TEST_F(FileSafety, AFileSizeLimitFailsTheBackupAndNothingIsWritten) {
    const std::string sim = "--simulate=" + state_;
    const std::string before = RunCli({"show", "--json", sim}).out;

    const CliResult result = RunCli({"set", "Suffix=Tab", sim}, Limited(32, true));
    EXPECT_EQ(result.exitCode, 1);
    const fs::path backups = dir_ / "state" / "zm880" / "backups";
    EXPECT_TRUE(result.err.starts_with("zm880ctl: backup failed: cannot write " + backups.string()))
        << result.err;
    EXPECT_TRUE(result.err.ends_with(": File too large; nothing written\n")) << result.err;
    EXPECT_TRUE(fs::is_empty(backups));
    EXPECT_EQ(RunCli({"show", "--json", sim}).out, before);
}

// A link loop is no missing file: the system's reason is said, reading as when writing.
TEST_F(FileSafety, ALinkLoopIsRefusedWithTheSystemsReason) {
    const fs::path loop = dir_ / "loop.cfg";
    fs::create_symlink(loop.filename(), loop);
    const std::string reason = loop.string() + ": Too many levels of symbolic links";
    const std::string sim = "--simulate=" + state_;
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"cfg", "show", loop.string()}, "cfg show: cannot read " + reason},
        {{"cfg", "set", loop.string(), "Baud=9600"}, "cfg set: cannot read " + reason},
        {{"load", loop.string(), sim}, "cannot read " + reason},
        {{"restore", loop.string(), sim}, "cannot read " + reason},
        {{"fw", "check", loop.string()}, "cannot read " + reason},
        {{"save", loop.string(), sim}, "cannot write " + reason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliResult result = RunCli(c.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "zm880ctl: " + c.error + "\n");
    }
}

TEST_F(FileSafety, OutputLostOnAFullStdoutOrTraceFailsTheCommand) {
    const std::string trace = (dir_ / "trace.txt").string();
    struct Case {
        std::vector<std::string> args;
        bool stdoutPipe;  // only the trace file is subject to the limit
        std::string error;
    };
    const Case cases[] = {
        {{"cfg", "show", cfg_}, false, "the output could not be written in full"},
        {{"fw", "check", hex_}, false, "the output could not be written in full"},
        {{"list", "--json", "--simulate=" + state_},
         false,
         "the output could not be written in full"},
        {{"raw", "get", "03", "--trace", trace, "--simulate=" + state_},
         true,
         "the trace " + trace + " is incomplete: a line could not be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliResult result = RunCli(c.args, Limited(40, c.stdoutPipe));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "zm880ctl: " + c.error + "\n");
    }
}

// A failure after the work (a trace line lost, the simulated bus not saved, which loses the
// change) leaves no success on stdout: --json gets the error document instead of the result,
// and "verified" is never said for a change that is gone.
TEST_F(FileSafety, AFailureAfterTheWorkPrintsNoSuccess) {
    const std::string trace = (dir_ / "trace.txt").string();
    const std::string sim = "--simulate=" + state_;
    const std::string traceLost = "the trace " + trace + " is incomplete";
    struct Case {
        std::vector<std::string> args;
        std::uint64_t limit;  // the backup (64 bytes) fits, the bus file and the trace do not
        std::string error;
    };
    const Case cases[] = {
        {{"show", "--json", "--trace", trace, sim}, 40, traceLost},
        {{"--all", "show", "--json", "--trace", trace, sim}, 40, traceLost},
        {{"raw", "get", "03", "--json", "--trace", trace, sim}, 40, traceLost},
        {{"set", "Suffix=Tab", sim}, 100, state_ + ": "},
        {{"set", "Suffix=Tab", "--trace", trace, sim}, 100, ""},
        {{"--all", "set", "Suffix=Tab", sim}, 100, state_ + ": "},
        {{"restore", cfg_, sim}, 100, state_ + ": "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        fs::remove(trace);
        const bool json = std::find(c.args.begin(), c.args.end(), "--json") != c.args.end();
        const CliResult result = RunCli(c.args, Limited(c.limit, true));
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.err.starts_with("zm880ctl: " + c.error)) << result.err;
        EXPECT_EQ(result.out.find("verified"), std::string::npos) << result.out;
        EXPECT_EQ(result.out.find(": ok"), std::string::npos) << result.out;
        if (json) {
            const nlohmann::json document = nlohmann::json::parse(result.out);
            EXPECT_TRUE(document.is_object() && document.contains("error")) << result.out;
        }
    }
}

TEST_F(FileSafety, InputsThatWouldBlockOrNeverEndAreRefusedWithOneLine) {
    const fs::path fifo = dir_ / "in.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zero = dir_ / "zero.hex";
    fs::create_symlink("/dev/zero", zero);
    const fs::path huge = dir_ / "huge.hex";
    std::ofstream(huge).close();
    fs::resize_file(huge, 17u << 20);  // sparse: no disk space used

    const std::string sim = "--simulate=" + state_;
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const std::string fifoReason =
        "cannot read " + fifo.string() + ": not a regular file (a FIFO or pipe)";
    const std::string zeroReason =
        "cannot read " + zero.string() + ": not a regular file (a character device)";
    const Case cases[] = {
        {{"fw", "check", fifo.string()}, fifoReason},
        {{"fw", "check", zero.string()}, zeroReason},
        {{"fw", "image", zero.string(), "-o", (dir_ / "x.bin").string()}, zeroReason},
        {{"fw", "check", huge.string()},
         "cannot read " + huge.string() + ": larger than 16777216 bytes"},
        {{"cfg", "show", fifo.string()}, "cfg show: " + fifoReason},
        {{"cfg", "set", zero.string(), "Baud=9600"}, "cfg set: " + zeroReason},
        {{"load", fifo.string(), sim}, fifoReason},
        {{"restore", zero.string(), sim}, zeroReason},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliResult result = RunCli(c.args);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "zm880ctl: " + c.error + "\n");
    }
    EXPECT_FALSE(fs::exists(dir_ / "x.bin"));
}

TEST_F(FileSafety, ControlCharactersInPathsAreEscapedSoErrorsStayOneLine) {
    const std::string folder = (dir_ / "a\nb\x1b[2J").string();
    const std::string escaped = (dir_ / "a\\x0Ab\\x1B[2J").string();
    const CliResult show = RunCli({"cfg", "show", folder + "/x.cfg"});
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_EQ(show.err, "zm880ctl: cfg show: file not found: " + escaped + "/x.cfg\n");

    const CliResult image = RunCli({"fw", "image", hex_, "-o", folder + "/x.bin"});
    EXPECT_EQ(image.exitCode, 1);
    EXPECT_EQ(image.err,
              "zm880ctl: cannot write " + escaped + "/x.bin: No such file or directory\n");
}

}  // namespace
}  // namespace zm880::test
