#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "hid/ReportDescriptor.h"
#include "hid/OsServices.h"
#include "hid/sim/SimulatedBus.h"
#include "sim/PlainHidDevice.h"

namespace zm880::hid {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool Readable(Waitable waitable) {
    return WaitSignalled(waitable, std::chrono::milliseconds(0));
}

std::unique_ptr<Channel> OpenOrFail(SimulatedBus& bus, std::size_t slot,
                                    OpenMode mode = OpenMode::ReadWrite) {
    OpenError error = OpenError::Failed;
    auto channel = bus.Open(bus.PathOf(slot), mode, error);
    EXPECT_EQ(error, OpenError::None);
    return channel;
}

bool ReadSettings(Channel& channel) {
    Bytes report(65, 0);
    report[0] = 3;
    return channel.GetFeature(report);
}

class SimStateFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zm880-sim-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string File(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name)) << text;
        return File(name);
    }

    fs::path dir_;
};

TEST(SimBus, ListsAndDescribesItsDevices) {
    SimulatedBus bus;
    const std::size_t reader = bus.Add(std::make_unique<sim::ReaderModel>());
    const std::size_t keyboard =
        bus.Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
    bus.Reader(reader).Identity().product.clear();

    const auto present = bus.PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_NE(present[0].identity, present[1].identity);
    EXPECT_EQ(present[0].path, bus.PathOf(reader));

    auto channel = OpenOrFail(bus, reader);
    ASSERT_TRUE(channel);
    const auto attributes = channel->GetAttributes();
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->VendorID, 0x169B);
    EXPECT_EQ(attributes->ProductID, 0x0710);
    EXPECT_TRUE(channel->GetManufacturerString().has_value());
    EXPECT_FALSE(channel->GetProductString().has_value()) << "an empty string is no string";
    EXPECT_EQ(ComputeCaps(*channel->GetReportDescriptor())->FeatureReportByteLength, 65);
    EXPECT_TRUE(ReadSettings(*channel));

    auto other = OpenOrFail(bus, keyboard);
    ASSERT_TRUE(other);
    EXPECT_NE(other->GetAttributes()->VendorID, 0x169B);
    const auto caps = ComputeCaps(*other->GetReportDescriptor());
    EXPECT_EQ(caps, (Caps{9, 2, 0}));
    EXPECT_FALSE(ReadSettings(*other)) << "a keyboard answers no feature report";

    OpenError error = OpenError::None;
    EXPECT_FALSE(bus.Open("sim:hidraw9", OpenMode::ReadWrite, error));
    EXPECT_EQ(error, OpenError::NotFound);
}

TEST(SimBus, SignalsPlugAndUnplugAndGivesAReplugANewIdentity) {
    SimulatedBus bus;
    EXPECT_FALSE(Readable(bus.ChangeWaitable()));
    const std::size_t slot = bus.Add(std::make_unique<sim::ReaderModel>());
    EXPECT_TRUE(Readable(bus.ChangeWaitable()));
    EXPECT_EQ(bus.TakeChanges(), 1);
    EXPECT_FALSE(Readable(bus.ChangeWaitable()));

    const std::string before = bus.PresentInterfaces().at(0).identity;
    auto stale = OpenOrFail(bus, slot);
    bus.Unplug(slot);
    EXPECT_TRUE(bus.PresentInterfaces().empty());
    EXPECT_FALSE(ReadSettings(*stale));
    EXPECT_FALSE(stale->GetAttributes().has_value());
    EXPECT_FALSE(stale->ReadInput({}, std::chrono::milliseconds(0)).ok);
    OpenError error = OpenError::None;
    EXPECT_FALSE(bus.Open(bus.PathOf(slot), OpenMode::ReadWrite, error));
    EXPECT_EQ(error, OpenError::NotFound);

    bus.Plug(slot);
    EXPECT_EQ(bus.TakeChanges(), 2);
    EXPECT_NE(bus.PresentInterfaces().at(0).identity, before);
    EXPECT_FALSE(ReadSettings(*stale)) << "a channel of the old plug stays dead";
    auto fresh = OpenOrFail(bus, slot);
    EXPECT_TRUE(ReadSettings(*fresh));
}

TEST(SimBus, OpenFaultsDecideWhatAChannelMayDo) {
    struct Case {
        sim::OpenFault fault;
        OpenMode mode;
        OpenError error;    // None: a channel comes back
        bool transfers;     // its feature transfers work
        bool accessDenied;  // it says AccessDenied()
    };
    const Case cases[] = {
        {sim::OpenFault::None, OpenMode::ReadWrite, OpenError::None, true, false},
        {sim::OpenFault::None, OpenMode::QueryOnly, OpenError::None, false, false},
        {sim::OpenFault::Refused, OpenMode::ReadWrite, OpenError::Failed, false, false},
        {sim::OpenFault::Refused, OpenMode::QueryOnly, OpenError::Failed, false, false},
        {sim::OpenFault::QueryOnly, OpenMode::ReadWrite, OpenError::Failed, false, false},
        {sim::OpenFault::QueryOnly, OpenMode::QueryOnly, OpenError::None, false, false},
        {sim::OpenFault::AccessDenied, OpenMode::ReadWrite, OpenError::AccessDenied, false, false},
        {sim::OpenFault::AccessDenied, OpenMode::QueryOnly, OpenError::None, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.fault) << " mode "
                                        << static_cast<int>(c.mode));
        SimulatedBus bus;
        const std::size_t slot = bus.Add(std::make_unique<sim::ReaderModel>());
        bus.Device(slot).Link().open = c.fault;
        OpenError error = OpenError::None;
        auto channel = bus.Open(bus.PathOf(slot), c.mode, error);
        EXPECT_EQ(error, c.error);
        ASSERT_EQ(channel != nullptr, c.error == OpenError::None);
        if (!channel) {
            continue;
        }
        EXPECT_EQ(channel->GetAttributes()->ProductID, 0x0710) << "queries always answer";
        EXPECT_EQ(ReadSettings(*channel), c.transfers);
        EXPECT_EQ(channel->AccessDenied(), c.accessDenied);
        EXPECT_EQ(bus.Device(slot).TransferLog().size(), c.transfers ? 1u : 0u)
            << "a refused transfer never reaches the device";
    }
}

TEST(SimBus, UnplugsAfterTheGivenNumberOfTransfers) {
    SimulatedBus bus;
    const std::size_t slot = bus.Add(std::make_unique<sim::ReaderModel>());
    bus.TakeChanges();
    bus.Device(slot).Link().unplugAfterTransfers = 2;
    auto channel = OpenOrFail(bus, slot);

    EXPECT_TRUE(ReadSettings(*channel));
    EXPECT_FALSE(Readable(bus.ChangeWaitable()));
    EXPECT_TRUE(ReadSettings(*channel));
    EXPECT_TRUE(Readable(bus.ChangeWaitable())) << "gone right after the second transfer";
    EXPECT_FALSE(bus.IsPlugged(slot));
    EXPECT_FALSE(ReadSettings(*channel));

    bus.Plug(slot);
    auto again = OpenOrFail(bus, slot);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(ReadSettings(*again)) << "the fault fired once";
    }
}

TEST(SimBus, EveryTransferTakesTheConfiguredLatency) {
    SimulatedBus bus;
    const std::size_t slot = bus.Add(std::make_unique<sim::ReaderModel>());
    bus.Device(slot).Link().latency = std::chrono::milliseconds(15);
    auto channel = OpenOrFail(bus, slot);
    const auto start = std::chrono::steady_clock::now();
    ReadSettings(*channel);
    ReadSettings(*channel);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(SimBus, DefaultPlatformHoldsOneQuietReader) {
    auto platform = MakeSimulatedPlatform("");
    const auto present = platform->PresentInterfaces();
    ASSERT_EQ(present.size(), 1u);
    EXPECT_EQ(platform->TakeChanges(), 0);
    OpenError error = OpenError::None;
    auto channel = platform->Open(present[0].path, OpenMode::ReadWrite, error);
    ASSERT_TRUE(channel);
    EXPECT_EQ(channel->GetAttributes()->VendorID, 0x169B);
}

TEST_F(SimStateFile, SeparateBusesShareOneReaderThroughTheFile) {
    const std::string path = File("bus.json");
    Bytes written(65, 0x5A);
    written[0] = 3;
    std::string identity;
    {
        SimulatedBus first(path);
        ASSERT_TRUE(fs::exists(path)) << "a missing file is created";
        ASSERT_EQ(first.DeviceCount(), 1u);
        identity = first.PresentInterfaces().at(0).identity;
        first.Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
        auto channel = OpenOrFail(first, 0);
        ASSERT_TRUE(channel->SetFeature(written));
        ASSERT_TRUE(channel->SetFeature(Bytes{2, 0x34, 0, 0}));

        sim::ReaderModel& reader = first.Reader(0);
        reader.Faults().failGet = {4};
        reader.Faults().statusAnswers = {{1, 3, 2}, {6, std::nullopt, 5}};
        reader.Faults().wrongChecksumPage = 7;
        reader.Link() = {sim::OpenFault::QueryOnly, 12, std::chrono::milliseconds(0)};
        reader.SetFeatureReportLength(33);
        reader.Flash()[600] = 0x42;
        first.Save();
    }
    SimulatedBus second(path);
    ASSERT_EQ(second.DeviceCount(), 2u);
    EXPECT_EQ(second.PresentInterfaces().at(0).identity, identity);
    const sim::ReaderModel& reader = second.Reader(0);
    EXPECT_TRUE(
        std::equal(reader.Settings().begin() + 1, reader.Settings().end(), written.begin() + 1));
    EXPECT_TRUE(reader.Loader().active) << "the loader was left running";
    EXPECT_EQ(reader.Faults().failGet, std::set<std::uint8_t>{4});
    EXPECT_EQ(reader.Faults().statusAnswers.size(), 2u);
    EXPECT_EQ(reader.Faults().statusAnswers[1], (sim::StatusAnswer{6, std::nullopt, 5}));
    EXPECT_EQ(reader.Faults().wrongChecksumPage, 7);
    EXPECT_EQ(reader.Link().open, sim::OpenFault::QueryOnly);
    EXPECT_EQ(reader.Link().unplugAfterTransfers, 12);
    EXPECT_EQ(reader.FeatureReportLength(), 33u);
    EXPECT_EQ(reader.Flash()[600], 0x42);
    EXPECT_EQ(second.Device(1).ReportDescriptor(), sim::KeyboardReportDescriptor());
    EXPECT_EQ(second.Device(1).Identity(), sim::MakeKeyboard().Identity());

    second.Unplug(1);
    SimulatedBus third(path);
    EXPECT_FALSE(third.IsPlugged(1)) << "an unplug is kept too";
}

TEST_F(SimStateFile, AMinimalFileFillsInDefaults) {
    const std::string path = Write(
        "min.json",
        R"({"devices": [{"kind": "reader", "faults": {"failSet": ["0x03"]}}, {"kind": "hid"}]})");
    SimulatedBus bus(path);
    ASSERT_EQ(bus.PresentInterfaces().size(), 2u);
    EXPECT_EQ(bus.Reader(0).Settings(), sim::ReaderModel::DefaultSettings());
    EXPECT_EQ(bus.Reader(0).Faults().failSet, std::set<std::uint8_t>{3});
    EXPECT_FALSE(bus.PresentInterfaces()[0].identity.empty());
}

TEST_F(SimStateFile, MalformedFilesAreRefusedNamingFileAndKey) {
    struct Case {
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"{\"devices\": [", "not a valid state file"},
        {R"({"devices": [{"kind": "printer"}]})", "devices[0].kind"},
        {R"({"devices": [{"setings": "03"}]})", "devices[0].setings: unknown key"},
        {R"({"devices": [{"settings": "03 01"}]})", "expected 64 bytes, found 2"},
        {R"({"devices": [{"settings": "0G"}]})", "'G' is not a hexadecimal digit"},
        {R"({"devices": [{"vendorId": 70000}]})", "devices[0].vendorId"},
        {R"({"devices": [{"faults": {"open": "never"}}]})", "devices[0].faults.open"},
        {R"({"devices": [{"faults": {"wrongChecksumPage": 20}}]})", "wrongChecksumPage"},
        {R"({"devices": [{"flash": ["FF"]}]})", "devices[0].flash"},
        {R"({"devices": [{"kind": "hid", "settings": ""}]})", "only a reader has this"},
        {R"({"devices": [{"featureReportLength": -1}]})", "featureReportLength"},
        // Hosts would take the two for one device, so one of them would never be handled.
        {R"({"devices": [{"identity": "sim-1"}, {}, {"identity": "sim-1", "plugged": false}]})",
         R"(devices[2].identity: "sim-1" is also the identity of devices[0])"},
    };
    for (const Case& c : cases) {
        const std::string path = Write("bad.json", c.text);
        try {
            SimulatedBus bus(path);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find(path), std::string::npos) << message;
            EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
        }
    }
}

}  // namespace
}  // namespace zm880::hid
