#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <thread>

#include "provision/Provisioner.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zm880::hid {
class Platform;
}

namespace zm880::app {

class CfgPathStore;
class UserDialogs;

// Provisioning mode: the user chooses a profile and optionally a firmware file, then every
// reader present and every reader plugged in is provisioned in turn (backed up, updated, written,
// verified) until "Stop". The run is the core provisioner's, on a thread of its own; its results
// come to the dialog's thread and fill the table and the counts.
class TProvisioningDialog : public QDialog {
    Q_OBJECT

  public:
    TProvisioningDialog(std::shared_ptr<hid::Platform> platform, UserDialogs& dialogs,
                        QWidget* parent = nullptr);
    ~TProvisioningDialog() override;

    // Presets the profile and firmware chosen last from `store` (when the files are still
    // there) and remembers every later choice in it.
    void RememberChoicesIn(CfgPathStore& store);

    bool Running() const { return worker_.joinable(); }
    int DoneCount() const { return done_; }
    int FailedCount() const { return failed_; }

    void bnProfileClick();
    void bnFirmwareClick();
    void bnStartClick();
    void bnStopClick();

  signals:
    // A reader's result has been added to the table.
    void resultShown();
    // The run has ended and its thread is gone.
    void runEnded();

  public slots:
    void reject() override;

  private:
    void BuildControls();
    // The plan from the chosen files; none (and said) when the profile or the firmware file
    // cannot be used.
    std::optional<provision::ProvisionPlan> MakePlan();
    void ShowResult(const provision::ProvisionResult& result);
    // `error` says why the run could not go on; empty when it was stopped.
    void RunEnded(const QString& error);
    void UpdateControls();
    void RememberChoices();

    std::shared_ptr<hid::Platform> platform_;
    UserDialogs& dialogs_;
    CfgPathStore* store_ = nullptr;
    std::unique_ptr<provision::Provisioner> provisioner_;
    std::thread worker_;
    bool closeWhenEnded_ = false;
    bool started_ = false;
    int done_ = 0;
    int failed_ = 0;

    QLineEdit* edProfile_ = nullptr;
    QLineEdit* edFirmware_ = nullptr;
    QPushButton* bnProfile_ = nullptr;
    QPushButton* bnFirmware_ = nullptr;
    QPushButton* bnNoFirmware_ = nullptr;
    QTableWidget* tbReaders_ = nullptr;
    QLabel* lbCounts_ = nullptr;
    QLabel* lbState_ = nullptr;
    QPushButton* bnStart_ = nullptr;
    QPushButton* bnStop_ = nullptr;
    QPushButton* bnClose_ = nullptr;
};

}  // namespace zm880::app
