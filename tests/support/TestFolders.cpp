#include "support/TestFolders.h"

namespace zm880::test {

namespace fs = std::filesystem;

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

}  // namespace zm880::test
