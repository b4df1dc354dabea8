#include <windows.h>

#include <stdexcept>
#include <vector>

#include "hid/OsServices.h"

namespace zm880::hid {
namespace {

HKEY RootKey(RegistryValue::Root root) {
    return root == RegistryValue::Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

}  // namespace

std::string ReadRegistryString(const RegistryValue& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(RootKey(value.root), value.key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, value.name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<char> text(size + 1, '\0');
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        status = RegQueryValueExA(key, value.name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(text.data()), &size);
    }
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) {
        return {};
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        throw std::runtime_error("the registry value \"" + value.name + "\" is not a string");
    }
    // A stored string need not end in NUL; the extra byte makes sure it does.
    return std::string(text.data());
}

void WriteRegistryString(const RegistryValue& value, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(RootKey(value.root), value.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, value.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

}  // namespace zm880::hid
