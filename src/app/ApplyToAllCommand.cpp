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
                                       std::function<bool()> readShownReader,
                                       std::function<bool(const ReaderDevice&)> stillPlugged)
    : session_(session),
      page_(page),
      dialogs_(dialogs),
      runTransfer_(std::move(runTransfer)),
      setStatusText_(std::move(setStatusText)),
      readShownReader_(std::move(readShownReader)),
      stillPlugged_(std::move(stillPlugged)) {}

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
    const auto readers = static_cast<int>(session_.Entries().size());
    if (!dialogs_.AskYesNo(
            tr("Write the settings shown to all %n readers attached?", nullptr, readers)))
        return;
    page_.EncodeSettings();
    const ReportBuffer form = session_.Buffer();
    const std::uint8_t formType = session_.StoredReaderType();
    const std::size_t shown = session_.SelectedIndex();

    QStringList lines;
    int done = 0;
    int skipped = 0;
    int failed = 0;
    for (std::size_t i = 0; i < session_.Entries().size(); ++i) {
        session_.Select(i);
        QString reason;
        Outcome outcome = Outcome::Failed;
        runTransfer_([&] {
            outcome = ApplyToSelected(form, formType, reason);
            return TransferResult{
                .Selected = true, .Ok = outcome != Outcome::Failed, .Length = 0, .Message = {}};
        });
        const QString name = ReaderName(session_.Entries()[i], i);
        switch (outcome) {
            case Outcome::Done:
                ++done;
                lines << tr("%1: done").arg(name);
                break;
            case Outcome::Skipped:
                ++skipped;
                lines << tr("%1: skipped: %2").arg(name, reason);
                break;
            case Outcome::Failed:
                ++failed;
                lines << tr("%1: failed: %2").arg(name, reason);
                break;
        }
    }
    // The buffer holds the last reader's record now: the shown reader's comes back, then the
    // controls show what that reader holds after the run (a failed read keeps the form's record).
    session_.Select(shown);
    session_.Buffer() = form;
    session_.SetStoredReaderType(formType);
    const QString summary = tr("Apply to all readers: %1 done, %2 skipped, %3 failed")
                                .arg(done)
                                .arg(skipped)
                                .arg(failed);
    if (readShownReader_())
        setStatusText_(summary);
    dialogs_.ShowMessage(summary + "\n\n" + lines.join("\n"));
}

TApplyToAllCommand::Outcome TApplyToAllCommand::ApplyToSelected(const ReportBuffer& form,
                                                                std::uint8_t formType,
                                                                QString& reason) {
    const TransferResult read = session_.ReadConfig();
    if (!read.Ok) {
        // A reader gone from the system fails in whatever step came next; its leaving is the
        // cause.
        reason = stillPlugged_(session_.SelectedDevice()) ? QString::fromStdString(read.Message)
                                                          : tr("the reader was removed");
        return Outcome::Failed;
    }
    const ReportBuffer before = session_.Buffer();
    if (before[kReaderTypeByte] != formType) {
        reason = tr("the reader is of type %1, the settings shown are for type %2")
                     .arg(before[kReaderTypeByte])
                     .arg(formType);
        return Outcome::Skipped;
    }
    ReportBuffer record = before;
    for (std::size_t index : EncodedByteIndices(formType))
        record[index] = form[index];
    session_.Buffer() = record;
    session_.SetStoredReaderType(formType);

    const auto backups = DefaultBackupDirectory();
    if (!backups) {
        reason =
            tr("neither XDG_STATE_HOME nor HOME is set; no place for the backup; nothing "
               "written");
        return Outcome::Failed;
    }
    const WriteOutcome outcome =
        BackUpWriteAndVerify(session_, before, *backups, VerifyScope::EncodedFields);
    if (outcome.ok)
        return Outcome::Done;
    reason = QString::fromStdString(outcome.message);
    if (!stillPlugged_(session_.SelectedDevice()))
        reason = tr("the reader was removed: %1").arg(reason);
    return Outcome::Failed;
}

}  // namespace zm880::app
