#include "cfgfile/gui/ConfigFileCommands.h"

#include <QFileInfo>
#include <QPushButton>

#include "app/CfgPathStore.h"
#include "app/UserDialogs.h"
#include "cfgfile/ConfigFile.h"
#include "cfgfile/gui/ProfileFile.h"
#include "reader/Profile.h"
#include "reader/ReaderSession.h"
#include "reader/gui/SettingsPage.h"

namespace zm880::cfgfile_gui {
namespace {

constexpr std::size_t kReaderTypeByte = 8;

QString TypeName(int type) {
    const auto name = DeviceTypeName(type);
    if (!name)
        return QCoreApplication::translate("zm880::cfgfile_gui::TConfigFileCommands", "type %1")
            .arg(type);
    const QString shownName = QString::fromUtf8(name->data(), static_cast<qsizetype>(name->size()));
    return QCoreApplication::translate("zm880::cfgfile_gui::TConfigFileCommands", "type %1 (%2)")
        .arg(QString::number(type), shownName);
}

QString TypeQuestion(int fileType, int readerType) {
    return TConfigFileCommands::tr(
               "This configuration file is for a reader of %1, but the "
               "attached reader is of %2.\nLoad it anyway?")
        .arg(TypeName(fileType), TypeName(readerType));
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
        dialogs_.ShowMessage(
            QFileInfo(path).size() == 0
                ? tr("file is empty: %1").arg(path)
                : tr("not a settings file (its first byte is not 3): %1").arg(path));
        return false;
    }
    if (readerType_ && loaded[kReaderTypeByte] != *readerType_ &&
        !dialogs_.AskYesNo(TypeQuestion(loaded[kReaderTypeByte], *readerType_)))
        return false;

    session_.Buffer() = loaded;
    store_.WriteCfgPath(path);
    saveDialogFileName_ = path;
    page_.DecodeSettings(true);
    setStatusText_(
        tr("Config-File settings (%1)").arg(QString::fromStdString(cfgfile::ShownPath(localPath))));
    return true;
}

bool TConfigFileCommands::LoadProfile(const QString& path) {
    // A profile names some fields; the rest of the record must be one read or loaded.
    if (!page_.HasRecord()) {
        setStatusText_(reader_gui::TSettingsPage::NoSettingsLoaded());
        return false;
    }
    QString error;
    const auto profile = ReadProfileFile(path, error);
    if (!profile) {
        dialogs_.ShowMessage(error);
        return false;
    }
    page_.EncodeSettings();
    ReportBuffer record = session_.Buffer();
    if (const auto refused = ApplyProfileToRecord(*profile, record)) {
        dialogs_.ShowMessage(tr("The profile %1 is refused: %2")
                                 .arg(path, QString::fromStdString(*refused)));
        return false;
    }
    session_.Buffer() = record;
    store_.WriteCfgPath(path);
    saveDialogFileName_ = path;
    page_.DecodeSettings(true);
    setStatusText_(
        tr("Profile settings (%1)").arg(QString::fromStdString(cfgfile::ShownPath(path.toStdString()))));
    return true;
}

bool TConfigFileCommands::SaveConfigFile(const QString& path) {
    page_.EncodeSettings();
    const std::string localPath = path.toStdString();
    if (IsProfileName(localPath)) {
        // A profile names the settings fields: only a settings record has them.
        if (session_.Buffer()[0] != kSettingsReportId) {
            dialogs_.ShowMessage(
                tr("no settings to save as a profile (the buffer holds report %1): %2")
                    .arg(session_.Buffer()[0])
                    .arg(path));
            return false;
        }
        QString error;
        if (!SaveProfileFile(path, session_.Buffer(), error)) {
            dialogs_.ShowMessage(error);
            return false;
        }
    } else if (const auto result = cfgfile::SaveConfigFile(localPath, session_.Buffer());
               !result.ok()) {
        dialogs_.ShowMessage(QString::fromStdString(result.error));
        return false;
    }
    const QString shown = QString::fromStdString(cfgfile::ShownPath(localPath));
    // Saving applies nothing: unapplied edits stay "modified".
    setStatusText_(page_.ApplyButton()->isEnabled() ? tr("modified; saved to %1").arg(shown)
                                                    : tr("Settings saved to %1").arg(shown));
    return true;
}

bool TConfigFileCommands::miLoadConfigClick() {
    const auto chosen = dialogs_.OpenConfigFile(openDialogFileName_);
    if (!chosen)
        return false;
    openDialogFileName_ = *chosen;
    if (IsProfileName(chosen->toStdString()))
        return LoadProfile(*chosen);
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
        setStatusText_(reader_gui::TSettingsPage::NoSettingsLoaded());
        return;
    }
    session_.ResetDefault();
    page_.DecodeSettings(true);
}

}  // namespace zm880::cfgfile_gui
