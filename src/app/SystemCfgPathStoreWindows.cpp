#include <QDir>

#include <stdexcept>

#include "app/CfgPathStore.h"

namespace zm880::app {

hid::RegistryValue RegistryCfgPathStore::ValueNamed(const QString& name) const {
    if (name == kCfgPathName)
        return value_;
    return {value_.root, value_.key, name.toStdString()};
}

QString RegistryCfgPathStore::ReadPath(const QString& name) {
    try {
        return QString::fromStdString(hid::ReadRegistryString(ValueNamed(name)));
    } catch (const std::runtime_error&) {
        // A value of another type than a string: nothing to preset, as with a missing value.
        return {};
    }
}

void RegistryCfgPathStore::WritePath(const QString& name, const QString& path) {
    hid::WriteRegistryString(ValueNamed(name), QDir::toNativeSeparators(path).toStdString());
}

std::shared_ptr<CfgPathStore> MakeSystemCfgPathStore() {
    return std::make_shared<RegistryCfgPathStore>();
}

}  // namespace zm880::app
