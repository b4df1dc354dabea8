#include "cfgfile/gui/ConfigFileCommands.h"

#include <QFileInfo>

#include "app/CfgPathStore.h"
#include "app/UserDialogs.h"
#include "cfgfile/ConfigFile.h"
#include "reader/ReaderSession.h"
#include "reader/gui/SettingsPage.h"

namespace zm880::cfgfile_gui {
namespace {

constexpr std::size_t kReaderTypeByte = 8;

QString TypeName(int type) {
    const auto name = DeviceTypeName(type);
    return name ? QString("type %1 (%2)")
                      .arg(type)
                      .arg(QString::fromUtf8(name->data(), name->size()))
                : QString("type %1").arg(type);
}

QString TypeQuestion(int fileType, int readerType) {
    return "This configuration file is for a reader of " + TypeName(fileType) +
           ", but the attached reader is of " + TypeName(readerType) + ".\nLoad it anyway?";
}

}  // namespace

TConfigFileCommands::TConfigFileCommands(ReaderSession& session, reader_gui::TSettingsPage& page,
                                         app::UserDialogs& dialogs, app::CfgPathStore& store,
                                         std::function<void(const QString&)> setStatusText)
    : session_(session),
      page_(page),
      dialogs_(dialogs),
      store_(store),
      setStatusText_(std::move(setStatusText)) {}

bool TConfigFileCommands::LoadConfigFile(const QString& path) {
    const std::string localPath = path.toStdString();
    // Read beside the buffer first: only a usable file may replace what the controls show.
    ReportBuffer loaded = session_.Buffer();
    loaded[0] = 0;
    const auto result = cfgfile::LoadConfigFile(localPath, loaded);
    if (!result.ok()) {
        dialogs_.ShowMessage(QString::fromStdString(result.error));
        return false;
    }
    if (loaded[0] != kSettingsReportId) {
        dialogs_.ShowMessage(QFileInfo(path).size() == 0
                                 ? "file is empty: " + path
                                 : "not a settings file (its first byte is not 3): " + path);
        return false;
    }
    if (readerType_ && loaded[kReaderTypeByte] != *readerType_ &&
        !dialogs_.Confirm(TypeQuestion(loaded[kReaderTypeByte], *readerType_)))
        return false;

    session_.Buffer() = loaded;
    store_.WriteCfgPath(path);
    saveDialogFileName_ = path;
    page_.DecodeSettings(true);
    setStatusText_("Config-File settings (" +
                   QString::fromStdString(cfgfile::ShownPath(localPath)) + ")");
    return true;
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
    return LoadConfigFile(*chosen);
}

void TConfigFileCommands::miSaveConfigClick() {
    const auto chosen = dialogs_.SaveConfigFile(saveDialogFileName_);
    if (!chosen)
        return;
    saveDialogFileName_ = *chosen;
    SaveConfigFile(*chosen);
}

void TConfigFileCommands::ResetDefault1Click() {
    // The defaults fill only part of a record; without one the rest would be made up.
    if (!page_.HasRecord()) {
        setStatusText_(reader_gui::kNoSettingsLoaded);
        return;
    }
    session_.ResetDefault();
    page_.DecodeSettings(true);
}

}  // namespace zm880::cfgfile_gui
