#include "support/TestFolders.h"

#include <cstdlib>
#include <random>

namespace zm880::test {

namespace fs = std::filesystem;

void TempFolderTest::SetUp() {
    dir_ = fs::temp_directory_path() / ("zm880-test-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
}

void TempFolderTest::TearDown() {
    fs::remove_all(dir_);
}

std::set<std::string> FolderNames(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::vector<fs::path> BackupFiles(const fs::path& stateHome) {
    const fs::path directory = stateHome / "zm880" / "backups";
    if (!fs::exists(directory)) {
        return {};
    }
    return {fs::directory_iterator(directory), fs::directory_iterator()};
}

void UseStateHome(const std::filesystem::path& stateHome) {
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", stateHome.string().c_str());
#else
    setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
#endif
}

}  // namespace zm880::test
