#include "flasher/gui/UpdateCommand.h"

#include <QFileInfo>
#include <QWidget>

#include "app/UserDialogs.h"
#include "flasher/HidFeatureDevice.h"
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
        dialogs_.ShowMessage("ERROR: Bad Update-File");
        return;
    }
    const ReaderDevice reader = session_.SelectedDevice();
    if (!reader)
        return;
    TFlasherForm form(flasher::FeatureDeviceOf(reader), QFileInfo(*chosen).absoluteFilePath(),
                      dialogs_, clock_, owner_);
    if (OnFlasherCreated)
        OnFlasherCreated(form);
    form.exec();
}

}  // namespace zm880::flasher_gui
