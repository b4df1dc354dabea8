#include "cfgfile/ConfigFile.h"
#include "support/TestFolders.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <set>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace zm880::cfgfile {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(first + i);
    }
    return bytes;
}

ReportBuffer FilledBuffer(std::uint8_t value) {
    ReportBuffer buffer;
    buffer.fill(value);
    return buffer;
}

class ConfigFileTest : public test::TempFolderTest {
  protected:

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    static std::vector<std::uint8_t> Read(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::set<std::string> FolderEntries() const { return test::FolderNames(dir_); }

};

struct LoadCase {
    std::size_t fileSize;
    std::size_t bytesTaken;  // leading buffer bytes that come from the file, byte 1 excepted
};

TEST_F(ConfigFileTest, LoadTakesUpTo64LeadingBytesAndKeepsByte1) {
    for (const LoadCase c :
         {LoadCase{64, 64}, LoadCase{10, 10}, LoadCase{100, 64}, LoadCase{0, 0}}) {
        SCOPED_TRACE(testing::Message() << c.fileSize << " byte file");
        const std::vector<std::uint8_t> content = Bytes(c.fileSize, 0x10);
        const std::string path = Write("load.cfg", content);
        ReportBuffer buffer = FilledBuffer(0xEE);
        bool found = false;

        ASSERT_TRUE(LoadConfigFile(path, buffer, [&] { found = true; }).ok());
        EXPECT_TRUE(found);
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            const bool fromFile = i < c.bytesTaken && i != 1;
            EXPECT_EQ(buffer[i], fromFile ? content[i] : 0xEE) << "index " << i;
        }
    }
}

TEST_F(ConfigFileTest, LoadOfMissingFileOrDirectoryIsNotFound) {
    for (const std::string& path : {PathOf("missing.cfg"), dir_.string()}) {
        ReportBuffer buffer = FilledBuffer(0x11);
        bool found = false;
        const FileResult result = LoadConfigFile(path, buffer, [&] { found = true; });
        EXPECT_EQ(result.error, "file not found: " + path);
        EXPECT_FALSE(found);
        EXPECT_EQ(buffer, FilledBuffer(0x11));
    }
}

// A path the system cannot follow exists, unlike a missing one: its reason is said.
TEST_F(ConfigFileTest, LoadOfALinkLoopIsAnOpenFailureWithTheSystemsReason) {
    const std::string path = PathOf("loop.cfg");
    fs::create_symlink("loop.cfg", path);
    ReportBuffer buffer = FilledBuffer(0x33);
    const FileResult result = LoadConfigFile(path, buffer);
    EXPECT_EQ(result.error, "unable to open file: " + path);
    EXPECT_EQ(result.reason, "cannot read " + path + ": " + std::strerror(ELOOP));
    EXPECT_EQ(buffer, FilledBuffer(0x33));
}

// Tests run as root, so permissions cannot stop the open; the file vanishing between the
// existence check and the open does, and shows that the hook runs in between.
TEST_F(ConfigFileTest, LoadReportsOpenFailureAfterTheHookRan) {
    const std::string path = Write("gone.cfg", Bytes(64, 0));
    ReportBuffer buffer = FilledBuffer(0x22);
    bool found = false;
    const FileResult result = LoadConfigFile(path, buffer, [&] {
        found = true;
        fs::remove(path);
    });
    EXPECT_EQ(result.error, "unable to open file: " + path);
    EXPECT_TRUE(found);
    EXPECT_EQ(buffer, FilledBuffer(0x22));
}

TEST_F(ConfigFileTest, SaveWritesExactly64BytesOverALongerFile) {
    const std::string path = Write("save.cfg", Bytes(200, 0x80));
    ReportBuffer buffer{};
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i + 1);
    }

    ASSERT_TRUE(SaveConfigFile(path, buffer).ok());
    EXPECT_EQ(Read(path), std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 64));
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"save.cfg"});  // no temporary file left
}

TEST_F(ConfigFileTest, SaveThroughALinkReplacesItsTargetAndKeepsTheLink) {
    const std::string target = Write("real.cfg", Bytes(64, 0));
    const std::string link = PathOf("link.cfg");
    fs::create_symlink(target, link);

    ASSERT_TRUE(SaveConfigFile(link, FilledBuffer(0x33)).ok());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), std::vector<std::uint8_t>(64, 0x33));
}

TEST_F(ConfigFileTest, SaveThatCannotCreateTheFileReportsIt) {
    for (const std::string& path : {dir_.string(), PathOf("no-such-folder/x.cfg")}) {
        EXPECT_EQ(SaveConfigFile(path, ReportBuffer{}).error, "unable to create file: " + path);
    }
}

// A write that fails halfway must neither count as a save nor cost the old file. A file size
// limit makes the write fail even for root.
TEST_F(ConfigFileTest, FailedWriteLeavesTheOldFileUntouched) {
    const std::vector<std::uint8_t> old = Bytes(64, 0x40);
    const std::string path = Write("keep.cfg", old);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const FileResult result = SaveConfigFile(path, FilledBuffer(0x55));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result.error, "unable to create file: " + path);
    EXPECT_EQ(Read(path), old);
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"keep.cfg"});
}

TEST(ShownPath, WholeUpTo60CharactersElseHeadDotsTail) {
    const std::string sixty(60, 'a');
    EXPECT_EQ(ShownPath(sixty), sixty);

    std::string sixtyOne;
    for (int i = 0; i < 61; ++i) {
        sixtyOne += static_cast<char>('A' + i % 26);
    }
    const std::string shown = ShownPath(sixtyOne);
    EXPECT_EQ(shown, sixtyOne.substr(0, 23) + " ... " + sixtyOne.substr(30));
    EXPECT_EQ(shown.size(), 59U);

    // Characters, not bytes: sixty two-byte letters are shown whole and never split.
    std::string wide;
    for (int i = 0; i < 60; ++i) {
        wide += "\xC3\xA9";
    }
    EXPECT_EQ(ShownPath(wide), wide);
    wide += "x";
    EXPECT_EQ(ShownPath(wide), wide.substr(0, 46) + " ... " + wide.substr(121 - 61));
}

}  // namespace
}  // namespace zm880::cfgfile
