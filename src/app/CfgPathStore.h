#pragma once

#include <QString>

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

}  // namespace zm880::app
