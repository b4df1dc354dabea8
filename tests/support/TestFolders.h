#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace zm880::test {

// A fresh folder of its own for every test, removed afterwards.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path dir_;
};

// The names in `folder`, sorted: shows that nothing (a temporary, a stray copy) was left behind.
std::set<std::string> FolderNames(const std::filesystem::path& folder);

// Points the programs' backup folder at <stateHome>/zm880/backups: XDG_STATE_HOME on POSIX
// systems, LOCALAPPDATA on Windows.
void UseStateHome(const std::filesystem::path& stateHome);

// The backups that settings writes made under the state folder `stateHome` (XDG_STATE_HOME).
std::vector<std::filesystem::path> BackupFiles(const std::filesystem::path& stateHome);

}  // namespace zm880::test
