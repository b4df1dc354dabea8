#include "cfgfile/SafeFile.h"
#include "cfgfile/SafeFileNames.h"
#include "support/TestFolders.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>

namespace zm880::cfgfile {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

class SafeFileTest : public test::TempFolderTest {
  protected:

    fs::path PathOf(const std::string& name) const { return dir_ / name; }

    fs::path Write(const std::string& name, const std::string& text) const {
        const fs::path path = PathOf(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static std::string Read(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    std::set<std::string> FolderEntries() const { return test::FolderNames(dir_); }

};

TEST_F(SafeFileTest, ReplacesARegularFileKeepingItsPermissionsAndNoTemporary) {
    const fs::path path = Write("a.cfg", "old content that is longer");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    ASSERT_TRUE(WriteFileSafely(path, Bytes("new")).ok());
    EXPECT_EQ(Read(path), "new");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"a.cfg"});

    ASSERT_TRUE(WriteFileSafely(PathOf("fresh.bin"), Bytes("x")).ok());
    EXPECT_EQ(Read(PathOf("fresh.bin")), "x");
}

TEST_F(SafeFileTest, ThroughALinkReplacesTheTargetAndKeepsTheLink) {
    fs::create_directories(dir_ / "real");
    const fs::path target = Write("real/t.cfg", "old");
    fs::create_symlink(target, PathOf("link.cfg"));

    ASSERT_TRUE(WriteFileSafely(PathOf("link.cfg"), Bytes("new")).ok());
    EXPECT_TRUE(fs::is_symlink(PathOf("link.cfg")));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"link.cfg", "real"}));
}

// A FIFO (directly or behind a link) gets the bytes and stays a FIFO.
TEST_F(SafeFileTest, WritesIntoAFifoInPlace) {
    const fs::path fifo = PathOf("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, PathOf("to-pipe"));
    for (const fs::path& path : {fifo, PathOf("to-pipe")}) {
        SCOPED_TRACE(path.string());
        // Open before the write and never blocking: a replaced FIFO cannot hang the test.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(reader, 0);
        const SafeFileError result = WriteFileSafely(path, Bytes("through the pipe"));
        EXPECT_TRUE(result.ok()) << result.message;
        std::array<char, 64> received{};
        const ssize_t n = read(reader, received.data(), received.size());
        close(reader);
        EXPECT_EQ(std::string(received.data(), n > 0 ? static_cast<std::size_t>(n) : 0),
                  "through the pipe");
        EXPECT_TRUE(fs::is_fifo(fifo));
    }
}

TEST_F(SafeFileTest, RefusesFoldersSocketsAndLinksToNothingAndChangesNothing) {
    const fs::path socketPath = PathOf("sock");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    fs::create_directories(PathOf("folder"));
    fs::create_symlink(PathOf("missing"), PathOf("dangling"));

    struct Case {
        std::string name;
        FileErrorKind kind;
        std::string reason;
    };
    for (const Case& c : {Case{"folder", FileErrorKind::Folder, "it is a folder"},
                          Case{"sock", FileErrorKind::NotRegular, "it is a socket"},
                          Case{"dangling", FileErrorKind::NotFound, "a link to nothing"}}) {
        SCOPED_TRACE(c.name);
        const SafeFileError result = WriteFileSafely(PathOf(c.name), Bytes("x"));
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.message, "cannot write " + PathOf(c.name).string() + ": " + c.reason);
    }
    close(sock);
    EXPECT_TRUE(fs::is_socket(socketPath));
    EXPECT_TRUE(fs::is_symlink(PathOf("dangling")));
    EXPECT_FALSE(fs::exists(PathOf("missing")));
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"dangling", "folder", "sock"}));
}

// A file size limit makes the write fail like a full disk, even for root.
TEST_F(SafeFileTest, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const fs::path path = Write("keep.bin", "old");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const SafeFileError result = WriteFileSafely(path, std::vector<std::uint8_t>(100, 0x55));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(result.kind, FileErrorKind::Io);
    EXPECT_EQ(result.message, "cannot write " + path.string() + ": " + std::strerror(EFBIG));
    EXPECT_EQ(Read(path), "old");
    EXPECT_EQ(FolderEntries(), std::set<std::string>{"keep.bin"});
}

TEST_F(SafeFileTest, RemovesOnlyStaleTemporariesOfItsOwnPattern) {
    const auto old =
        fs::file_time_type::clock::now() - kStaleTemporaryAge - std::chrono::minutes(1);
    const std::string stale = ".a.cfg.zm880-0123456789ab.tmp";
    const std::string fresh = ".b.cfg.zm880-abcdefghijkl.tmp";
    const std::string foreign = ".a.cfg.other-0123456789ab.tmp";
    for (const std::string& name : {stale, fresh, foreign}) {
        Write(name, "left over");
    }
    fs::last_write_time(PathOf(stale), old);
    fs::last_write_time(PathOf(foreign), old);

    ASSERT_TRUE(WriteFileSafely(PathOf("a.cfg"), Bytes("new")).ok());
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"a.cfg", fresh, foreign}));
}

// A name up to the 255-byte limit is legal, so its temporary must be legal too, and still be
// known as one so that a stale one is cleaned up.
TEST_F(SafeFileTest, WritesNamesUpToTheLengthLimitThroughTemporariesKnownAsSuch) {
    const std::string euro = "\xE2\x82\xAC";
    struct Case {
        std::string name;
        std::string kept;  // what the temporary keeps of the name
    };
    const std::vector<Case> cases = {
        {std::string(231, 'a'), std::string(231, 'a')},
        {std::string(232, 'b'), std::string(231, 'b')},
        {std::string(255, 'c'), std::string(231, 'c')},
        // The cut falls inside the euro sign's three bytes: the whole sign goes.
        {std::string(230, 'd') + euro + "ee", std::string(230, 'd')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.name.size()) + " bytes");
        const std::string temporary = TemporaryNameBeside(PathOf(c.name)).filename().string();
        EXPECT_LE(temporary.size(), 255u);
        EXPECT_TRUE(temporary.starts_with("." + c.kept + ".zm880-")) << temporary;
        EXPECT_TRUE(IsSafeFileTemporaryName(temporary)) << temporary;

        const SafeFileError written = WriteFileSafely(PathOf(c.name), Bytes("new"));
        ASSERT_TRUE(written.ok()) << written.message;
        EXPECT_EQ(Read(PathOf(c.name)), "new");
        EXPECT_EQ(FolderEntries(), std::set<std::string>{c.name});
        fs::remove(PathOf(c.name));
    }
}

TEST(SafeFileTemporaryName, MatchesOnlyTheWritersPattern) {
    EXPECT_TRUE(IsSafeFileTemporaryName(".x.zm880-0123456789ab.tmp"));
    for (const char* name :
         {"x.zm880-0123456789ab.tmp", ".x.zm880-0123456789a.tmp", ".x.zm880-0123456789AB.tmp",
          ".x.zm880-0123456789ab.tmpx", ".zm880-0123456789ab.tmp", ".x.cfg"}) {
        EXPECT_FALSE(IsSafeFileTemporaryName(name)) << name;
    }
}

TEST_F(SafeFileTest, ReadsRegularFilesAndRefusesWhatCouldBlockOrNeverEnd) {
    Write("ok.bin", "0123456789");
    ASSERT_EQ(mkfifo(PathOf("fifo").c_str(), 0600), 0);   // no writer: an open would block
    fs::create_symlink("/dev/zero", PathOf("zero.hex"));  // endless
    fs::create_directories(PathOf("folder"));
    fs::create_symlink(PathOf("ok.bin"), PathOf("to-ok"));

    const SafeReadResult ok = ReadFileSafely(PathOf("to-ok"), 10);
    EXPECT_TRUE(ok.error.ok()) << ok.error.message;
    EXPECT_EQ(ok.bytes, Bytes("0123456789"));

    struct Case {
        std::string name;
        std::uintmax_t limit;
        FileErrorKind kind;
        std::string reason;
    };
    for (const Case& c :
         {Case{"ok.bin", 9, FileErrorKind::TooLarge, "larger than 9 bytes"},
          Case{"fifo", 100, FileErrorKind::NotRegular, "not a regular file (a FIFO or pipe)"},
          Case{"zero.hex", 100, FileErrorKind::NotRegular,
               "not a regular file (a character device)"},
          Case{"folder", 100, FileErrorKind::Folder, "not a regular file (a folder)"},
          Case{"missing", 100, FileErrorKind::NotFound, std::strerror(ENOENT)}}) {
        SCOPED_TRACE(c.name);
        const SafeReadResult result = ReadFileSafely(PathOf(c.name), c.limit);
        EXPECT_EQ(result.error.kind, c.kind);
        EXPECT_EQ(result.error.message, "cannot read " + PathOf(c.name).string() + ": " + c.reason);
        EXPECT_TRUE(result.bytes.empty());
    }
}

TEST_F(SafeFileTest, ExclusiveCreateNeverWritesOverAnythingThere) {
    bool taken = true;
    ASSERT_TRUE(CreateFileExclusively(PathOf("b.cfg"), Bytes("first"), taken).ok());
    EXPECT_FALSE(taken);

    const fs::path victim = Write("victim", "keep");
    fs::create_symlink(victim, PathOf("link.cfg"));
    for (const char* name : {"b.cfg", "link.cfg"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(CreateFileExclusively(PathOf(name), Bytes("second"), taken).ok());
        EXPECT_TRUE(taken);
    }
    EXPECT_EQ(Read(PathOf("b.cfg")), "first");
    EXPECT_EQ(Read(victim), "keep");
}

}  // namespace
}  // namespace zm880::cfgfile
