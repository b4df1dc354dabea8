#include "flasher/gui/UpdateCommand.h"

#include <QFileInfo>
#include <QWidget>

#include "app/UserDialogs.h"
#include "flasher/HidFeatureDevice.h"
#include "flasher/UpdateFileCheck.h"
#include "flasher/gui/FlasherForm.h"
#include "reader/ReaderSession.h"

namespace zm880::flasher_gui {

bool IsUpdateFileName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf('.');
    return dot >= 0 && name.mid(dot) == QLatin1String(".hex");
}

TUpdateCommand::TUpdateCommand(ReaderSession& session, app::UserDialogs& dialogs, QWidget* owner)
    : QObject(owner), session_(session), dialogs_(dialogs), owner_(owner) {
    setObjectName("UpdateCommand");
}

void TUpdateCommand::miUpdateClick() {
    const std::optional<QString> chosen = dialogs_.OpenUpdateFile(QString());
    if (!chosen)
        return;
    if (!IsUpdateFileName(*chosen)) {
        dialogs_.ShowMessage(
            tr("ERROR: Bad Update-File\nthe name must end in .hex, in lower case"));
        return;
    }
    if (!session_.HasReader())
        return;
    const ReaderDevice reader = session_.SelectedDevice();
    if (!reader) {
        // Listed, but its device object is still held elsewhere (by a run that has not let go).
        dialogs_.ShowMessage(
            tr("ACCESS ERROR\nthe reader's device object could not be taken for the "
               "update; unplug and replug the reader"));
        return;
    }
    const QString path = QFileInfo(*chosen).absoluteFilePath();
    if (!ConfirmUpdateFile(path))
        return;
    TFlasherForm form(flasher::FeatureDeviceOf(reader), path, dialogs_, clock_, owner_);
    if (OnFlasherCreated)
        OnFlasherCreated(form);
    form.exec();
    if (form.RunDone() && form.Result().ok())
        emit updateSucceeded();
}

bool TUpdateCommand::ConfirmUpdateFile(const QString& path) {
    const flasher::UpdateFileCheck check = flasher::CheckUpdateFile(path.toStdString());
    if (check.Empty()) {
        dialogs_.ShowMessage(QString::fromStdString(
            flasher::UpdateMessage(flasher::kUpdateFileNotFound) + "\n" + flasher::NoDataReason()));
        return false;
    }
    if (check.Partial()) {
        const std::string warning =
            flasher::PartialFileWarning(path.toStdString(), check.pagesFilled);
        return dialogs_.AskYesNo(tr("%1.\n\nUpdate anyway?").arg(QString::fromStdString(warning)));
    }
    // A file that cannot be read is left to the run, which names the fault in its window.
    return true;
}

}  // namespace zm880::flasher_gui
