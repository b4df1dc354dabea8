#include "cfgfile/gui/ConfigFileCommands.h"

#include "app/CfgPathStore.h"
#include "app/UserDialogs.h"
#include "cfgfile/ConfigFile.h"
#include "reader/ReaderSession.h"
#include "reader/gui/SettingsPage.h"

namespace zm880::cfgfile_gui {

TConfigFileCommands::TConfigFileCommands(ReaderSession& session, reader_gui::TSettingsPage& page,
                                         app::UserDialogs& dialogs, app::CfgPathStore& store,
                                         std::function<void(const QString&)> setStatusText)
    : session_(session),
      page_(page),
      dialogs_(dialogs),
      store_(store),
      setStatusText_(std::move(setStatusText)) {}

void TConfigFileCommands::LoadConfigFile(const QString& path) {
    const std::string localPath = path.toStdString();
    // The path is remembered as soon as the file is known to exist, even if opening it fails.
    const auto result = cfgfile::LoadConfigFile(localPath, session_.Buffer(), [&] {
        store_.WriteCfgPath(path);
        saveDialogFileName_ = path;
    });
    if (!result.ok()) {
        dialogs_.ShowMessage(QString::fromStdString(result.error));
        return;
    }
    page_.DecodeSettings(true);
    setStatusText_("Config-File settings (" +
                   QString::fromStdString(cfgfile::ShownPath(localPath)) + ")");
}

void TConfigFileCommands::SaveConfigFile(const QString& path) {
    page_.EncodeSettings();
    const auto result = cfgfile::SaveConfigFile(path.toStdString(), session_.Buffer());
    if (!result.ok())
        dialogs_.ShowMessage(QString::fromStdString(result.error));
}

bool TConfigFileCommands::miLoadConfigClick() {
    const auto chosen = dialogs_.OpenConfigFile(openDialogFileName_);
    if (!chosen)
        return false;
    openDialogFileName_ = *chosen;
    LoadConfigFile(*chosen);
    return true;
}

void TConfigFileCommands::miSaveConfigClick() {
    const auto chosen = dialogs_.SaveConfigFile(saveDialogFileName_);
    if (!chosen)
        return;
    saveDialogFileName_ = *chosen;
    SaveConfigFile(*chosen);
}

void TConfigFileCommands::ResetDefault1Click() {
    session_.ResetDefault();
    page_.DecodeSettings(true);
}

}  // namespace zm880::cfgfile_gui
