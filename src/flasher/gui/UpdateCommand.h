#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace zm880 {
class ReaderSession;
}
namespace zm880::app {
class UserDialogs;
}
namespace zm880::flasher {
class UpdateClock;
}

namespace zm880::flasher_gui {

class TFlasherForm;

// True when the file name's extension, from its last "." on, is exactly ".hex" (case counts).
bool IsUpdateFileName(const QString& path);

// "&Update Firmware": asks for an update file and runs the update on the selected reader in a
// "Flasher" window of its own. Nothing is sent for a file without data for the firmware, and a
// file that fills only some pages is sent only after the user agreed.
class TUpdateCommand : public QObject {
    Q_OBJECT

  public:
    // `owner` is the window the "Flasher" windows belong to.
    TUpdateCommand(ReaderSession& session, app::UserDialogs& dialogs, QWidget* owner);

    void miUpdateClick();

    // For tests: the clock of the runs (null is the steady clock), and a look at each "Flasher"
    // window before it is shown.
    void SetClock(flasher::UpdateClock* clock) { clock_ = clock; }
    std::function<void(TFlasherForm&)> OnFlasherCreated;

  signals:
    // An update ran on the selected reader to its successful end.
    void updateSucceeded();

  private:
    // Refuses a file that would erase the firmware and asks before one that fills only some
    // pages; true when the update may start.
    bool ConfirmUpdateFile(const QString& path);

    ReaderSession& session_;
    app::UserDialogs& dialogs_;
    QWidget* owner_;
    flasher::UpdateClock* clock_ = nullptr;
};

}  // namespace zm880::flasher_gui
