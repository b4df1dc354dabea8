#include <QDir>

#include <stdexcept>

#include "app/CfgPathStore.h"

namespace zm880::app {

QString RegistryCfgPathStore::ReadCfgPath() {
    try {
        return QString::fromStdString(hid::ReadRegistryString(value_));
    } catch (const std::runtime_error&) {
        // A value of another type than a string: nothing to preset, as with a missing value.
        return {};
    }
}

void RegistryCfgPathStore::WriteCfgPath(const QString& path) {
    hid::WriteRegistryString(value_, QDir::toNativeSeparators(path).toStdString());
}

std::shared_ptr<CfgPathStore> MakeSystemCfgPathStore() {
    return std::make_shared<RegistryCfgPathStore>();
}

}  // namespace zm880::app
