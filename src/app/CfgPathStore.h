#pragma once

#include <QString>

#include <memory>
#include <utility>

#ifdef _WIN32
#include "hid/OsServices.h"
#endif

namespace zm880::app {

// The remembered path of the configuration file loaded last ("CfgPath"). Reading never creates
// the store; failures are silent: a read gives an empty path, a write does nothing.
class CfgPathStore {
  public:
    virtual ~CfgPathStore() = default;
    virtual QString ReadCfgPath() = 0;
    virtual void WriteCfgPath(const QString& path) = 0;
};

// The per-user settings store of organisation "Tavrenix", application "ZM800Utility", or an
// INI file of the caller's choice.
class SettingsCfgPathStore : public CfgPathStore {
  public:
    SettingsCfgPathStore() = default;
    explicit SettingsCfgPathStore(QString iniFile) : iniFile_(std::move(iniFile)) {}

    QString ReadCfgPath() override;
    void WriteCfgPath(const QString& path) override;

  private:
    QString iniFile_;
};

#ifdef _WIN32
// A string value of the registry (by default "CfgPath" under HKEY_LOCAL_MACHINE). Paths are kept
// with the system's backslashes. A value of another type reads as an empty path.
class RegistryCfgPathStore : public CfgPathStore {
  public:
    explicit RegistryCfgPathStore(hid::RegistryValue value = hid::kCfgPathValue)
        : value_(std::move(value)) {}

    QString ReadCfgPath() override;
    void WriteCfgPath(const QString& path) override;

  private:
    hid::RegistryValue value_;
};
#endif

// The store of the system the program runs on: the registry on Windows, the per-user settings
// store elsewhere.
std::shared_ptr<CfgPathStore> MakeSystemCfgPathStore();

}  // namespace zm880::app
