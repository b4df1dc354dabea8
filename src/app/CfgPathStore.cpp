#include "app/CfgPathStore.h"

#include <QSettings>

#include <memory>

namespace zm880::app {
namespace {

std::unique_ptr<QSettings> OpenStore(const QString& iniFile) {
    if (iniFile.isEmpty())
        return std::make_unique<QSettings>(QSettings::UserScope, "Tavrenix", "ZM800Utility");
    return std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
}

}  // namespace

QString SettingsCfgPathStore::ReadPath(const QString& name) {
    const auto store = OpenStore(iniFile_);
    if (store->status() != QSettings::NoError)
        return {};
    const QVariant value = store->value(name);
    return value.canConvert<QString>() ? value.toString() : QString();
}

void SettingsCfgPathStore::WritePath(const QString& name, const QString& path) {
    const auto store = OpenStore(iniFile_);
    store->setValue(name, path);
    store->sync();
}

}  // namespace zm880::app
