#include "support/BackgroundRun.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace zm880::test {

namespace {

using namespace std::chrono_literals;

std::string ReadAll(int fd) {
    std::string text;
    char chunk[256];
    ssize_t got = 0;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Reads `fd` into `collected` until it holds `text` or 5 s have passed.
bool WaitFor(int fd, std::string& collected, const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!Contains(collected, text) && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) == 1) {
            char chunk[256];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got <= 0) {
                break;
            }
            collected.append(chunk, static_cast<std::size_t>(got));
        }
    }
    return Contains(collected, text);
}

}  // namespace

BackgroundRun::BackgroundRun(const std::vector<std::string>& args, bool noFileGrowth) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("no pipe");
    }
    std::vector<std::string> store{ZM880CTL_PATH};
    store.insert(store.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : store) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        if (noFileGrowth) {
            ::signal(SIGXFSZ, SIG_DFL);
            const rlimit none{0, 0};
            ::setrlimit(RLIMIT_FSIZE, &none);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

BackgroundRun::~BackgroundRun() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
}

bool BackgroundRun::WaitForOutput(const std::string& text) {
    return WaitFor(out_, output_, text);
}

bool BackgroundRun::WaitForError(const std::string& text) {
    return WaitFor(err_, errors_, text);
}

CliResult BackgroundRun::Finish(int signal) {
    if (signal != 0) {
        ::kill(pid_, signal);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = output_ + ReadAll(out_);
    result.err = errors_ + ReadAll(err_);
    return result;
}

}  // namespace zm880::test
