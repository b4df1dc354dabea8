#pragma once

#include <QString>

#include <memory>
#include <utility>

#ifdef _WIN32
#include "hid/OsServices.h"
#endif

namespace zm880::app {

// The remembered path of the configuration file loaded last ("CfgPath"), and beside it the
// window's other remembered paths by name. Reading never creates the store; failures are
// silent: a read gives an empty path, a write does nothing.
class CfgPathStore {
  public:
    virtual ~CfgPathStore() = default;
    QString ReadCfgPath() { return ReadPath(kCfgPathName); }
    void WriteCfgPath(const QString& path) { WritePath(kCfgPathName, path); }
    virtual QString ReadPath(const QString& name) = 0;
    virtual void WritePath(const QString& name, const QString& path) = 0;

    static constexpr const char* kCfgPathName = "CfgPath";
};

// The per-user settings store of organisation "Tavrenix", application "ZM800Utility", or an
// INI file of the caller's choice.
class SettingsCfgPathStore : public CfgPathStore {
  public:
    SettingsCfgPathStore() = default;
    explicit SettingsCfgPathStore(QString iniFile) : iniFile_(std::move(iniFile)) {}

    QString ReadPath(const QString& name) override;
    void WritePath(const QString& name, const QString& path) override;

  private:
    QString iniFile_;
};

#ifdef _WIN32
// String values of the registry: "CfgPath" is `value` (by default "CfgPath" under
// HKEY_LOCAL_MACHINE), the others sit beside it under the same key. Paths are kept with the
// system's backslashes. A value of another type reads as an empty path.
class RegistryCfgPathStore : public CfgPathStore {
  public:
    explicit RegistryCfgPathStore(hid::RegistryValue value = hid::kCfgPathValue)
        : value_(std::move(value)) {}

    QString ReadPath(const QString& name) override;
    void WritePath(const QString& name, const QString& path) override;

  private:
    hid::RegistryValue ValueNamed(const QString& name) const;

    hid::RegistryValue value_;
};
#endif

// The store of the system the program runs on: the registry on Windows, the per-user settings
// store elsewhere.
std::shared_ptr<CfgPathStore> MakeSystemCfgPathStore();

}  // namespace zm880::app
