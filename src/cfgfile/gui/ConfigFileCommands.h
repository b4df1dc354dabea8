#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace zm880 {
class ReaderSession;
}
namespace zm880::app {
class CfgPathStore;
class UserDialogs;
}  // namespace zm880::app
namespace zm880::reader_gui {
class TSettingsPage;
}

namespace zm880::cfgfile_gui {

// The window's configuration-file commands on the session's report buffer. Also keeps the file
// names of the open and the save dialog between showings.
class TConfigFileCommands {
    Q_DECLARE_TR_FUNCTIONS(zm880::cfgfile_gui::TConfigFileCommands)

  public:
    TConfigFileCommands(ReaderSession& session, reader_gui::TSettingsPage& page,
                        app::UserDialogs& dialogs, app::CfgPathStore& store,
                        std::function<void(const QString&)> setStatusText);

    // Loads `path` into the buffer, decodes it with "Apply" enabled and remembers the path.
    // A file that cannot be used (missing, unreadable, empty, not a settings record) is said in
    // a message box; one of another reader type than the attached reader's is taken only after
    // the user agreed. Otherwise buffer and controls stay as they were. True when taken.
    bool LoadConfigFile(const QString& path);
    // Sets the fields that the profile in `path` names on the record the controls show,
    // decodes it with "Apply" enabled and remembers the path; every other byte stays. A profile
    // that cannot be read or is refused (a field the reader type does not store, a value out of
    // range) is said in a message box and changes nothing; so does a missing record. True when
    // taken.
    bool LoadProfile(const QString& path);
    // Encodes the controls and writes the buffer's first 64 bytes to `path`, or for a *.json
    // name the complete profile of the record; the status line says where. A failure is said
    // in a message box. True when written.
    bool SaveConfigFile(const QString& path);

    // The type of the record last read from the attached reader; none before that.
    void SetReaderType(std::optional<std::uint8_t> type) { readerType_ = type; }

    // The menu commands; Load returns whether a file was taken (a *.json file is a profile).
    bool miLoadConfigClick();
    void miSaveConfigClick();
    void ResetDefault1Click();

    QString OpenDialogFileName() const { return openDialogFileName_; }
    QString SaveDialogFileName() const { return saveDialogFileName_; }
    void SetOpenDialogFileName(const QString& name) { openDialogFileName_ = name; }
    void SetSaveDialogFileName(const QString& name) { saveDialogFileName_ = name; }

  private:
    ReaderSession& session_;
    reader_gui::TSettingsPage& page_;
    app::UserDialogs& dialogs_;
    app::CfgPathStore& store_;
    std::function<void(const QString&)> setStatusText_;
    std::optional<std::uint8_t> readerType_;
    QString openDialogFileName_;
    QString saveDialogFileName_;
};

}  // namespace zm880::cfgfile_gui
