#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <hidsdi.h>
#include <hidpi.h>
// clang-format on

#include <memory>
#include <mutex>
#include <string>

// The entry points of SetupApi.dll and HID.dll, bound by name at run time, and the few file
// calls the channels make. Everything the Windows backend asks of the system goes through one
// table, so that tests hand in their own.
namespace zm880::hid::windows {

struct SetupApiEntries {
    decltype(&SetupDiGetClassDevsA) GetClassDevs = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailA) GetDeviceInterfaceDetail = nullptr;
    decltype(&SetupDiGetDeviceRegistryPropertyA) GetDeviceRegistryProperty = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;
};

struct HidEntries {
    decltype(&HidD_GetHidGuid) GetHidGuid = nullptr;
    decltype(&HidD_GetAttributes) GetAttributes = nullptr;
    decltype(&HidD_GetPreparsedData) GetPreparsedData = nullptr;
    decltype(&HidD_FreePreparsedData) FreePreparsedData = nullptr;
    decltype(&HidP_GetCaps) GetCaps = nullptr;
    decltype(&HidD_GetManufacturerString) GetManufacturerString = nullptr;
    decltype(&HidD_GetProductString) GetProductString = nullptr;
    decltype(&HidD_GetFeature) GetFeature = nullptr;
    decltype(&HidD_SetFeature) SetFeature = nullptr;
    decltype(&HidD_GetNumInputBuffers) GetNumInputBuffers = nullptr;
    decltype(&HidD_SetNumInputBuffers) SetNumInputBuffers = nullptr;
};

// Kernel calls; always present, bound at link time unless a test replaces them.
struct FileEntries {
    decltype(&CreateFileA) Create = ::CreateFileA;
    decltype(&CloseHandle) Close = ::CloseHandle;
    decltype(&ReadFileEx) ReadEx = ::ReadFileEx;
    decltype(&SleepEx) Sleep = ::SleepEx;
    decltype(&CancelIo) Cancel = ::CancelIo;
};

// The bound libraries. A library's table is null when it is absent.
struct HidApi {
    std::shared_ptr<const SetupApiEntries> setup;
    std::shared_ptr<const HidEntries> hid;
    FileEntries file;
};

// How libraries are found; the system's LoadLibraryA/GetProcAddress/FreeLibrary by default.
class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    virtual HMODULE Load(const char* name) = 0;
    virtual FARPROC Resolve(HMODULE library, const char* entry) = 0;
    virtual void Free(HMODULE library) = 0;
};

LibraryLoader& SystemLoader();

// The libraries shared by every platform object of the process: the first Acquire loads
// "SetupApi.dll" and, only when it is available, "HID.dll"; when the last holder lets go they
// are freed. A library is available only if every entry point of its binding resolves;
// otherwise it is freed at once and its table stays null.
class SharedHidLibraries {
  public:
    explicit SharedHidLibraries(LibraryLoader& loader) : loader_(loader) {}
    std::shared_ptr<const HidApi> Acquire();

  private:
    LibraryLoader& loader_;
    std::mutex mutex_;
    std::weak_ptr<const HidApi> current_;
};

SharedHidLibraries& ProcessHidLibraries();

// The HID interface class, from HID.dll when it is there, else the fixed one it would give.
GUID HidInterfaceClass(const HidApi& api);

}  // namespace zm880::hid::windows
