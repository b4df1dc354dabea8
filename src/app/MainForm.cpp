#include "app/MainForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "app/ApplyToAllCommand.h"
#include "app/CfgPathStore.h"
#include "app/DeviceChangeNotifier.h"
#include "app/FormScale.h"
#include "app/InfoBox.h"
#include "app/ProvisioningDialog.h"
#include "app/StatusPanel.h"
#include "app/TransferWait.h"
#include "app/UserDialogs.h"
#include "app/WindowStyle.h"
#include "cfgfile/gui/ConfigFileCommands.h"
#include "diag/gui/RawConsolePage.h"
#include "flasher/gui/UpdateCommand.h"
#include "hid/HidDevice.h"
#include "inventory/gui/ReadersDialog.h"
#include "reader/gui/SettingsPage.h"

namespace zm880::app {
namespace {

// The size of the window's font that its controls were placed for.
constexpr int kDesignFontPixels = 13;
constexpr int kClientWidth = 684;
constexpr int kClientHeight = 481;
constexpr int kDevicePanelHeight = 41;
// The status bar's least height; a font that needs more takes it from the pages above.
constexpr int kStatusBarHeight = 19;
// The "Wellcome" page: a text above a bottom panel, across the page less a margin each side.
constexpr int kWellcomeMargin = 4;
constexpr int kWellcomeWidth = kClientWidth - 2 * kWellcomeMargin;
constexpr int kWellcomeTopPanelHeight = 89;
constexpr int kWellcomeTextHeight = 182;
constexpr int kWellcomeBottomPanelHeight = 64;
// `what` is the whole sentence up to the reason, so that a translation can order its words.
QString FailureText(const QString& what, const TransferResult& result) {
    QString text = what;
    if (!result.Message.empty())
        text += ": " + QString::fromStdString(result.Message);
    return text;
}

// With several readers every entry names its device path as well: identical readers have the
// same product text. A reader whose claim was refused has no path and shows its position.
QStringList DeviceListTexts(const std::vector<DeviceEntry>& entries) {
    QStringList texts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QString text = QString::fromStdString(entries[i].Text);
        if (entries.size() > 1)
            text += QString(" (%1)").arg(entries[i].Device
                                             ? QString::fromStdString(
                                                   entries[i].Device->PnPInfo().DevicePath)
                                             : QString::number(i + 1));
        texts << text;
    }
    return texts;
}

// The entry whose reader is plugged in as `devInst`; none for an empty identity.
std::optional<std::size_t> EntryOf(const std::vector<DeviceEntry>& entries,
                                   const std::string& devInst) {
    for (std::size_t i = 0; i < entries.size() && !devInst.empty(); ++i)
        if (entries[i].Device && entries[i].Device->PnPInfo().DevInst == devInst)
            return i;
    return std::nullopt;
}

// Asks the system rather than the device list, which is brought up to date only after a run.
bool StillPlugged(hid::Platform& platform, const ReaderDevice& device) {
    if (!device)
        return false;
    const std::vector<hid::InterfaceEntry> present = platform.PresentInterfaces();
    return std::any_of(present.begin(), present.end(), [&](const hid::InterfaceEntry& entry) {
        return entry.identity == device->PnPInfo().DevInst;
    });
}

bool IsCtrlC(const QKeyEvent& key) {
    return key.key() == Qt::Key_C && (key.modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

}  // namespace

TMainForm::TMainForm(TMainFormSetup setup, QWidget* parent)
    : QMainWindow(parent),
      commandLine_(std::move(setup.commandLine)),
      dialogs_(setup.dialogs ? std::move(setup.dialogs) : std::make_shared<QtUserDialogs>(this)),
      cfgPathStore_(setup.cfgPathStore ? std::move(setup.cfgPathStore)
                                       : MakeSystemCfgPathStore()),
      platform_(setup.platform) {
    setObjectName("MainForm");
    setWindowTitle(tr("Tavrenix ZM880 - Utility"));
    // A larger system font enlarges the whole window with it, so that no caption is clipped.
    const double scale = FontScale(QApplication::font(), kDesignFontPixels);
    QFont font("MS Sans Serif");
    font.setPixelSize(static_cast<int>(std::lround(kDesignFontPixels * scale)));
    setFont(font);
    setPalette(WindowPalette(QApplication::palette()));
    setAutoFillBackground(true);

    // The controller posts its first notification through the event loop, so discovery runs
    // only once the window is shown.
    hidCtl_ = std::make_unique<hid::THidDeviceController>(
        setup.platform, [this](std::function<void()> task) {
            QMetaObject::invokeMethod(
                this, [this, task = std::move(task)] { RunWhenIdle(task); }, Qt::QueuedConnection);
        });
    session_ = std::make_unique<ReaderSession>(*hidCtl_);

    BuildMenus();
    BuildStatusBar();
    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    const QSize client(static_cast<int>(std::lround(kClientWidth * scale)),
                       static_cast<int>(std::lround(kClientHeight * scale)));
    const int centralHeight = client.height() - statusBar()->height();
    // The controls are placed at the design size first and scaled once all of them exist.
    central->setFixedSize(kClientWidth, static_cast<int>(std::lround(centralHeight / scale)));
    BuildDevicePanel(central);
    BuildPages(central, central->height() - kDevicePanelHeight);
    setCentralWidget(central);

    configFiles_ = std::make_unique<cfgfile_gui::TConfigFileCommands>(
        *session_, *settingsPage_, *dialogs_, *cfgPathStore_,
        [this](const QString& text) { SetStatusText(text); });
    applyToAll_ = std::make_unique<TApplyToAllCommand>(
        *session_, *settingsPage_, *dialogs_,
        [this](const std::function<TransferResult()>& transfer) { return RunTransfer(transfer); },
        [this](const QString& text) { SetStatusText(text); },
        [this] { return ReadSettingsFromReader(); },
        [this](const ReaderDevice& device) { return StillPlugged(*platform_, device); });
    settingsPage_->SetCommonChangeHandler([this] { cbUsedAltKeyClick(); });
    connect(settingsPage_->ApplyButton(), &QPushButton::clicked, this, [this] { bnApplyClick(); });
    connect(settingsPage_->ApplyAllButton(), &QPushButton::clicked, this,
            [this] { bnApplyAllClick(); });
    connect(settingsPage_, &reader_gui::TSettingsPage::freeAreaPressed, this,
            [this](Qt::KeyboardModifiers modifiers) { tsMainMouseDown(modifiers); });

    InstallTools();
    ScaleHandPlaced(*central, scale);
    central->setFixedSize(client.width(), centralHeight);
    // Rounding must leave no strip between the pages and the status bar.
    PageControl1_->setGeometry(PageControl1_->x(), PageControl1_->y(), client.width(),
                               centralHeight - PageControl1_->y());

    hidCtl_->SetOnDeviceChange([this](hid::THidDeviceController&) { HidCtlDeviceChange(); });
    hidCtl_->Loaded();
    if (hidCtl_->ChangeWaitable() != hid::kNoWaitable) {
        changeNotifier_ = new TDeviceChangeNotifier(hidCtl_->ChangeWaitable(), this);
        connect(changeNotifier_, &TDeviceChangeNotifier::changesPending, this,
                [this] { PlatformChangesPending(); });
    }

    // The outer size follows from the client area; the frame is the window manager's.
    setFixedSize(client.width(), menuBar()->sizeHint().height() + client.height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Ctrl+C closes the window even while an edit field has the focus.
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm() {
    qApp->removeEventFilter(this);
    // The controls go before the session and the controller they refer to.
    delete takeCentralWidget();
}

void TMainForm::BuildMenus() {
    auto* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto* file = bar->addMenu(tr("&File"));
    file->setObjectName("File1");
    auto addItem = [this](QMenu* menu, const char* name, const char* caption, QKeySequence shortcut,
                          void (TMainForm::*handler)()) {
        QAction* action = menu->addAction(tr(caption));
        action->setObjectName(name);
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    miUpdate_ = addItem(file, "miUpdate", QT_TR_NOOP("&Update Firmware"), QKeySequence("Ctrl+U"),
                        &TMainForm::miUpdateClick);
    miLoadConfig_ = addItem(file, "miLoadConfig", QT_TR_NOOP("&Load Config"),
                            QKeySequence("Ctrl+L"), &TMainForm::miLoadConfigClick);
    miSaveConfig_ = addItem(file, "miSaveConfig", QT_TR_NOOP("&Save Config"),
                            QKeySequence("Ctrl+S"), &TMainForm::miSaveConfigClick);
    miReadConfig_ = addItem(file, "miReadConfig", QT_TR_NOOP("&Read Config"),
                            QKeySequence("Ctrl+R"), &TMainForm::miReadConfigClick);
    addItem(file, "miProvision", QT_TR_NOOP("&Provisioning Mode..."), QKeySequence(),
            &TMainForm::miProvisionClick);
    Close1_ = addItem(file, "Close1", QT_TR_NOOP("&Close"), QKeySequence("Ctrl+C"),
                      &TMainForm::Close1Click);

    auto* edit = bar->addMenu(tr("&Edit"));
    edit->setObjectName("Edit2");
    addItem(edit, "ResetDefault1", QT_TR_NOOP("&Reset Default"), QKeySequence(),
            &TMainForm::ResetDefault1Click);
    miApplyAll_ = addItem(edit, "miApplyAll", QT_TR_NOOP("Apply to &All Readers"), QKeySequence(),
                          &TMainForm::bnApplyAllClick);

    auto* info = bar->addMenu(tr("&Info"));
    info->setObjectName("Info3");
    addItem(info, "miInfo", QT_TR_NOOP("&About..."), QKeySequence(), &TMainForm::miInfoClick);
    addItem(info, "miReaders", QT_TR_NOOP("&Readers..."), QKeySequence(),
            &TMainForm::miReadersClick);
}

void TMainForm::BuildDevicePanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(0, 0, kClientWidth, kDevicePanelHeight);
    cbDevListBox_ = new QComboBox(panel);
    cbDevListBox_->setObjectName("cbDevListBox");
    cbDevListBox_->setGeometry(10, 8, 647, 24);
    cbDevListBox_->setEnabled(false);
    cbDevListBox_->setFocusPolicy(Qt::NoFocus);
    connect(cbDevListBox_, &QComboBox::activated, this, [this](int index) {
        ChooseReader(static_cast<std::size_t>(index));
    });
}

void TMainForm::BuildPages(QWidget* parent, int pageHeight) {
    PageControl1_ = new QStackedWidget(parent);
    PageControl1_->setObjectName("PageControl1");
    PageControl1_->setFocusPolicy(Qt::NoFocus);
    PageControl1_->setGeometry(0, kDevicePanelHeight, kClientWidth, pageHeight);

    // Placed by hand rather than by a layout: a layout would measure the large word-wrapped text
    // (and load its font) at start-up even when a reader is present and the page stays hidden.
    tsWellcome_ = new QWidget(PageControl1_);
    tsWellcome_->setObjectName("tsWellcome");
    auto* panel4 = new QWidget(tsWellcome_);
    panel4->setObjectName("Panel4");
    panel4->setGeometry(kWellcomeMargin, 0, kWellcomeWidth, kWellcomeTopPanelHeight);
    auto* staticText =
        new QLabel(tr("Connect the USB device and push the config-button."), tsWellcome_);
    staticText->setObjectName("StaticText1");
    staticText->setGeometry(kWellcomeMargin,
                            pageHeight - kWellcomeBottomPanelHeight - kWellcomeTextHeight,
                            kWellcomeWidth, kWellcomeTextHeight);
    staticText->setWordWrap(true);
    staticText->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont arial("Arial");
    arial.setPixelSize(27);
    staticText->setFont(arial);
    auto* panel5 = new QWidget(tsWellcome_);
    panel5->setObjectName("Panel5");
    panel5->setGeometry(kWellcomeMargin, pageHeight - kWellcomeBottomPanelHeight, kWellcomeWidth,
                        kWellcomeBottomPanelHeight);

    settingsPage_ = new reader_gui::TSettingsPage(*session_, PageControl1_);

    tsSpecial_ = new QWidget(PageControl1_);
    tsSpecial_->setObjectName("tsSpecial");

    for (QWidget* page : {tsWellcome_, static_cast<QWidget*>(settingsPage_), tsSpecial_})
        PageControl1_->addWidget(page);
    PageControl1_->setCurrentWidget(settingsPage_);
}

void TMainForm::InstallTools() {
    auto* console = new diag_gui::TRawConsolePage(
        *session_, tsSpecial_, [this](const QString& text) { SetStatusText(text); },
        [this](const std::function<TransferResult()>& transfer) { return RunTransfer(transfer); });
    hooks_.BuildByteCells = [console] { console->BuildByteCells(); };
    hooks_.DevListBox1Click = [console] { console->DevListBox1Click(); };
    hooks_.DeviceListRebuilt = [console] { console->ClearHistory(); };
    connect(console, &diag_gui::TRawConsolePage::backRequested, this,
            [this] { PageControl1_->setCurrentWidget(settingsPage_); });
    auto* update = new flasher_gui::TUpdateCommand(*session_, *dialogs_, this);
    hooks_.miUpdateClick = [update] { update->miUpdateClick(); };
    connect(update, &flasher_gui::TUpdateCommand::updateSucceeded, this,
            [this] { ReadAfterUpdate(); });
    hooks_.miInfoClick = [this] { ShowInfoBox(session_->SelectedDevice(), this); };
}

void TMainForm::BuildStatusBar() {
    auto* bar = statusBar();
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(false);
    statusPanel_ = new TStatusPanel(bar);
    statusPanel_->setObjectName("StatusPanel0");
    statusPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(statusPanel_, 1);
    // As high as the panel's frame and a whole line of its font need, descenders included.
    bar->setFixedHeight(std::max(kStatusBarHeight, bar->sizeHint().height()));
}

QString TMainForm::StatusText() const {
    return statusPanel_->FullText();
}

void TMainForm::SetStatusText(const QString& text) {
    statusPanel_->SetFullText(text);
}

TMainForm::TBusyScope::TBusyScope(TMainForm& form) : form_(form) {
    ++form_.busy_;
}

TMainForm::TBusyScope::~TBusyScope() {
    if (--form_.busy_ == 0)
        form_.ResumeDeferredWork();
}

void TMainForm::PlatformChangesPending() {
    if (busy_ > 0) {
        // Left untaken: the waitable stays signalled, so the changes wait there until the
        // notifier is enabled again.
        changeNotifier_->SetEnabled(false);
        changesDeferred_ = true;
        return;
    }
    hidCtl_->HandlePlatformChanges();
}

void TMainForm::RunWhenIdle(std::function<void()> task) {
    if (busy_ > 0) {
        deferredTasks_.push_back(std::move(task));
        return;
    }
    task();
}

void TMainForm::ResumeDeferredWork() {
    // Taken up from the event loop, never inside the handler that just ended.
    for (auto& task : std::exchange(deferredTasks_, {}))
        QMetaObject::invokeMethod(
            this, [this, task = std::move(task)] { RunWhenIdle(task); }, Qt::QueuedConnection);
    if (changesDeferred_) {
        changesDeferred_ = false;
        changeNotifier_->SetEnabled(true);
    }
}

TransferResult TMainForm::RunTransfer(const std::function<TransferResult()>& transfer) {
    const TBusyScope busy(*this);
    TransferResult result;
    RunWhileWaiting([&] { result = transfer(); });
    return result;
}

void TMainForm::SetReaderCommandsEnabled(bool enabled) {
    for (QAction* item : {miUpdate_, miLoadConfig_, miSaveConfig_, miReadConfig_, miApplyAll_})
        item->setEnabled(enabled);
}

bool TMainForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && !activatedOnce_) {
        activatedOnce_ = true;
        // Activation may arrive while a transfer waits; the console's setup asks the reader
        // too, so it runs once the transfer is over.
        RunWhenIdle([this] { FormActivate(); });
    }
    return QMainWindow::event(event);
}

void TMainForm::FormActivate() {
    if (hooks_.BuildByteCells)
        hooks_.BuildByteCells();
    DevListBox1Click();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // The system's theme changed while the program runs: the window follows it as at start. The
    // toolkit tells windows and their children apart, so either may bring the news.
    if (event->type() == QEvent::ApplicationPaletteChange &&
        (watched == this || watched == centralWidget()))
        setPalette(WindowPalette(QApplication::palette()));
    // Edit fields claim Ctrl+C for copying; here it is the Close command.
    if (event->type() == QEvent::ShortcutOverride && Close1_->isEnabled()) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this &&
            IsCtrlC(*static_cast<QKeyEvent*>(event))) {
            event->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (HasUnappliedSettings()) {
        const UnappliedChoice choice = dialogs_->AskApplyDiscardCancel(
            tr("The settings shown have not been applied to the reader.\n\n"
               "Apply them before closing?"));
        if (choice == UnappliedChoice::Apply)
            bnApplyClick();
        // A write that failed leaves the window open, with the settings and the reason shown.
        if (choice == UnappliedChoice::Cancel ||
            (choice == UnappliedChoice::Apply && HasUnappliedSettings())) {
            event->ignore();
            return;
        }
    }
    ResetReader();
    event->accept();
}

bool TMainForm::HasUnappliedSettings() const {
    return PageControl1_->currentWidget() != tsWellcome_ && settingsPage_->HasRecord() &&
           settingsPage_->ApplyButton()->isEnabled();
}

void TMainForm::keyPressEvent(QKeyEvent* event) {
    // "Apply" is the default button: an Enter that no control took presses it.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QPushButton* apply = settingsPage_->ApplyButton();
    if (enter && apply->isEnabled() && PageControl1_->currentWidget() == settingsPage_) {
        apply->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TMainForm::ResetReader() {
    if (!session_->HasReader())
        return;
    session_->TakeSelectedAsCurrent();
    const std::array<std::uint8_t, 4> reset = {6, 0, 0, 0};
    RunTransfer([&] {
        return ReaderSession::WriteFeatureTo(session_->CurrentDevice(), reset, reset.size());
    });
}

void TMainForm::HidCtlDeviceChange() {
    // Message boxes of the rebuild run their own event loop; changes arriving there wait.
    const TBusyScope busy(*this);
    session_->RebuildDeviceList();
    cbDevListBox_->clear();
    cbDevListBox_->addItems(DeviceListTexts(session_->Entries()));
    // A single reader needs no choice, and "Apply" reaches it already.
    cbDevListBox_->setEnabled(cbDevListBox_->count() > 1);
    settingsPage_->ApplyAllButton()->setVisible(cbDevListBox_->count() > 1);
    if (hooks_.DeviceListRebuilt)
        hooks_.DeviceListRebuilt();
    ShowDiscoveredReaders();
    emit deviceChangeHandled();
}

void TMainForm::ShowDiscoveredReaders() {
    if (!session_->HasReader()) {
        // Whatever the controls show belonged to the list before this change.
        settingsPage_->ForgetRecord();
        shownReader_.clear();
        configFiles_->SetReaderType(std::nullopt);
        PageControl1_->setCurrentWidget(tsWellcome_);
        SetReaderCommandsEnabled(false);
        return;
    }
    // The chosen reader stays chosen while it is plugged in, then the reader shown; otherwise
    // the first one is used.
    const std::vector<DeviceEntry>& entries = session_->Entries();
    const std::optional<std::size_t> shown = EntryOf(entries, shownReader_);
    const std::size_t index = EntryOf(entries, chosenReader_).value_or(shown.value_or(0));
    // The controls hold that reader's settings, perhaps with edits not applied yet: kept.
    if (shown == index && settingsPage_->HasRecord()) {
        SelectEntry(index);
        return;
    }
    ShowReader(index);
}

void TMainForm::ChooseReader(std::size_t index) {
    const TBusyScope busy(*this);
    if (index >= session_->Entries().size() || index == session_->SelectedIndex())
        return;
    const ReaderDevice device = session_->Entries()[index].Device;
    chosenReader_ = device ? device->PnPInfo().DevInst : std::string();
    // What the status bar said was about the reader shown before.
    SetStatusText(QString());
    ShowReader(index);
}

void TMainForm::SelectEntry(std::size_t index) {
    cbDevListBox_->setCurrentIndex(static_cast<int>(index));
    session_->Select(index);
    DevListBox1Click();
    PageControl1_->setCurrentWidget(settingsPage_);
    SetReaderCommandsEnabled(true);
}

void TMainForm::ShowReader(std::size_t index) {
    // Whatever the controls show belonged to another reader or to the list before this change.
    settingsPage_->ForgetRecord();
    configFiles_->SetReaderType(std::nullopt);
    SelectEntry(index);
    ++readersShown_;
    const ReaderDevice device = session_->SelectedDevice();
    shownReader_ = device ? device->PnPInfo().DevInst : std::string();
    // What the status bar said was about the reader shown before.
    SetStatusText(QString());

    const std::string accessProblem = ReaderSession::AccessProblem(device);
    if (!accessProblem.empty())
        SetStatusText(QString::fromStdString(accessProblem));
    else if (ShowIfInFirmwareLoader())
        return;

    if (commandLine_.configFileGiven && startupFileUsable_) {
        if (configFiles_->LoadConfigFile(commandLine_.configFile)) {
            // Edits of the loaded settings count like those of settings read from a reader.
            suppressModified_ = false;
            return;
        }
        startupFileUsable_ = false;
    }
    configFiles_->SetSaveDialogFileName(cfgPathStore_->ReadCfgPath());
    configFiles_->SetOpenDialogFileName(cfgPathStore_->ReadCfgPath());
    const bool read = ReadSettingsFromReader();
    suppressModified_ = false;
    if (!read && !accessProblem.empty())
        SetStatusText(QString::fromStdString(accessProblem));
}

bool TMainForm::ShowIfInFirmwareLoader() {
    const ReaderDevice device = session_->SelectedDevice();
    bool inLoader = false;
    RunTransfer([&] {
        inLoader = ReaderSession::IsInFirmwareLoader(device);
        return TransferResult{};
    });
    if (!inLoader)
        return false;
    // Its settings record means nothing until the firmware runs again: only the update is left.
    settingsPage_->DisableSettingsControls();
    SetReaderCommandsEnabled(false);
    miUpdate_->setEnabled(true);
    SetStatusText(tr("This reader is still in its firmware loader: run the update again "
                     "(File > Update Firmware)"));
    return true;
}

bool TMainForm::ReadSettingsFromReader() {
    const TransferResult read =
        RunTransfer([this] { return session_->ReadReport(kSettingsReportId); });
    if (!read.Ok) {
        // The buffer still holds what it held before: nothing of this reader to show.
        if (!settingsPage_->HasRecord())
            settingsPage_->DisableSettingsControls();
        SetStatusText(FailureText(tr("Device settings could not be read"), read) + ". " +
                      (settingsPage_->HasRecord()
                           ? tr("The settings shown are the ones read before.")
                           : reader_gui::TSettingsPage::NoSettingsLoaded()));
        return false;
    }
    settingsPage_->ShowReadRecord();
    configFiles_->SetReaderType(session_->StoredReaderType());
    // Whatever the status bar said ("modified" among others) was about the settings before.
    SetStatusText(QString());
    return true;
}

void TMainForm::ReadAfterUpdate() {
    // The new firmware may hold other settings, and a reader that waited in its loader runs its
    // firmware again.
    if (!ReadSettingsFromReader()) {
        SetStatusText(tr("Firmware updated. ") + StatusText());
        return;
    }
    SetReaderCommandsEnabled(true);
    SetStatusText(tr("Firmware updated; the settings shown were read from the reader again"));
}

void TMainForm::DevListBox1Click() {
    if (hooks_.DevListBox1Click)
        hooks_.DevListBox1Click();
}

void TMainForm::cbUsedAltKeyClick() {
    if (suppressModified_ || !settingsPage_->HasRecord())
        return;
    settingsPage_->ApplyButton()->setEnabled(true);
    SetStatusText(tr("modified"));
}

void TMainForm::bnApplyClick() {
    const TBusyScope busy(*this);
    if (!settingsPage_->HasRecord()) {
        SetStatusText(reader_gui::TSettingsPage::NoSettingsLoaded());
        return;
    }
    settingsPage_->EncodeSettings();
    const ReportBuffer written = session_->Buffer();
    const std::uint8_t readerType = session_->StoredReaderType();
    const TransferResult write =
        RunTransfer([this] { return session_->WriteReport(kSettingsReportId); });
    if (!write.Ok) {
        // The settings were not stored: keep "Apply" so that the user can try again.
        SetStatusText(FailureText(tr("Device settings could not be written"), write));
        return;
    }
    // The reader may round or refuse values: the controls show what it holds now.
    const TransferResult readBack =
        RunTransfer([this] { return session_->ReadReport(kSettingsReportId); });
    settingsPage_->ShowReadRecord();
    if (!readBack.Ok) {
        SetStatusText(tr("Device settings written, but they could not be read back: ") +
                      QString::fromStdString(readBack.Message));
        return;
    }
    configFiles_->SetReaderType(session_->StoredReaderType());
    QStringList differing;
    for (std::size_t index :
         DifferingEncodedBytes(written, session_->Buffer(), readerType, write.Length))
        differing << QString::number(index);
    if (!differing.isEmpty()) {
        SetStatusText((differing.size() == 1
                           ? tr("Device settings written, but the reader did not keep byte %1")
                           : tr("Device settings written, but the reader did not keep bytes %1"))
                          .arg(differing.join(", ")));
        return;
    }
    SetStatusText(tr("Device-Settings updated"));
}

void TMainForm::bnApplyAllClick() {
    const TBusyScope busy(*this);
    applyToAll_->Run();
}

void TMainForm::miLoadConfigClick() {
    const TBusyScope busy(*this);
    if (configFiles_->miLoadConfigClick())
        cbUsedAltKeyClick();
}

void TMainForm::miSaveConfigClick() {
    const TBusyScope busy(*this);
    // Saving controls that hold no record would make a file of made-up settings.
    if (!settingsPage_->HasRecord()) {
        SetStatusText(reader_gui::TSettingsPage::NoSettingsLoaded());
        return;
    }
    configFiles_->miSaveConfigClick();
}

void TMainForm::miReadConfigClick() {
    const TBusyScope busy(*this);
    if (ReadSettingsFromReader())
        SetStatusText(tr("Device settings"));
}

void TMainForm::ResetDefault1Click() {
    const TBusyScope busy(*this);
    configFiles_->ResetDefault1Click();
}

void TMainForm::miUpdateClick() {
    // A rebuild would read the reader while its loader runs: device changes wait for the end.
    const TBusyScope busy(*this);
    if (hooks_.miUpdateClick)
        hooks_.miUpdateClick();
}

void TMainForm::miProvisionClick() {
    // The run takes the device changes and talks to the readers alone: the window leaves both
    // until it is over.
    const TBusyScope busy(*this);
    {
        TProvisioningDialog dialog(platform_, *dialogs_, this);
        dialog.RememberChoicesIn(*cfgPathStore_);
        if (hooks_.ProvisioningOpened)
            hooks_.ProvisioningOpened(dialog);
        dialog.exec();
    }
    // The run took the change notifications and rewrote readers: the list is brought up to
    // date, and the reader shown is read again unless the rebuild has just read another one.
    const int shownBefore = readersShown_;
    hidCtl_->DeviceChange();
    if (readersShown_ == shownBefore && session_->HasReader())
        ReadSettingsFromReader();
}

void TMainForm::miInfoClick() {
    const TBusyScope busy(*this);
    if (hooks_.miInfoClick)
        hooks_.miInfoClick();
}

void TMainForm::miReadersClick() {
    auto* readers = findChild<inventory_gui::TReadersDialog*>("ReadersDialog");
    if (readers == nullptr) {
        const TBusyScope busy(*this);
        readers = new inventory_gui::TReadersDialog(*session_, *dialogs_, this);
        readers->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &TMainForm::deviceChangeHandled, readers,
                &inventory_gui::TReadersDialog::Refresh);
    }
    readers->show();
    readers->raise();
}

void TMainForm::tsMainMouseDown(Qt::KeyboardModifiers modifiers) {
    const bool shiftAndAlt =
        modifiers.testFlag(Qt::ShiftModifier) && modifiers.testFlag(Qt::AltModifier);
    if (shiftAndAlt && PageControl1_->currentWidget() == settingsPage_)
        PageControl1_->setCurrentWidget(tsSpecial_);
}

}  // namespace zm880::app
