#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

#include "app/CommandLine.h"
#include "hid/HidDeviceController.h"
#include "reader/ReaderSession.h"

class QAction;
class QComboBox;
class QLabel;
class QStackedWidget;

namespace zm880::reader_gui {
class TSettingsPage;
}
namespace zm880::cfgfile_gui {
class TConfigFileCommands;
}

namespace zm880::app {

class CfgPathStore;
class TApplyToAllCommand;
class TDeviceChangeNotifier;
class TProvisioningDialog;
class TStatusPanel;
class UserDialogs;

// Where the pieces that live on other pages or in other windows plug into the main window.
// Every hook may stay empty.
struct TMainFormHooks {
    // The first time the window becomes active: build the console's byte cells.
    std::function<void()> BuildByteCells;
    // The device-list selection step (after the list was rebuilt and at the first activation).
    std::function<void()> DevListBox1Click;
    // The device list was rebuilt: its entries and their devices are new.
    std::function<void()> DeviceListRebuilt;
    // "&Update Firmware" and "&Info".
    std::function<void()> miUpdateClick;
    std::function<void()> miInfoClick;
    // The provisioning dialog was made and is about to be shown (for tests).
    std::function<void(TProvisioningDialog&)> ProvisioningOpened;
};

// What the window is built from. Empty dialogs/store use the platform's dialogs and the
// per-user settings store.
struct TMainFormSetup {
    std::shared_ptr<hid::Platform> platform;
    CommandLine commandLine;
    std::shared_ptr<UserDialogs> dialogs;
    std::shared_ptr<CfgPathStore> cfgPathStore;
};

// The main window: menus, the "Wellcome", "Main" and "Special" pages, the device list and the
// status bar. It owns the device controller and the reader session.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(TMainFormSetup setup, QWidget* parent = nullptr);
    ~TMainForm() override;

    TMainFormHooks& Hooks() { return hooks_; }
    ReaderSession& Session() { return *session_; }
    hid::THidDeviceController& HidCtl() { return *hidCtl_; }
    UserDialogs& Dialogs() { return *dialogs_; }
    reader_gui::TSettingsPage& SettingsPage() { return *settingsPage_; }
    cfgfile_gui::TConfigFileCommands& ConfigFiles() { return *configFiles_; }

    // The "Special" page, empty until the console installs itself into it.
    QWidget* SpecialPage() const { return tsSpecial_; }

    QString StatusText() const;
    void SetStatusText(const QString& text);
    bool SuppressModified() const { return suppressModified_; }
    const CommandLine& StartupCommandLine() const { return commandLine_; }

    // Sends the reset report (06 00 00 00) to the selected reader; nothing without one.
    void ResetReader();

    // Runs one reader transfer without freezing the window (see RunWhileWaiting); device
    // changes that arrive meanwhile are handled once it is over.
    TransferResult RunTransfer(const std::function<TransferResult()>& transfer);

    // Handlers, named after their control and event.
    void HidCtlDeviceChange();
    // The steps of a device change after the list was rebuilt.
    void ShowDiscoveredReaders();
    // The user chose entry `index` of the device list: it becomes the reader the window works
    // with and its settings are shown as after a device change.
    void ChooseReader(std::size_t index);
    void DevListBox1Click();
    void cbUsedAltKeyClick();
    void bnApplyClick();
    void bnApplyAllClick();
    void miLoadConfigClick();
    void miSaveConfigClick();
    void miReadConfigClick();
    void ResetDefault1Click();
    void miUpdateClick();
    void miProvisionClick();
    void miInfoClick();
    // Info > Readers: the table of every attached reader, kept current while it is open.
    void miReadersClick();
    void Close1Click() { close(); }
    void tsMainMouseDown(Qt::KeyboardModifiers modifiers);

  signals:
    // A device-change notification has been handled completely.
    void deviceChangeHandled();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // While one is alive, device-change notifications and posted controller tasks wait; when
    // the last one ends they are taken up again, a burst of changes as one rebuild.
    class TBusyScope {
      public:
        explicit TBusyScope(TMainForm& form);
        TBusyScope(const TBusyScope&) = delete;
        TBusyScope& operator=(const TBusyScope&) = delete;
        ~TBusyScope();

      private:
        TMainForm& form_;
    };

    void BuildMenus();
    void BuildDevicePanel(QWidget* parent);
    void BuildPages(QWidget* parent, int pageHeight);
    void BuildStatusBar();
    // The console on "Special", "&Update Firmware" and "&Info".
    void InstallTools();
    void SetReaderCommandsEnabled(bool enabled);
    void FormActivate();
    void PlatformChangesPending();
    void RunWhenIdle(std::function<void()> task);
    void ResumeDeferredWork();
    // Selects entry `index`, shows the "Main" page and reads its settings (or loads the
    // start-up file).
    void ShowReader(std::size_t index);
    // Selects entry `index` and shows the "Main" page; the controls stay as they are.
    void SelectEntry(std::size_t index);
    // Asks the selected reader whether it waits in its firmware loader; if so, says so and
    // leaves only the update to be used on it.
    bool ShowIfInFirmwareLoader();
    // The selected reader was updated: its settings are read again.
    void ReadAfterUpdate();
    // The controls hold settings that "Apply" has not written yet.
    bool HasUnappliedSettings() const;
    // Reads the settings record into the controls; false (and said) when the read failed.
    bool ReadSettingsFromReader();

    CommandLine commandLine_;
    bool suppressModified_ = true;
    bool activatedOnce_ = false;
    // Cleared when the start-up file could not be used: it is said once, and the reader's own
    // settings are read from then on.
    bool startupFileUsable_ = true;
    // DevInst of the reader the user chose in the device list; empty while none was chosen.
    std::string chosenReader_;
    // DevInst of the reader whose settings the controls show; empty while they show none.
    std::string shownReader_;
    // Counts the readers shown afresh (selected and read or loaded).
    int readersShown_ = 0;
    int busy_ = 0;
    bool changesDeferred_ = false;
    std::vector<std::function<void()>> deferredTasks_;
    TMainFormHooks hooks_;
    std::shared_ptr<UserDialogs> dialogs_;
    std::shared_ptr<CfgPathStore> cfgPathStore_;
    std::shared_ptr<hid::Platform> platform_;

    // The session holds claims on the controller's devices, so it goes first.
    std::unique_ptr<hid::THidDeviceController> hidCtl_;
    std::unique_ptr<ReaderSession> session_;
    std::unique_ptr<cfgfile_gui::TConfigFileCommands> configFiles_;
    std::unique_ptr<TApplyToAllCommand> applyToAll_;
    TDeviceChangeNotifier* changeNotifier_ = nullptr;

    QAction* miUpdate_ = nullptr;
    QAction* miLoadConfig_ = nullptr;
    QAction* miSaveConfig_ = nullptr;
    QAction* miReadConfig_ = nullptr;
    QAction* miApplyAll_ = nullptr;
    QAction* Close1_ = nullptr;
    QComboBox* cbDevListBox_ = nullptr;
    QStackedWidget* PageControl1_ = nullptr;
    QWidget* tsWellcome_ = nullptr;
    reader_gui::TSettingsPage* settingsPage_ = nullptr;
    QWidget* tsSpecial_ = nullptr;
    TStatusPanel* statusPanel_ = nullptr;
};

}  // namespace zm880::app
