#include <gtest/gtest.h>
#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hid/OsServices.h"
#include "hid/windows/WindowsChannel.h"
#include "hid/windows/WindowsPlatform.h"

// The Windows backend against a table of fake SetupApi.dll and HID.dll entry points: they are
// bound by name, so the fakes stand in through the library loader.
namespace zm880::hid::windows {
namespace {

using namespace std::chrono_literals;

struct FakeDevice {
    std::string path;
    DWORD devInst = 0;
    USHORT vendor = 0x169B;
    USHORT product = 0x0710;
    USHORT version = 0x0100;
    USHORT featureLength = 65;
    std::u16string productText = u"ZM-880 RFID Reader";
};

// What the fake system holds and what it saw. One at a time: the entry points are plain
// functions.
struct FakeSystem {
    std::vector<FakeDevice> devices;
    bool noDeviceSet = false;
    // Interfaces whose first detail call answers differently from the protocol.
    std::map<DWORD, DWORD> firstDetailError;
    std::set<DWORD> firstDetailSucceeds;
    GUID askedClass{};
    int detailCallsWithoutBuffer = 0;
    int detailCallsWithBuffer = 0;
    int setsDestroyed = 0;
    std::vector<std::string> opened;
    std::vector<DWORD> openAccess;
    std::vector<ULONG> transferLengths;
    std::vector<std::uint8_t> featureAnswer;
    std::vector<std::uint8_t> lastSet;
    DWORD featureError = 0;
    ULONG inputBuffers = 32;
    int closed = 0;
    // Input reads: the bytes the next read completes with; none means it never completes.
    std::vector<std::uint8_t> input;
    bool inputArrives = true;
    LPOVERLAPPED_COMPLETION_ROUTINE pendingRoutine = nullptr;
    LPOVERLAPPED pendingRequest = nullptr;
    int cancels = 0;
};

FakeSystem* fake = nullptr;

const HDEVINFO kSet = reinterpret_cast<HDEVINFO>(0x5E7);

HANDLE HandleOf(std::size_t index) {
    return reinterpret_cast<HANDLE>(0x1000 + index);
}

FakeDevice& DeviceOf(HANDLE handle) {
    return fake->devices.at(reinterpret_cast<std::uintptr_t>(handle) - 0x1000);
}

HDEVINFO WINAPI FakeGetClassDevs(const GUID* guid, PCSTR, HWND, DWORD flags) {
    fake->askedClass = *guid;
    if (fake->noDeviceSet || flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        return INVALID_HANDLE_VALUE;
    }
    return kSet;
}

WINBOOL WINAPI FakeEnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index,
                                  PSP_DEVICE_INTERFACE_DATA data) {
    if (set != kSet || index >= fake->devices.size() || data->cbSize != sizeof *data) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->Reserved = index;
    return TRUE;
}

WINBOOL WINAPI FakeInterfaceDetail(HDEVINFO, PSP_DEVICE_INTERFACE_DATA data,
                                   PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD size,
                                   PDWORD required, PSP_DEVINFO_DATA device) {
    const auto index = static_cast<DWORD>(data->Reserved);
    const FakeDevice& entry = fake->devices.at(index);
    const DWORD needed = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + entry.path.size() + 1);
    if (detail == nullptr) {
        ++fake->detailCallsWithoutBuffer;
        *required = needed;
        if (fake->firstDetailSucceeds.count(index) != 0) {
            return TRUE;
        }
        const auto error = fake->firstDetailError.find(index);
        SetLastError(error == fake->firstDetailError.end() ? ERROR_INSUFFICIENT_BUFFER
                                                           : error->second);
        return FALSE;
    }
    ++fake->detailCallsWithBuffer;
    if (size < needed || detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::memcpy(detail->DevicePath, entry.path.c_str(), entry.path.size() + 1);
    device->DevInst = entry.devInst;
    return TRUE;
}

WINBOOL WINAPI FakeRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE, DWORD,
                                    PDWORD) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
}

WINBOOL WINAPI FakeDestroySet(HDEVINFO set) {
    fake->setsDestroyed += set == kSet ? 1 : 0;
    return TRUE;
}

const GUID kFakeHidClass{0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

void NTAPI FakeGetHidGuid(LPGUID guid) {
    *guid = kFakeHidClass;
}

BOOLEAN NTAPI FakeGetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    const FakeDevice& device = DeviceOf(handle);
    attributes->VendorID = device.vendor;
    attributes->ProductID = device.product;
    attributes->VersionNumber = device.version;
    return TRUE;
}

BOOLEAN NTAPI FakeGetPreparsed(HANDLE handle, PHIDP_PREPARSED_DATA* preparsed) {
    *preparsed = reinterpret_cast<PHIDP_PREPARSED_DATA>(handle);
    return TRUE;
}

BOOLEAN NTAPI FakeFreePreparsed(PHIDP_PREPARSED_DATA) {
    return TRUE;
}

NTSTATUS NTAPI FakeGetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps) {
    const FakeDevice& device = DeviceOf(reinterpret_cast<HANDLE>(preparsed));
    caps->InputReportByteLength = 9;
    caps->FeatureReportByteLength = device.featureLength;
    return HIDP_STATUS_SUCCESS;
}

BOOLEAN NTAPI FakeGetProduct(HANDLE handle, PVOID buffer, ULONG length) {
    const std::u16string& text = DeviceOf(handle).productText;
    if (text.empty() || length != 508) {
        return FALSE;
    }
    // Fills the whole buffer like a device that sends the longest string it may.
    const std::size_t units = std::min<std::size_t>(text.size(), length / 2);
    std::memcpy(buffer, text.data(), units * 2);
    return TRUE;
}

BOOLEAN NTAPI FakeGetManufacturer(HANDLE, PVOID, ULONG) {
    return FALSE;
}

// As on Windows, a feature buffer shorter than the interface's feature length is refused.
bool TakesFeatureLength(HANDLE handle, ULONG length) {
    fake->transferLengths.push_back(length);
    if (length < DeviceOf(handle).featureLength) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (fake->featureError != 0) {
        SetLastError(fake->featureError);
        return false;
    }
    return true;
}

BOOLEAN NTAPI FakeGetFeature(HANDLE handle, PVOID buffer, ULONG length) {
    if (!TakesFeatureLength(handle, length)) {
        return FALSE;
    }
    std::memcpy(buffer, fake->featureAnswer.data(),
                std::min<std::size_t>(length, fake->featureAnswer.size()));
    return TRUE;
}

BOOLEAN NTAPI FakeSetFeature(HANDLE handle, PVOID buffer, ULONG length) {
    if (!TakesFeatureLength(handle, length)) {
        return FALSE;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    fake->lastSet.assign(bytes, bytes + length);
    return TRUE;
}

BOOLEAN NTAPI FakeGetInputBuffers(HANDLE, PULONG count) {
    *count = fake->inputBuffers;
    return TRUE;
}

BOOLEAN NTAPI FakeSetInputBuffers(HANDLE, ULONG count) {
    fake->inputBuffers = count;
    return TRUE;
}

HANDLE WINAPI FakeCreateFile(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                             HANDLE) {
    for (std::size_t i = 0; i < fake->devices.size(); ++i) {
        if (fake->devices[i].path == path) {
            fake->opened.push_back(path);
            fake->openAccess.push_back(access);
            return HandleOf(i);
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

WINBOOL WINAPI FakeClose(HANDLE) {
    ++fake->closed;
    return TRUE;
}

WINBOOL WINAPI FakeReadEx(HANDLE, LPVOID buffer, DWORD, LPOVERLAPPED request,
                          LPOVERLAPPED_COMPLETION_ROUTINE routine) {
    std::memcpy(buffer, fake->input.data(), fake->input.size());
    fake->pendingRoutine = routine;
    fake->pendingRequest = request;
    return TRUE;
}

// Runs the pending completion the way an alertable wait does; a read that does not arrive
// completes only once it is cancelled.
DWORD WINAPI FakeSleep(DWORD, WINBOOL alertable) {
    if (!alertable || fake->pendingRoutine == nullptr ||
        (!fake->inputArrives && fake->cancels == 0)) {
        return 0;
    }
    const auto routine = std::exchange(fake->pendingRoutine, nullptr);
    if (fake->cancels > 0) {
        routine(ERROR_OPERATION_ABORTED, 0, fake->pendingRequest);
    } else {
        routine(0, static_cast<DWORD>(fake->input.size()), fake->pendingRequest);
    }
    return WAIT_IO_COMPLETION;
}

WINBOOL WINAPI FakeCancel(HANDLE) {
    ++fake->cancels;
    return TRUE;
}

template <typename Function>
FARPROC Address(Function function) {
    return std::bit_cast<FARPROC>(function);
}

// Serves the fakes by name and counts loads and frees per library.
class FakeLoader : public LibraryLoader {
  public:
    std::set<std::string> missingLibraries;
    std::set<std::string> missingEntries;
    std::map<std::string, int> loads;
    std::map<std::string, int> frees;

    HMODULE Load(const char* name) override {
        ++loads[name];
        if (missingLibraries.count(name) != 0) {
            return nullptr;
        }
        return reinterpret_cast<HMODULE>(const_cast<char*>(names_.insert(name).first->c_str()));
    }
    FARPROC Resolve(HMODULE, const char* entry) override {
        const auto found = kEntries.find(entry);
        return found == kEntries.end() || missingEntries.count(entry) != 0 ? nullptr
                                                                           : found->second;
    }
    void Free(HMODULE library) override { ++frees[reinterpret_cast<const char*>(library)]; }

  private:
    std::set<std::string> names_;
    const std::map<std::string, FARPROC> kEntries{
        {"SetupDiGetClassDevsA", Address(FakeGetClassDevs)},
        {"SetupDiEnumDeviceInterfaces", Address(FakeEnumInterfaces)},
        {"SetupDiGetDeviceInterfaceDetailA", Address(FakeInterfaceDetail)},
        {"SetupDiGetDeviceRegistryPropertyA", Address(FakeRegistryProperty)},
        {"SetupDiDestroyDeviceInfoList", Address(FakeDestroySet)},
        {"HidD_GetHidGuid", Address(FakeGetHidGuid)},
        {"HidD_GetAttributes", Address(FakeGetAttributes)},
        {"HidD_GetPreparsedData", Address(FakeGetPreparsed)},
        {"HidD_FreePreparsedData", Address(FakeFreePreparsed)},
        {"HidP_GetCaps", Address(FakeGetCaps)},
        {"HidD_GetManufacturerString", Address(FakeGetManufacturer)},
        {"HidD_GetProductString", Address(FakeGetProduct)},
        {"HidD_GetFeature", Address(FakeGetFeature)},
        {"HidD_SetFeature", Address(FakeSetFeature)},
        {"HidD_GetNumInputBuffers", Address(FakeGetInputBuffers)},
        {"HidD_SetNumInputBuffers", Address(FakeSetInputBuffers)},
    };
};

const GUID kFixedHidClass{
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

class WindowsBackend : public ::testing::Test {
  protected:
    void SetUp() override {
        fake = &system_;
        system_.devices = {{"\\\\?\\hid#vid_169b&pid_0710#1", 11},
                           {"\\\\?\\hid#vid_046d&pid_c31c#2", 12},
                           {"\\\\?\\hid#vid_169b&pid_0710#3", 13}};
    }
    void TearDown() override { fake = nullptr; }

    // A platform on the fake libraries, with the fake file calls.
    std::unique_ptr<WindowsPlatform> MakePlatform() { return MakePlatform(loader_); }
    std::unique_ptr<WindowsPlatform> MakePlatform(FakeLoader& loader) {
        libraries_ = std::make_unique<SharedHidLibraries>(loader);
        auto api = std::make_shared<HidApi>(*libraries_->Acquire());
        api->file = {FakeCreateFile, FakeClose, FakeReadEx, FakeSleep, FakeCancel};
        return std::make_unique<WindowsPlatform>(api);
    }

    std::unique_ptr<Channel> OpenFirst(WindowsPlatform& platform,
                                       OpenMode mode = OpenMode::ReadWrite) {
        OpenError error = OpenError::Failed;
        auto channel = platform.Open(system_.devices[0].path, mode, error);
        EXPECT_EQ(error, OpenError::None);
        return channel;
    }

    FakeSystem system_;
    FakeLoader loader_;
    std::unique_ptr<SharedHidLibraries> libraries_;
};

TEST_F(WindowsBackend, WalkListsEveryInterfaceInOrderAskingTheDetailTwice) {
    auto platform = MakePlatform();
    const std::vector<InterfaceEntry> entries = platform->PresentInterfaces();
    ASSERT_EQ(entries.size(), 3u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].path, system_.devices[i].path);
        EXPECT_EQ(entries[i].identity,
                  std::to_string(system_.devices[i].devInst) + ":" + system_.devices[i].path);
    }
    EXPECT_EQ(system_.detailCallsWithoutBuffer, 3);
    EXPECT_EQ(system_.detailCallsWithBuffer, 3);
    EXPECT_EQ(system_.setsDestroyed, 1);
    EXPECT_EQ(std::memcmp(&system_.askedClass, &kFakeHidClass, sizeof(GUID)), 0);
}

TEST_F(WindowsBackend, InterfaceWhoseFirstDetailCallBreaksTheProtocolIsSkipped) {
    // The first call must fail with error 122 and name a size; anything else skips the entry.
    system_.firstDetailSucceeds = {0};
    system_.firstDetailError = {{2, ERROR_INVALID_PARAMETER}};
    auto platform = MakePlatform();
    const std::vector<InterfaceEntry> entries = platform->PresentInterfaces();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].path, system_.devices[1].path);
    EXPECT_EQ(system_.detailCallsWithBuffer, 1);
}

TEST_F(WindowsBackend, InvalidDeviceSetMeansNoDevices) {
    system_.noDeviceSet = true;
    auto platform = MakePlatform();
    EXPECT_TRUE(platform->PresentInterfaces().empty());
    EXPECT_EQ(system_.setsDestroyed, 0);
}

TEST_F(WindowsBackend, LibraryMissingAnEntryPointIsFreedAndAbsent) {
    struct Case {
        std::string missing;
        std::string library;  // the library the missing piece belongs to, "" for none
        bool setupApi;
        bool hid;
    };
    const Case cases[] = {{"SetupDiEnumDeviceInterfaces", "SetupApi.dll", false, false},
                          {"SetupApi.dll", "SetupApi.dll", false, false},
                          {"HidD_SetFeature", "HID.dll", true, false},
                          {"HID.dll", "HID.dll", true, false},
                          {"", "", true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missing);
        FakeLoader loader;
        const bool wholeLibrary = c.missing == c.library;
        (wholeLibrary ? loader.missingLibraries : loader.missingEntries).insert(c.missing);
        auto platform = MakePlatform(loader);
        if (!c.library.empty()) {
            EXPECT_EQ(loader.frees[c.library], wholeLibrary ? 0 : 1) << "freed at once";
        }
        const std::vector<InterfaceEntry> entries = platform->PresentInterfaces();
        EXPECT_EQ(entries.size(), c.setupApi ? 3u : 0u);
        // HID.dll is only tried when SetupApi.dll is there.
        EXPECT_EQ(loader.loads["HID.dll"], c.setupApi ? 1 : 0);
        if (c.setupApi) {
            // Without HID.dll the fixed class stands in, and channels answer nothing.
            EXPECT_EQ(std::memcmp(&system_.askedClass, c.hid ? &kFakeHidClass : &kFixedHidClass,
                                  sizeof(GUID)),
                      0);
            OpenError error = OpenError::Failed;
            auto channel = platform->Open(entries[0].path, OpenMode::ReadWrite, error);
            ASSERT_NE(channel, nullptr);
            EXPECT_EQ(channel->GetAttributes().has_value(), c.hid);
            std::vector<std::uint8_t> report(65, 0);
            report[0] = 3;
            EXPECT_EQ(channel->SetFeature(report), c.hid);
        }
        platform.reset();
        libraries_.reset();
        // Whatever was loaded has been freed exactly once.
        for (const auto& [name, count] : loader.loads) {
            const bool loaded = loader.missingLibraries.count(name) == 0;
            EXPECT_EQ(loader.frees[name], loaded ? count : 0) << name;
        }
    }
}

TEST_F(WindowsBackend, LibrariesAreSharedAndFreedByTheLastUser) {
    SharedHidLibraries libraries(loader_);
    auto first = libraries.Acquire();
    auto second = libraries.Acquire();
    EXPECT_EQ(first, second);
    EXPECT_EQ(loader_.loads["SetupApi.dll"], 1);
    first.reset();
    EXPECT_EQ(loader_.frees["SetupApi.dll"], 0);
    second.reset();
    EXPECT_EQ(loader_.frees["SetupApi.dll"], 1);
    EXPECT_EQ(loader_.frees["HID.dll"], 1);
    libraries.Acquire();
    EXPECT_EQ(loader_.loads["SetupApi.dll"], 2) << "loaded again after the last user";
}

TEST_F(WindowsBackend, ChannelsOpenReadWriteOrWithoutAccessAndAnswerQueries) {
    system_.devices[0].productText = u"Le\u00E9ser \U0001F511";
    auto platform = MakePlatform();
    auto channel = OpenFirst(*platform);
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(system_.openAccess.back(), GENERIC_READ | GENERIC_WRITE);
    const Attributes attributes = channel->GetAttributes().value();
    EXPECT_EQ(attributes.VendorID, 0x169B);
    EXPECT_EQ(attributes.ProductID, 0x0710);
    EXPECT_EQ(attributes.VersionNumber, 0x0100);
    EXPECT_EQ(channel->GetCaps(), (Caps{9, 0, 65}));
    EXPECT_EQ(channel->GetReportDescriptor(), std::nullopt);
    EXPECT_EQ(channel->GetProductString(), "Le\u00E9ser \U0001F511");
    EXPECT_EQ(channel->GetManufacturerString(), std::nullopt);
    EXPECT_TRUE(channel->SetNumInputBuffers(64));
    EXPECT_EQ(channel->GetNumInputBuffers(), 64);
    channel.reset();
    EXPECT_EQ(system_.closed, 1);

    auto query = OpenFirst(*platform, OpenMode::QueryOnly);
    EXPECT_EQ(system_.openAccess.back(), 0u);
    EXPECT_TRUE(query->GetAttributes().has_value());
    std::vector<std::uint8_t> report(65, 0);
    report[0] = 3;
    EXPECT_FALSE(query->GetFeature(report));
    EXPECT_EQ(query->LastTransferError().kind, TransferError::Kind::AccessDenied);
    EXPECT_TRUE(system_.transferLengths.empty()) << "a query-only channel moves nothing";

    OpenError error = OpenError::None;
    EXPECT_EQ(platform->Open("\\\\?\\gone", OpenMode::ReadWrite, error), nullptr);
    EXPECT_EQ(error, OpenError::NotFound);
}

TEST_F(WindowsBackend, ProductStringOfAFullBufferEndsAt254Characters) {
    system_.devices[0].productText = std::u16string(300, u'x');
    auto platform = MakePlatform();
    EXPECT_EQ(OpenFirst(*platform)->GetProductString(), std::string(254, 'x'));
}

TEST_F(WindowsBackend, FeatureTransfersMoveExactlyTheGivenLengthAndSayWhyTheyFailed) {
    auto platform = MakePlatform();
    auto channel = OpenFirst(*platform);
    system_.featureAnswer = {3, 1, 0x15};
    std::vector<std::uint8_t> report(65, 0);
    report[0] = 3;
    ASSERT_TRUE(channel->GetFeature(report));
    EXPECT_EQ(report[2], 0x15);
    ASSERT_TRUE(channel->SetFeature(report));
    EXPECT_EQ(system_.transferLengths, (std::vector<ULONG>{65, 65}));
    EXPECT_EQ(channel->LastTransferError().kind, TransferError::Kind::None);

    for (const auto& [code, kind] :
         {std::pair{DWORD{ERROR_DEVICE_NOT_CONNECTED}, TransferError::Kind::Removed},
          std::pair{DWORD{ERROR_ACCESS_DENIED}, TransferError::Kind::AccessDenied},
          std::pair{DWORD{ERROR_SEM_TIMEOUT}, TransferError::Kind::NoAnswer},
          std::pair{DWORD{ERROR_GEN_FAILURE}, TransferError::Kind::Failed}}) {
        system_.featureError = code;
        EXPECT_FALSE(channel->SetFeature(report));
        EXPECT_EQ(channel->LastTransferError().kind, kind) << code;
    }
    EXPECT_FALSE(channel->LastTransferError().detail.empty());
}

// The loader's reports are shorter than the settings record; Windows moves feature reports only in
// buffers of the interface's feature length.
TEST_F(WindowsBackend, ShorterFeatureReportsTravelInBuffersOfTheFeatureLength) {
    auto platform = MakePlatform();
    auto channel = OpenFirst(*platform);
    const std::vector<std::uint8_t> command{2, 0x11, 12, 0};
    ASSERT_TRUE(channel->SetFeature(command));
    std::vector<std::uint8_t> sent(65, 0);
    std::copy(command.begin(), command.end(), sent.begin());
    EXPECT_EQ(system_.lastSet, sent) << "the report, then zeros";

    system_.featureAnswer = std::vector<std::uint8_t>(65, 0xAA);
    system_.featureAnswer[0] = 5;
    system_.featureAnswer[1] = 1;
    std::vector<std::uint8_t> status{5, 2};
    ASSERT_TRUE(channel->GetFeature(status));
    EXPECT_EQ(status, (std::vector<std::uint8_t>{5, 1})) << "only the asked bytes come back";
    EXPECT_EQ(system_.transferLengths, (std::vector<ULONG>{65, 65}));
}

TEST_F(WindowsBackend, InputReadsCompleteThroughTheAlertableWaitOrAreCancelled) {
    auto platform = MakePlatform();
    auto channel = OpenFirst(*platform);
    system_.input = {1, 2, 3};
    std::vector<std::uint8_t> buffer(9, 0);
    const InputRead read = channel->ReadInput(buffer, 100ms);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(read.size, 3u);
    EXPECT_EQ(buffer[2], 3);
    EXPECT_EQ(system_.openAccess.back(), GENERIC_READ) << "the read handle is a second one";

    system_.inputArrives = false;
    const InputRead none = channel->ReadInput(buffer, 10ms);
    EXPECT_TRUE(none.ok);
    EXPECT_EQ(none.size, 0u);
    EXPECT_EQ(system_.cancels, 1);
    EXPECT_EQ(system_.pendingRoutine, nullptr) << "the cancelled read was waited for";
}

TEST_F(WindowsBackend, DeviceChangeMessagesSignalTheChangeWaitable) {
    auto platform = MakePlatform();
    ASSERT_NE(platform->ChangeWindow(), nullptr);
    const Waitable waitable = platform->ChangeWaitable();
    ASSERT_NE(waitable, kNoWaitable);
    EXPECT_FALSE(WaitSignalled(waitable, 0ms));
    // Only interface arrivals, removals and node changes count.
    SendMessageA(platform->ChangeWindow(), WM_DEVICECHANGE, DBT_CONFIGCHANGED, 0);
    EXPECT_FALSE(WaitSignalled(waitable, 0ms));
    SendMessageA(platform->ChangeWindow(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    SendMessageA(platform->ChangeWindow(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_TRUE(WaitSignalled(waitable, 1000ms));
    EXPECT_EQ(platform->TakeChanges(), 2);
    EXPECT_FALSE(WaitSignalled(waitable, 0ms));
    EXPECT_EQ(platform->TakeChanges(), 0);
}

TEST(WindowsText, Utf16BecomesUtf8UpToTheFirstNul) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"ZM-880", "ZM-880"},
        {u"Gr\u00FC\u00DFe", "Gr\u00FC\u00DFe"},
        {std::u16string(u"ab\0cd", 5), "ab"},
        {u"\U0001F511", "\xF0\x9F\x94\x91"},
        {std::u16string(1, char16_t(0xD800)) + u"x", "\xEF\xBF\xBDx"},
    };
    for (const auto& [utf16, utf8] : cases) {
        EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
    }
}

}  // namespace
}  // namespace zm880::hid::windows
