#include "app/ApplyToAllCommand.h"

#include "app/UserDialogs.h"
#include "hid/HidDevice.h"
#include "reader/VerifiedWrite.h"
#include "reader/gui/SettingsPage.h"

namespace zm880::app {
namespace {

constexpr std::size_t kReaderTypeByte = 8;

}  // namespace

TApplyToAllCommand::TApplyToAllCommand(ReaderSession& session, reader_gui::TSettingsPage& page,
                                       UserDialogs& dialogs, TransferRunner runTransfer,
                                       std::function<void(const QString&)> setStatusText,
                                       std::function<bool()> readShownReader)
    : session_(session),
      page_(page),
      dialogs_(dialogs),
      runTransfer_(std::move(runTransfer)),
      setStatusText_(std::move(setStatusText)),
      readShownReader_(std::move(readShownReader)) {}

QString TApplyToAllCommand::ReaderName(const DeviceEntry& entry, std::size_t index) {
    return entry.Device ? QString::fromStdString(entry.Device->PnPInfo().DevicePath)
                        : tr("reader %1").arg(index + 1);
}

void TApplyToAllCommand::Run() {
    // Only a record read from a reader or loaded from a file may be copied to readers.
    if (!page_.HasRecord()) {
        setStatusText_(reader_gui::TSettingsPage::NoSettingsLoaded());
        return;
    }
    page_.EncodeSettings();
    const ReportBuffer form = session_.Buffer();
    const std::uint8_t formType = session_.StoredReaderType();
    const std::size_t shown = session_.SelectedIndex();

    QStringList lines;
    int done = 0;
    int failed = 0;
    for (std::size_t i = 0; i < session_.Entries().size(); ++i) {
        session_.Select(i);
        QString reason;
        runTransfer_([&] {
            reason = ApplyToSelected(form, formType);
            return TransferResult{.Selected = true, .Ok = reason.isEmpty(), .Length = 0, .Message = {}};
        });
        const QString name = ReaderName(session_.Entries()[i], i);
        if (reason.isEmpty()) {
            ++done;
            lines << tr("%1: done").arg(name);
        } else {
            ++failed;
            lines << tr("%1: failed: %2").arg(name, reason);
        }
    }
    // The buffer holds the last reader's record now: the shown reader's comes back, then the
    // controls show what that reader holds after the run (a failed read keeps the form's record).
    session_.Select(shown);
    session_.Buffer() = form;
    session_.SetStoredReaderType(formType);
    const QString summary = tr("Apply to all readers: %1 done, %2 failed").arg(done).arg(failed);
    if (readShownReader_())
        setStatusText_(summary);
    dialogs_.ShowMessage(summary + "\n\n" + lines.join("\n"));
}

QString TApplyToAllCommand::ApplyToSelected(const ReportBuffer& form, std::uint8_t formType) {
    const TransferResult read = session_.ReadConfig();
    if (!read.Ok)
        return QString::fromStdString(read.Message);
    const ReportBuffer before = session_.Buffer();
    if (before[kReaderTypeByte] != formType)
        return tr("the reader is of type %1, the settings shown are for type %2")
            .arg(before[kReaderTypeByte])
            .arg(formType);
    ReportBuffer record = before;
    for (std::size_t index : EncodedByteIndices(formType))
        record[index] = form[index];
    session_.Buffer() = record;
    session_.SetStoredReaderType(formType);

    const auto backups = DefaultBackupDirectory();
    if (!backups)
        return tr("neither XDG_STATE_HOME nor HOME is set; no place for the backup; nothing "
                  "written");
    const WriteOutcome outcome =
        BackUpWriteAndVerify(session_, before, *backups, VerifyScope::EncodedFields);
    return outcome.ok ? QString() : QString::fromStdString(outcome.message);
}

}  // namespace zm880::app
