#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "cfgfile/Utf8Path.h"
#include "support/RunCli.h"

namespace zm880::test {

namespace {

namespace fs = std::filesystem;

// zm880ctl.exe, found from this program's own place: the build gives its path relative to it.
fs::path CliProgram() {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return fs::path(self).parent_path() / ZM880CTL_PATH;
}

// One argument quoted the way the C runtime splits a command line again.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

fs::path TempFile(const char* role) {
    std::random_device random;
    return fs::temp_directory_path() /
           ("zm880-cli-" + std::string(role) + "-" + std::to_string(random()) + ".txt");
}

HANDLE Inheritable(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The program's text output, with Windows' line ends turned into the "\n" the tests expect.
std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    for (auto it = std::istreambuf_iterator<char>(in); it != std::istreambuf_iterator<char>();
         ++it) {
        if (*it == '\n' && !text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        text += *it;
    }
    return text;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& input) {
    // Output goes to files rather than pipes so that neither side can block the other.
    const fs::path inPath = TempFile("in");
    const fs::path outPath = TempFile("out");
    const fs::path errPath = TempFile("err");
    std::ofstream(inPath, std::ios::binary) << input;

    const fs::path program = CliProgram();
    std::wstring commandLine = Quoted(program.wstring());
    for (const std::string& arg : args) {
        commandLine += L" " + Quoted(cfgfile::Utf8Path(arg).wstring());
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(inPath, GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        CloseHandle(handle);
    }
    if (!started) {
        throw std::runtime_error("cannot start zm880ctl.exe");
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    CliResult result;
    result.exitCode = static_cast<int>(exitCode);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    for (const fs::path& path : {inPath, outPath, errPath}) {
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    return result;
}

}  // namespace zm880::test
