#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "cfgfile/Utf8Path.h"
#include "hid/OsServices.h"

// The Windows services of the core that are not HID: version resources and the registry.
namespace zm880::hid {
namespace {

namespace fs = std::filesystem;

std::string CliProgram() {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return cfgfile::Utf8Text(fs::path(self).parent_path() / ZM880CTL_PATH);
}

const std::vector<std::string> kKeys = {"CompanyName",      "FileDescription", "FileVersion",
                                        "InternalName",     "LegalCopyRight",  "LegalTradeMarks",
                                        "OriginalFileName", "ProductName",     "ProductVersion",
                                        "Comments",         "SpecialBuild",    "PrivateBuild"};

TEST(WindowsVersionResource, ProgramCarriesTheBuildsVersionData) {
    const FileVersionResource resource = ReadFileVersionResource(CliProgram(), kKeys);
    EXPECT_EQ(resource.values.at("ProductName"), "ZM880 - Utility");
    EXPECT_EQ(resource.values.at("FileDescription"), "ZM880 - Utility");
    EXPECT_EQ(resource.values.at("FileVersion"), "1.2.6.0");
    EXPECT_EQ(resource.values.at("ProductVersion"), "1.2.0.0");
    EXPECT_EQ(resource.values.at("InternalName"), "15016");
    EXPECT_EQ(resource.values.at("OriginalFileName"), "");
    // Keys are looked up without regard to case: the resource says "LegalCopyright".
    EXPECT_NE(resource.values.at("LegalCopyRight").find("Tavrenix GmbH"), std::string::npos);
    EXPECT_NE(resource.values.at("LegalTradeMarks").find("Tavrenix GmbH"), std::string::npos);
    EXPECT_EQ(resource.values.count("Comments"), 0u);
    ASSERT_TRUE(resource.hasFixedPart);
    EXPECT_EQ(resource.fileType, 1u);
    EXPECT_EQ(resource.fileFlags & resource.fileFlagsMask, 0u);
}

TEST(WindowsVersionResource, FilesWithoutOneGiveNothing) {
    const fs::path text = fs::temp_directory_path() / "zm880-version-test.txt";
    std::ofstream(text) << "not a program";
    for (const std::string& file : {cfgfile::Utf8Text(text), std::string("C:\\no\\such.exe")}) {
        const FileVersionResource resource = ReadFileVersionResource(file, kKeys);
        EXPECT_TRUE(resource.values.empty()) << file;
        EXPECT_FALSE(resource.hasFixedPart) << file;
    }
    fs::remove(text);
}

// A key of the current user's that no one else uses, removed again after each test.
class WindowsRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = "Software\\zm880-tests-" + std::to_string(std::random_device{}());
        value_ = {RegistryValue::Root::CurrentUser, key_, "CfgPath"};
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str()); }

    bool KeyExists() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    void Store(DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "CfgPath", 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }

    std::string key_;
    RegistryValue value_;
};

TEST_F(WindowsRegistry, ReadingAMissingKeyGivesEmptyAndCreatesNothing) {
    EXPECT_EQ(ReadRegistryString(value_), "");
    EXPECT_FALSE(KeyExists());
}

TEST_F(WindowsRegistry, WriteCreatesTheKeyAndReadGivesTheValueBack) {
    WriteRegistryString(value_, "C:\\cfg\\reader one.cfg");
    EXPECT_TRUE(KeyExists());
    EXPECT_EQ(ReadRegistryString(value_), "C:\\cfg\\reader one.cfg");
}

TEST_F(WindowsRegistry, ExpandableStringIsTakenAsStoredAndOtherTypesAreRefused) {
    const char expandable[] = "%TEMP%\\last.cfg";
    Store(REG_EXPAND_SZ, expandable, sizeof expandable);
    EXPECT_EQ(ReadRegistryString(value_), "%TEMP%\\last.cfg");

    // A string stored without its terminating NUL still ends where it was cut.
    Store(REG_SZ, "abc", 3);
    EXPECT_EQ(ReadRegistryString(value_), "abc");

    const DWORD number = 7;
    Store(REG_DWORD, &number, sizeof number);
    EXPECT_THROW(ReadRegistryString(value_), std::runtime_error);
}

}  // namespace
}  // namespace zm880::hid
