#include "hid/windows/HidLibraries.h"

#include <bit>

namespace zm880::hid::windows {
namespace {

class Win32Loader : public LibraryLoader {
  public:
    HMODULE Load(const char* name) override { return LoadLibraryA(name); }
    FARPROC Resolve(HMODULE library, const char* entry) override {
        return GetProcAddress(library, entry);
    }
    void Free(HMODULE library) override { FreeLibrary(library); }
};

// Resolves entries one by one and remembers whether any was missing.
class Binder {
  public:
    Binder(LibraryLoader& loader, HMODULE library) : loader_(loader), library_(library) {}

    template <typename Function>
    void operator()(Function& slot, const char* entry) {
        const FARPROC address = loader_.Resolve(library_, entry);
        complete_ = complete_ && address != nullptr;
        slot = address ? std::bit_cast<Function>(address) : nullptr;
    }
    bool Complete() const { return complete_; }

  private:
    LibraryLoader& loader_;
    HMODULE library_;
    bool complete_ = true;
};

void BindSetupApi(Binder& bind, SetupApiEntries& entries) {
    bind(entries.GetClassDevs, "SetupDiGetClassDevsA");
    bind(entries.EnumDeviceInterfaces, "SetupDiEnumDeviceInterfaces");
    bind(entries.GetDeviceInterfaceDetail, "SetupDiGetDeviceInterfaceDetailA");
    bind(entries.GetDeviceRegistryProperty, "SetupDiGetDeviceRegistryPropertyA");
    bind(entries.DestroyDeviceInfoList, "SetupDiDestroyDeviceInfoList");
}

void BindHid(Binder& bind, HidEntries& entries) {
    bind(entries.GetHidGuid, "HidD_GetHidGuid");
    bind(entries.GetAttributes, "HidD_GetAttributes");
    bind(entries.GetPreparsedData, "HidD_GetPreparsedData");
    bind(entries.FreePreparsedData, "HidD_FreePreparsedData");
    bind(entries.GetCaps, "HidP_GetCaps");
    bind(entries.GetManufacturerString, "HidD_GetManufacturerString");
    bind(entries.GetProductString, "HidD_GetProductString");
    bind(entries.GetFeature, "HidD_GetFeature");
    bind(entries.SetFeature, "HidD_SetFeature");
    bind(entries.GetNumInputBuffers, "HidD_GetNumInputBuffers");
    bind(entries.SetNumInputBuffers, "HidD_SetNumInputBuffers");
}

// Loads `name` and binds its entries; null (and the library freed again) unless all resolve.
// The table frees the library when the last user lets it go.
template <typename Entries, typename BindAll>
std::shared_ptr<const Entries> LoadLibraryTable(LibraryLoader& loader, const char* name,
                                                BindAll bindAll) {
    const HMODULE library = loader.Load(name);
    if (library == nullptr) {
        return nullptr;
    }
    auto entries = std::make_unique<Entries>();
    Binder bind(loader, library);
    bindAll(bind, *entries);
    if (!bind.Complete()) {
        loader.Free(library);
        return nullptr;
    }
    return std::shared_ptr<const Entries>(entries.release(), [&loader, library](const Entries* e) {
        delete e;
        loader.Free(library);
    });
}

}  // namespace

LibraryLoader& SystemLoader() {
    static Win32Loader loader;
    return loader;
}

std::shared_ptr<const HidApi> SharedHidLibraries::Acquire() {
    const std::lock_guard lock(mutex_);
    if (auto api = current_.lock()) {
        return api;
    }
    auto api = std::make_shared<HidApi>();
    api->setup = LoadLibraryTable<SetupApiEntries>(loader_, "SetupApi.dll", BindSetupApi);
    if (api->setup) {
        api->hid = LoadLibraryTable<HidEntries>(loader_, "HID.dll", BindHid);
    }
    current_ = api;
    return api;
}

SharedHidLibraries& ProcessHidLibraries() {
    static SharedHidLibraries libraries(SystemLoader());
    return libraries;
}

GUID HidInterfaceClass(const HidApi& api) {
    if (api.hid) {
        GUID guid{};
        api.hid->GetHidGuid(&guid);
        return guid;
    }
    return GUID{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
}

}  // namespace zm880::hid::windows
