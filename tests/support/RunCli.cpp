#include "support/RunCli.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <stdexcept>

extern char** environ;

namespace zm880::test {

namespace {

std::string ReadAll(int fd) {
    std::string text;
    std::array<char, 4096> chunk{};
    ssize_t n = 0;
    while ((n = read(fd, chunk.data(), chunk.size())) > 0) {
        text.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return text;
}

std::string TempFile() {
    char name[] = "/tmp/zm880-cli-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    close(fd);
    return name;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& input) {
    // Output goes to files rather than pipes so that neither side can block the other.
    const std::string outPath = TempFile();
    const std::string errPath = TempFile();
    const std::string inPath = TempFile();
    {
        const int fd = open(inPath.c_str(), O_WRONLY | O_TRUNC);
        if (!input.empty() && write(fd, input.data(), input.size()) < 0) {
            throw std::runtime_error("cannot write stdin file");
        }
        close(fd);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_TRUNC, 0);

    std::vector<std::string> argvStore{ZM880CTL_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start zm880ctl");
    }
    int status = 0;
    waitpid(pid, &status, 0);

    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    for (auto [path, target] :
         {std::pair{&outPath, &result.out}, std::pair{&errPath, &result.err}}) {
        const int fd = open(path->c_str(), O_RDONLY);
        *target = ReadAll(fd);
        close(fd);
        unlink(path->c_str());
    }
    unlink(inPath.c_str());
    return result;
}

}  // namespace zm880::test
