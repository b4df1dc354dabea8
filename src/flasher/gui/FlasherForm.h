#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "flasher/UpdateRun.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zm880::app {
class UserDialogs;
}

namespace zm880::flasher_gui {

// The "Flasher" window: runs one firmware update when it first becomes active and shows its
// progress. It closes by itself 3 s after a successful run; after a failure it names the step
// that failed and waits for the user. A close request during the run takes effect at its end.
class TFlasherForm : public QDialog, private flasher::UpdateObserver {
    Q_OBJECT

  public:
    // `device` may be null (the run then ends with "ACCESS ERROR"); the window keeps its own
    // reference for the whole run. A null `clock` is the steady clock.
    TFlasherForm(std::shared_ptr<flasher::FeatureDevice> device, QString updateFileName,
                 app::UserDialogs& dialogs, flasher::UpdateClock* clock = nullptr,
                 QWidget* parent = nullptr);
    ~TFlasherForm() override;

    bool Running() const { return running_; }
    bool RunDone() const { return runDone_; }
    const flasher::UpdateResult& Result() const { return result_; }
    QTimer* Timer1() const { return Timer1_; }

    void FormActivate();
    void bnCloseClick();
    void Timer1Timer();

  signals:
    // The run is over, the loader end command included.
    void runEnded(int code);

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void FormCreate();
    void RunUpdate();
    void FinishRun();

    void ProcessEvents() override;
    void PageStarted(std::size_t page, std::size_t pageCount) override;
    void RunEnded(const flasher::UpdateResult& result) override;

    std::shared_ptr<flasher::FeatureDevice> device_;
    QString updateFileName_;
    app::UserDialogs& dialogs_;
    flasher::UpdateClock* clock_;
    flasher::UpdateResult result_;
    bool activated_ = false;
    bool running_ = false;
    bool runDone_ = false;
    bool closeWhenDone_ = false;

    QLabel* Label1_ = nullptr;
    QLabel* txUpdateFileName_ = nullptr;
    QProgressBar* ProgressBar1_ = nullptr;
    QPushButton* bnClose_ = nullptr;
    QTimer* Timer1_ = nullptr;
};

// The text the user is shown for a failed run: the step's message, why it failed, and which
// pages were replaced (the update must then be run again), one per line.
QString FailureText(const flasher::UpdateResult& result);

}  // namespace zm880::flasher_gui
