#include "support/RunCli.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <stdexcept>

extern char** environ;

namespace zm880::test {

namespace {

constexpr uid_t kNobody = 65534;

// A run that blocks (on a FIFO, say) is killed after this, so a fault fails its test instead of
// hanging the whole binary.
constexpr auto kRunTimeLimit = std::chrono::seconds(60);

// Reads both pipes to their ends at once, so a child filling one cannot block on it; kills the
// child when it outlives kRunTimeLimit (its pipes then close).
void DrainPipes(pid_t child, int outFd, std::string& out, int errFd, std::string& err) {
    std::array<pollfd, 2> fds{pollfd{outFd, POLLIN, 0}, pollfd{errFd, POLLIN, 0}};
    std::array<std::string*, 2> targets{&out, &err};
    std::array<char, 4096> chunk{};
    int open = 0;
    for (const pollfd& fd : fds) {
        open += fd.fd >= 0 ? 1 : 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
    bool killed = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const int ready = poll(fds.data(), fds.size(),
                               killed ? -1 : std::max<int>(0, static_cast<int>(left.count())));
        if (ready < 0) {
            return;
        }
        if (ready == 0) {
            kill(child, SIGKILL);
            killed = true;
            continue;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, chunk.data(), chunk.size());
            if (n > 0) {
                targets[i]->append(chunk.data(), static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

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

// Between fork and exec only async-signal-safe calls: everything is prepared before.
[[noreturn]] void StartChild(const CliSetup& setup, const std::string& inPath, int outFd, int errFd,
                             char* const* argv) {
    const int in = open(inPath.c_str(), O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) {
        _exit(127);
    }
    if (setup.fileSizeLimit) {
        signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(127);
        }
    }
    if (setup.unprivileged &&
        (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
        _exit(127);
    }
    execve(argv[0], argv, environ);
    _exit(127);
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& input) {
    return RunCli(args, CliSetup{input, std::nullopt, false, false});
}

CliResult RunCli(const std::vector<std::string>& args, const CliSetup& setup) {
    // Standard output goes to a file unless a pipe is asked for; standard error always to a pipe,
    // which no file size limit affects.
    const std::string outPath = TempFile();
    const std::string inPath = TempFile();
    {
        const int fd = open(inPath.c_str(), O_WRONLY | O_TRUNC);
        if (!setup.input.empty() && write(fd, setup.input.data(), setup.input.size()) < 0) {
            throw std::runtime_error("cannot write stdin file");
        }
        close(fd);
    }
    if (setup.unprivileged) {
        chmod(outPath.c_str(), 0666);
        chmod(inPath.c_str(), 0666);
    }

    std::vector<std::string> argvStore{ZM880CTL_PATH};
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvStore) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::array<int, 2> outPipe{-1, -1};
    std::array<int, 2> errPipe{-1, -1};
    if (pipe2(errPipe.data(), O_CLOEXEC) != 0 ||
        (setup.stdoutPipe && pipe2(outPipe.data(), O_CLOEXEC) != 0)) {
        throw std::runtime_error("cannot create a pipe");
    }
    const int outFd =
        setup.stdoutPipe ? outPipe[1] : open(outPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);

    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("cannot start zm880ctl");
    }
    if (pid == 0) {
        StartChild(setup, inPath, outFd, errPipe[1], argv.data());
    }
    close(outFd);
    close(errPipe[1]);

    CliResult result;
    DrainPipes(pid, outPipe[0], result.out, errPipe[0], result.err);
    for (int fd : {outPipe[0], errPipe[0]}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!setup.stdoutPipe) {
        const int fd = open(outPath.c_str(), O_RDONLY);
        result.out = ReadAll(fd);
        close(fd);
    }
    unlink(outPath.c_str());
    unlink(inPath.c_str());
    return result;
}

}  // namespace zm880::test
