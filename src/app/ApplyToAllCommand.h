#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>

#include "reader/ReaderSession.h"

namespace zm880::reader_gui {
class TSettingsPage;
}

namespace zm880::app {

class UserDialogs;

// "Apply to all readers": once the user agreed, the settings the controls show go to every
// attached reader. Each reader's record is read, gets the fields of the form (every other byte
// stays as the reader has it), is backed up, written and verified by read-back; a reader of
// another type than the record shown is skipped. A summary names every reader's result.
class TApplyToAllCommand {
    Q_DECLARE_TR_FUNCTIONS(zm880::app::TApplyToAllCommand)

  public:
    using TransferRunner = std::function<TransferResult(const std::function<TransferResult()>&)>;

    TApplyToAllCommand(ReaderSession& session, reader_gui::TSettingsPage& page,
                       UserDialogs& dialogs, TransferRunner runTransfer,
                       std::function<void(const QString&)> setStatusText,
                       std::function<bool()> readShownReader,
                       std::function<bool(const ReaderDevice&)> stillPlugged);

    void Run();

  private:
    // How the summary names a reader: its device path, or its position without one.
    static QString ReaderName(const DeviceEntry& entry, std::size_t index);
    // One reader's result: written and verified, left alone, or failed, with the reason.
    enum class Outcome { Done, Skipped, Failed };
    Outcome ApplyToSelected(const ReportBuffer& form, std::uint8_t formType, QString& reason);

    ReaderSession& session_;
    reader_gui::TSettingsPage& page_;
    UserDialogs& dialogs_;
    TransferRunner runTransfer_;
    std::function<void(const QString&)> setStatusText_;
    // Reads the selected reader's settings onto the controls, as "Read Config" does; false (and
    // said in the status bar) when the read failed.
    std::function<bool()> readShownReader_;
    // Whether the reader is still plugged in, for a transfer that failed.
    std::function<bool(const ReaderDevice&)> stillPlugged_;
};

}  // namespace zm880::app
