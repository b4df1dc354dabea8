#include <gtest/gtest.h>

#include "hid/linux/HidrawChannel.h"
#include "hid/linux/LinuxPlatform.h"
#include "hid/linux/SysfsChannel.h"
#include "hid/linux/SysfsProperties.h"
#include "hid/linux/TransferErrno.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace zm880::hid::hidraw {
namespace {

using std::chrono::milliseconds;

const char* const kUsbUevent =
    "DRIVER=hid-generic\n"
    "HID_ID=0003:0000169B:00000710\n"
    "HID_NAME=ZM-880 RFID Reader\n"
    "HID_PHYS=usb-0000:00:14.0-2/input0\n"
    "HID_UNIQ=\n"
    "MODALIAS=hid:b0003g0001v0000169Bp00000710";

TEST(LinuxSysfsText, FindsUeventValuesByWholeKey) {
    struct Case {
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"HID_ID", "0003:0000169B:00000710"},
        {"HID_NAME", "ZM-880 RFID Reader"},
        {"HID_UNIQ", ""},
        {"MODALIAS", "hid:b0003g0001v0000169Bp00000710"},  // last line, no line end
        {"HID", std::nullopt},
        {"ID", std::nullopt},
        {"HID_VERSION", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UeventValue(kUsbUevent, c.key), c.expected) << c.key;
    }
    EXPECT_EQ(UeventValue("", "HID_ID"), std::nullopt);
}

TEST(LinuxSysfsText, ParsesHidIdFields) {
    struct Case {
        const char* text;
        std::optional<HidId> expected;
    };
    const Case cases[] = {
        {"0003:0000169B:00000710", HidId{0x0003, 0x169B, 0x0710}},
        {"0006:0000169b:00000710", HidId{0x0006, 0x169B, 0x0710}},
        {"0018:000004F3:0000311C", HidId{0x0018, 0x04F3, 0x311C}},
        {"0003:169B:0710", HidId{0x0003, 0x169B, 0x0710}},
        {"0003:0001169B:00000710", std::nullopt},   // vendor wider than 16 bits
        {"0003:00000169B:00000710", std::nullopt},  // nine digits
        {"0003:0000169B:00000710:0", std::nullopt},
        {"0003:0000169B", std::nullopt},
        {"0003::00000710", std::nullopt},
        {"0003:0000169G:00000710", std::nullopt},
        {"0003:+000169B:00000710", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseHidId(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(LinuxSysfsText, ParsesBcdDevice) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> expected;
    };
    const Case cases[] = {
        {"0100\n", 0x0100},        {"1234", 0x1234},         {"abcd\n", 0xABCD},
        {"7\n", 0x0007},           {"", std::nullopt},       {"\n", std::nullopt},
        {"12345\n", std::nullopt}, {"0x12\n", std::nullopt}, {" 100\n", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseBcdDevice(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(LinuxSysfsText, TreatsEmptyStringAttributesAsAbsent) {
    EXPECT_EQ(AttributeText("ZM-880 Reader\n"), "ZM-880 Reader");
    EXPECT_EQ(AttributeText("A B\r\n"), "A B");
    EXPECT_EQ(AttributeText("\n"), std::nullopt);
    EXPECT_EQ(AttributeText(""), std::nullopt);
}

TEST(LinuxSysfsText, NumbersHidrawNodes) {
    struct Case {
        const char* sysname;
        std::optional<unsigned> expected;
    };
    const Case cases[] = {
        {"hidraw0", 0u},
        {"hidraw12", 12u},
        {"hidraw", std::nullopt},
        {"hidraw1a", std::nullopt},
        {"hidraw-1", std::nullopt},
        {"event3", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HidrawNumber(c.sysname), c.expected) << c.sysname;
    }
}

TEST(LinuxSysfsText, IdentityFollowsTheHidDeviceInstance) {
    const char* const hidraw = "/sys/devices/virtual/hidraw/hidraw0";
    const char* const firstPlug = "/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/0003:169B:0710.0005";
    const char* const secondPlug = "/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/0003:169B:0710.0006";
    EXPECT_EQ(ChooseIdentity(firstPlug, hidraw), firstPlug);
    EXPECT_NE(ChooseIdentity(firstPlug, hidraw), ChooseIdentity(secondPlug, hidraw));
    EXPECT_EQ(ChooseIdentity("", hidraw), hidraw);
}

TEST(LinuxSysfsText, TakesTheProductStringFromUsbOrElseTheHidName) {
    const std::optional<std::string> usbProduct = "ZM-880";
    const std::optional<std::string> hidName = "Vendor ZM-880";
    EXPECT_EQ(ChooseProductString(true, usbProduct, hidName), usbProduct);
    // A USB device without a product string has none; the kernel's made-up name is no substitute.
    EXPECT_EQ(ChooseProductString(true, std::nullopt, hidName), std::nullopt);
    EXPECT_EQ(ChooseProductString(false, std::nullopt, hidName), hidName);
}

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zm880-sysfs-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(LinuxSysfsChannel, AnswersFromSysfsAndMovesNothing) {
    TempDir hidDevice;
    ASSERT_FALSE(hidDevice.path().empty());
    const std::array<std::uint8_t, 5> descriptor = {0x06, 0x00, 0xFF, 0xA1, 0xC0};
    std::ofstream(hidDevice.path() + "/report_descriptor", std::ios::binary)
        .write(reinterpret_cast<const char*>(descriptor.data()), descriptor.size());

    SysfsNode node;
    node.hidSyspath = hidDevice.path();
    node.hidId = HidId{0x0003, 0x169B, 0x0710};
    node.bcdDevice = 0x0126;
    node.product = "ZM-880";
    SysfsChannel channel(node);

    EXPECT_TRUE(channel.AccessDenied());
    const auto attributes = channel.GetAttributes();
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->VendorID, 0x169B);
    EXPECT_EQ(attributes->ProductID, 0x0710);
    EXPECT_EQ(attributes->VersionNumber, 0x0126);
    EXPECT_EQ(channel.GetReportDescriptor(),
              std::vector<std::uint8_t>(descriptor.begin(), descriptor.end()));
    EXPECT_EQ(channel.GetProductString(), "ZM-880");
    EXPECT_EQ(channel.GetManufacturerString(), std::nullopt);

    std::array<std::uint8_t, 65> report{3};
    EXPECT_FALSE(channel.GetFeature(report));
    EXPECT_FALSE(channel.SetFeature(report));
    EXPECT_FALSE(channel.ReadInput(report, milliseconds(0)).ok);

    SysfsNode bare;
    SysfsChannel unknown(bare);
    EXPECT_EQ(unknown.GetAttributes(), std::nullopt);
    EXPECT_EQ(unknown.GetReportDescriptor(), std::nullopt);
}

// A pipe is no hidraw node: every ioctl fails, which must come back as a plain failure, while
// input reads see what is written to it.
TEST(LinuxHidrawChannel, ReportsFailedIoctlsAndReadsWhatArrives) {
    std::array<int, 2> ends{};
    ASSERT_EQ(::pipe2(ends.data(), O_CLOEXEC), 0);
    HidrawChannel channel(ends[0], SysfsNode{}, OpenMode::ReadWrite);

    std::array<std::uint8_t, 65> report{3};
    EXPECT_FALSE(channel.GetFeature(report));
    EXPECT_EQ(channel.LastTransferError().kind, TransferError::Kind::Failed);
    EXPECT_EQ(channel.LastTransferError().detail, std::strerror(ENOTTY));
    EXPECT_FALSE(channel.SetFeature(report));
    EXPECT_EQ(channel.LastTransferError().detail, std::strerror(ENOTTY));
    EXPECT_FALSE(channel.GetFeature(std::span<std::uint8_t>()));
    EXPECT_EQ(channel.GetAttributes(), std::nullopt);
    EXPECT_EQ(channel.GetReportDescriptor(), std::nullopt);
    EXPECT_EQ(channel.GetNumInputBuffers(), std::nullopt);
    EXPECT_FALSE(channel.SetNumInputBuffers(64));
    EXPECT_FALSE(channel.AccessDenied());

    std::array<std::uint8_t, 8> input{};
    const InputRead idle = channel.ReadInput(input, milliseconds(10));
    EXPECT_TRUE(idle.ok);
    EXPECT_EQ(idle.size, 0u);

    const std::array<std::uint8_t, 3> sent = {0x01, 0xAB, 0xCD};
    ASSERT_EQ(::write(ends[1], sent.data(), sent.size()), 3);
    const InputRead got = channel.ReadInput(input, milliseconds(1000));
    EXPECT_TRUE(got.ok);
    ASSERT_EQ(got.size, 3u);
    EXPECT_EQ(input[1], 0xAB);
    ::close(ends[1]);
}

TEST(LinuxTransferErrno, NamesTheCauseOfAFailedIoctl) {
    using Kind = TransferError::Kind;
    struct Case {
        int error;
        milliseconds waited;
        Kind kind;
    };
    const Case cases[] = {
        {ENODEV, milliseconds(0), Kind::Removed},
        {ESHUTDOWN, milliseconds(0), Kind::Removed},
        {ENXIO, milliseconds(0), Kind::Removed},
        {EACCES, milliseconds(0), Kind::AccessDenied},
        {EPERM, milliseconds(0), Kind::AccessDenied},
        {ETIMEDOUT, milliseconds(0), Kind::NoAnswer},
        {EBUSY, milliseconds(0), Kind::Busy},
        {EAGAIN, milliseconds(0), Kind::Busy},
        // uhid's answer to a request nobody served, after its 5 s wait.
        {EIO, milliseconds(5000), Kind::NoAnswer},
        // The device answered at once with an error.
        {EIO, milliseconds(3), Kind::Failed},
        {EPIPE, milliseconds(0), Kind::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        const TransferError cause = TransferErrorFromErrno(c.error, c.waited);
        EXPECT_EQ(cause.kind, c.kind);
        EXPECT_EQ(cause.detail.empty(), c.kind != Kind::Failed);
    }
    EXPECT_EQ(DescribeTransferError(TransferErrorFromErrno(EPIPE, milliseconds(0))),
              std::string("the transfer failed: ") + std::strerror(EPIPE));
}

TEST(LinuxHidrawChannel, QueryOnlyRefusesTransfers) {
    std::array<int, 2> ends{};
    ASSERT_EQ(::pipe2(ends.data(), O_CLOEXEC), 0);
    HidrawChannel channel(ends[0], SysfsNode{}, OpenMode::QueryOnly);
    const std::array<std::uint8_t, 2> sent = {0x01, 0x02};
    ASSERT_EQ(::write(ends[1], sent.data(), sent.size()), 2);

    std::array<std::uint8_t, 8> buffer{};
    EXPECT_FALSE(channel.ReadInput(buffer, milliseconds(100)).ok);
    EXPECT_FALSE(channel.SetFeature(buffer));
    EXPECT_EQ(channel.LastTransferError().kind, TransferError::Kind::Failed);
    ::close(ends[1]);
}

std::size_t HidrawNodesInSysfs() {
    std::error_code error;
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
        count += entry.path().filename().string().starts_with("hidraw") ? 1 : 0;
    }
    return count;
}

// On a machine without HID devices the walk is empty; elsewhere it lists each node once, in the
// same order every time.
TEST(LinuxPlatform, ListsTheHidrawNodesOfThisMachine) {
    LinuxPlatform platform;
    const std::vector<InterfaceEntry> first = platform.PresentInterfaces();
    EXPECT_EQ(first.size(), HidrawNodesInSysfs());
    std::set<std::string> identities;
    for (const InterfaceEntry& entry : first) {
        EXPECT_TRUE(entry.path.starts_with("/dev/hidraw")) << entry.path;
        EXPECT_TRUE(identities.insert(entry.identity).second) << entry.identity;
    }
    const std::vector<InterfaceEntry> second = platform.PresentInterfaces();
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].identity, first[i].identity);
        EXPECT_EQ(second[i].path, first[i].path);
    }
}

TEST(LinuxPlatform, SaysWhyANodeCannotBeOpened) {
    LinuxPlatform platform;
    struct Case {
        const char* path;
        OpenMode mode;
        OpenError expected;
    };
    const Case cases[] = {
        {"/dev/hidraw-absent", OpenMode::ReadWrite, OpenError::NotFound},
        {"/dev/hidraw-absent", OpenMode::QueryOnly, OpenError::NotFound},
        {"/dev/null", OpenMode::ReadWrite, OpenError::Failed},  // opens, but is no hidraw node
    };
    for (const Case& c : cases) {
        OpenError error = OpenError::None;
        EXPECT_EQ(platform.Open(c.path, c.mode, error), nullptr) << c.path;
        EXPECT_EQ(error, c.expected) << c.path;
    }
}

TEST(LinuxPlatform, FollowsChangesOrSaysItCannot) {
    LinuxPlatform platform;
    const int fd = static_cast<int>(platform.ChangeWaitable());
    EXPECT_GE(fd, -1);
    if (fd >= 0) {
        EXPECT_GE(::fcntl(fd, F_GETFD), 0);
    }
    // Nothing is plugged while the test runs, and draining must not wait for events.
    EXPECT_EQ(platform.TakeChanges(), 0);
}

}  // namespace
}  // namespace zm880::hid::hidraw
