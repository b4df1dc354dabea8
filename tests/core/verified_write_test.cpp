#include "reader/VerifiedWrite.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "hid/HidDeviceController.h"
#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"
#include "support/TestFolders.h"

namespace zm880 {
namespace {

namespace fs = std::filesystem;

// A reader that answers every write with one bit of byte 4 changed.
class ForgetfulReader : public sim::ReaderModel {
  protected:
    bool TakeSet(std::span<const std::uint8_t> report) override {
        const bool taken = sim::ReaderModel::TakeSet(report);
        Settings()[4] ^= 0x01;
        return taken;
    }
};

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One reader on its own bus, its record read, and one field changed in the session's buffer.
struct OneReader {
    explicit OneReader(std::unique_ptr<sim::ReaderModel> reader) {
        bus->Add(std::move(reader));
        controller.DeviceChange();
        session.RebuildDeviceList();
        EXPECT_TRUE(session.ReadConfig().Ok);
        before = session.Buffer();
        // Decoded from a copy: a decode puts a copy of byte 1 into byte 64 of its buffer.
        ReportBuffer copy = before;
        ReaderSettings settings;
        std::uint8_t type = 0;
        DecodeSettings(copy, settings, type);
        session.SetStoredReaderType(type);
        settings.CharDelay = 500;
        session.Encode(settings);
    }

    sim::ReaderModel& Model() { return bus->Reader(0); }

    std::size_t SetsSent() {
        std::size_t sets = 0;
        for (const sim::Transfer& transfer : Model().TransferLog()) {
            sets += transfer.kind == sim::Transfer::Kind::Set ? 1 : 0;
        }
        return sets;
    }

    std::shared_ptr<hid::SimulatedBus> bus = std::make_shared<hid::SimulatedBus>();
    hid::THidDeviceController controller{bus, [](std::function<void()>) {}};
    ReaderSession session{controller};
    ReportBuffer before{};
};

using VerifiedWriteTest = test::TempFolderTest;

TEST_F(VerifiedWriteTest, BacksUpTheRecordAsReadThenWritesAndVerifies) {
    OneReader reader(std::make_unique<sim::ReaderModel>());
    const ReportBuffer wanted = reader.session.Buffer();
    const WriteOutcome outcome = BackUpWriteAndVerify(reader.session, reader.before,
                                                      dir_ / "backups", VerifyScope::EncodedFields);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.length, 65u);
    EXPECT_EQ(outcome.backup.parent_path(), dir_ / "backups");
    EXPECT_EQ(FileBytes(outcome.backup),
              std::vector<std::uint8_t>(reader.before.begin(), reader.before.begin() + 64));
    EXPECT_TRUE(std::equal(reader.Model().Settings().begin(), reader.Model().Settings().end(),
                           wanted.begin()));
}

TEST_F(VerifiedWriteTest, EachFailureIsNamedAndABackupFailureWritesNothing) {
    struct Case {
        std::function<std::unique_ptr<sim::ReaderModel>()> reader;
        std::function<void(sim::ReaderModel&)> fault;
        VerifyScope scope;
        std::string message;  // "BACKUP" stands for the backup's path
    };
    const std::vector<Case> cases = {
        {[] { return std::make_unique<ForgetfulReader>(); }, [](sim::ReaderModel&) {},
         VerifyScope::EncodedFields,
         "the reader did not keep the settings: bytes 4 differ after the write (backup: BACKUP)"},
        {[] { return std::make_unique<ForgetfulReader>(); }, [](sim::ReaderModel&) {},
         VerifyScope::WholeReport,
         "the reader did not keep the record: bytes 4 differ after the write (backup: BACKUP)"},
        {[] { return std::make_unique<sim::ReaderModel>(); },
         [](sim::ReaderModel& model) { model.Faults().failGet = {3}; }, VerifyScope::EncodedFields,
         "written, but the read-back failed: reading feature report 03 failed: the transfer "
         "failed: simulated fault"},
        {[] { return std::make_unique<sim::ReaderModel>(); },
         [](sim::ReaderModel& model) { model.Faults().failSet = {3}; }, VerifyScope::EncodedFields,
         "writing feature report 03 failed: the transfer failed: simulated fault"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        OneReader reader(c.reader());
        c.fault(reader.Model());
        const WriteOutcome outcome =
            BackUpWriteAndVerify(reader.session, reader.before, dir_ / "backups", c.scope);
        EXPECT_FALSE(outcome.ok);
        std::string message = c.message;
        if (const std::size_t at = message.find("BACKUP"); at != std::string::npos) {
            message.replace(at, 6, outcome.backup.string());
        }
        EXPECT_EQ(outcome.message, message);
        EXPECT_TRUE(fs::exists(outcome.backup));
    }

    // No place for the backup: nothing is sent to the reader.
    std::ofstream(dir_ / "file") << "x";
    OneReader reader(std::make_unique<sim::ReaderModel>());
    const WriteOutcome outcome = BackUpWriteAndVerify(
        reader.session, reader.before, dir_ / "file" / "backups", VerifyScope::EncodedFields);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.backup.empty());
    EXPECT_NE(outcome.message.find("cannot create the backup directory"), std::string::npos)
        << outcome.message;
    EXPECT_NE(outcome.message.find("; nothing written"), std::string::npos);
    EXPECT_EQ(reader.SetsSent(), 0u);
}

#ifndef _WIN32
// Sets an environment variable for one scope, then puts back what was there.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(value);
    }
    ~ScopedVariable() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    void Set(const char* value) const {
        if (value != nullptr) {
            setenv(name_, value, 1);
        } else {
            unsetenv(name_);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

// The XDG base directory rules take a relative XDG_STATE_HOME for invalid, to be ignored.
TEST_F(VerifiedWriteTest, BackupsGoUnderAnAbsoluteStateHomeElseUnderHome) {
    const ScopedVariable home("HOME", (dir_ / "home").c_str());
    const fs::path underHome = dir_ / "home" / ".local" / "state" / "zm880" / "backups";
    struct Case {
        const char* stateHome;
        fs::path backups;
    };
    const Case cases[] = {
        {"/var/state", "/var/state/zm880/backups"},
        {"state", underHome},
        {"./state", underHome},
        {"", underHome},
        {nullptr, underHome},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stateHome != nullptr ? c.stateHome : "unset");
        const ScopedVariable stateHome("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(DefaultBackupDirectory(), c.backups);
    }
}

// Creating folders through a link to nothing fails with "File exists"; the link is named instead,
// and its target is not created.
TEST_F(VerifiedWriteTest, ABackupFolderBehindALinkToNothingIsNamedAndNothingIsWritten) {
    struct Case {
        fs::path backups;
        fs::path link;
    };
    const Case cases[] = {
        {dir_ / "a" / "backups", dir_ / "a" / "backups"},
        {dir_ / "b" / "zm880" / "backups", dir_ / "b" / "zm880"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link.string());
        fs::create_directories(c.link.parent_path());
        fs::create_symlink(dir_ / "gone", c.link);
        OneReader reader(std::make_unique<sim::ReaderModel>());
        const WriteOutcome outcome = BackUpWriteAndVerify(reader.session, reader.before, c.backups,
                                                          VerifyScope::EncodedFields);
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.message, "cannot create the backup directory " + c.backups.string() +
                                       ": " + c.link.string() +
                                       " is a link to nothing; nothing written");
        EXPECT_EQ(reader.SetsSent(), 0u);
        EXPECT_FALSE(fs::exists(dir_ / "gone"));
    }
}
#endif

}  // namespace
}  // namespace zm880
