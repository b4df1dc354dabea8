#include "app/ProvisioningDialog.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>
#include <utility>

#include "app/CfgPathStore.h"
#include "app/UserDialogs.h"
#include "cfgfile/gui/ProfileFile.h"
#include "flasher/UpdateFileCheck.h"
#include "flasher/UpdateRun.h"
#include "flasher/gui/UpdateCommand.h"
#include "reader/SettingsFields.h"
#include "reader/VerifiedWrite.h"

namespace zm880::app {
namespace {

enum Column { kTimeColumn, kReaderColumn, kResultColumn, kBackupColumn, kColumnCount };

// Names of the remembered choices in the window's store.
constexpr const char* kProfileChoice = "ProvisioningProfile";
constexpr const char* kFirmwareChoice = "ProvisioningFirmware";

QTableWidgetItem* Cell(const std::string& text) {
    auto* item = new QTableWidgetItem(QString::fromStdString(text));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    item->setToolTip(item->text());
    return item;
}

// "2026-12-10T08:15:02.123Z" shows as "08:15:02"; the whole stamp is the cell's tool tip.
QTableWidgetItem* TimeCell(const std::string& stamp) {
    QTableWidgetItem* item = Cell(stamp);
    const qsizetype timeStart = item->text().indexOf('T') + 1;
    if (timeStart > 0)
        item->setText(item->text().mid(timeStart, 8));
    return item;
}

// A backup shows by its file name; the whole path is the cell's tool tip.
QTableWidgetItem* BackupCell(const std::string& path) {
    QTableWidgetItem* item = Cell(path);
    item->setText(QFileInfo(item->text()).fileName());
    return item;
}

QString ChangeList(const std::vector<FieldChange>& changes) {
    QStringList list;
    for (const FieldChange& change : changes)
        list << QString::fromStdString(change.field + ": " + change.before + " -> " + change.after);
    return list.join("\n");
}

}  // namespace

TProvisioningDialog::TProvisioningDialog(std::shared_ptr<hid::Platform> platform,
                                         UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), platform_(std::move(platform)), dialogs_(dialogs) {
    setObjectName("ProvisioningForm");
    setWindowTitle(tr("Provisioning"));
    BuildControls();
    UpdateControls();
}

TProvisioningDialog::~TProvisioningDialog() {
    if (worker_.joinable()) {
        provisioner_->Stop();
        worker_.join();
    }
}

void TProvisioningDialog::BuildControls() {
    auto* grid = new QGridLayout(this);
    auto addFileRow = [this, grid](int row, const QString& caption, QLineEdit*& edit,
                                   const char* name) {
        auto* label = new QLabel(caption, this);
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        label->setBuddy(edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
    };
    addFileRow(0, tr("Profile:"), edProfile_, "edProfile");
    addFileRow(1, tr("Firmware:"), edFirmware_, "edFirmware");
    edFirmware_->setPlaceholderText(tr("none: the firmware stays as it is"));

    bnProfile_ = new QPushButton(tr("Choose..."), this);
    bnProfile_->setObjectName("bnProfile");
    grid->addWidget(bnProfile_, 0, 2);
    bnFirmware_ = new QPushButton(tr("Choose..."), this);
    bnFirmware_->setObjectName("bnFirmware");
    grid->addWidget(bnFirmware_, 1, 2);
    bnNoFirmware_ = new QPushButton(tr("None"), this);
    bnNoFirmware_->setObjectName("bnNoFirmware");
    grid->addWidget(bnNoFirmware_, 1, 3);

    tbReaders_ = new QTableWidget(0, kColumnCount, this);
    tbReaders_->setObjectName("tbReaders");
    tbReaders_->setHorizontalHeaderLabels(
        {tr("Time (UTC)"), tr("Reader"), tr("Result"), tr("Backup")});
    tbReaders_->verticalHeader()->hide();
    // The result says most and grows with the window; the backup shows its file name.
    tbReaders_->horizontalHeader()->setStretchLastSection(false);
    tbReaders_->horizontalHeader()->setSectionResizeMode(kResultColumn, QHeaderView::Stretch);
    tbReaders_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // One line per reader: long texts are cut and shown whole in the tool tip.
    tbReaders_->setWordWrap(false);
    // The widths suit the usual font; a larger one (dark desktop themes often come with one)
    // widens a column to its whole caption.
    QHeaderView* header = tbReaders_->horizontalHeader();
    const std::pair<int, int> widths[] = {
        {kTimeColumn, 80}, {kReaderColumn, 130}, {kBackupColumn, 180}};
    for (const auto& [column, width] : widths)
        tbReaders_->setColumnWidth(column, std::max(width, header->sectionSizeHint(column)));
    grid->addWidget(tbReaders_, 2, 0, 1, 4);

    lbCounts_ = new QLabel(this);
    lbCounts_->setObjectName("lbCounts");
    grid->addWidget(lbCounts_, 3, 0, 1, 2);
    lbState_ = new QLabel(this);
    lbState_->setObjectName("lbState");
    grid->addWidget(lbState_, 4, 0, 1, 4);

    auto* buttons = new QHBoxLayout;
    bnStart_ = new QPushButton(tr("Start"), this);
    bnStart_->setObjectName("bnStart");
    bnStop_ = new QPushButton(tr("Stop"), this);
    bnStop_->setObjectName("bnStop");
    bnClose_ = new QPushButton(tr("Close"), this);
    bnClose_->setObjectName("bnClose");
    buttons->addStretch();
    for (QPushButton* button : {bnStart_, bnStop_, bnClose_}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 5, 0, 1, 4);
    grid->setColumnStretch(1, 1);

    connect(bnProfile_, &QPushButton::clicked, this, [this] { bnProfileClick(); });
    connect(bnFirmware_, &QPushButton::clicked, this, [this] { bnFirmwareClick(); });
    connect(bnNoFirmware_, &QPushButton::clicked, this, [this] {
        edFirmware_->clear();
        RememberChoices();
        UpdateControls();
    });
    connect(bnStart_, &QPushButton::clicked, this, [this] { bnStartClick(); });
    connect(bnStop_, &QPushButton::clicked, this, [this] { bnStopClick(); });
    connect(bnClose_, &QPushButton::clicked, this, [this] { reject(); });
    resize(680, 420);
}

void TProvisioningDialog::UpdateControls() {
    const bool running = Running();
    for (QPushButton* button : {bnProfile_, bnFirmware_, bnNoFirmware_})
        button->setEnabled(!running);
    bnNoFirmware_->setEnabled(!running && !edFirmware_->text().isEmpty());
    bnStart_->setEnabled(!running && !edProfile_->text().isEmpty());
    bnStop_->setEnabled(running && !provisioner_->StopRequested());
    lbCounts_->setText(tr("Done: %1    Failed: %2").arg(done_).arg(failed_));
    if (running)
        lbState_->setText(provisioner_->StopRequested()
                              ? tr("Stopping after the reader in hand...")
                              : tr("Waiting for readers: plug them in one after another."));
    else
        lbState_->setText(edProfile_->text().isEmpty() ? tr("Choose a profile to start.")
                          : started_                   ? tr("Stopped.")
                                                       : tr("Press Start to begin."));
}

void TProvisioningDialog::RememberChoicesIn(CfgPathStore& store) {
    store_ = &store;
    // A file gone since is no choice to offer.
    for (const auto& [edit, name] :
         {std::pair{edProfile_, kProfileChoice}, std::pair{edFirmware_, kFirmwareChoice}}) {
        const QString path = store.ReadPath(name);
        if (!path.isEmpty() && QFileInfo(path).isFile())
            edit->setText(path);
    }
    UpdateControls();
}

void TProvisioningDialog::RememberChoices() {
    if (store_ == nullptr)
        return;
    store_->WritePath(kProfileChoice, edProfile_->text());
    store_->WritePath(kFirmwareChoice, edFirmware_->text());
}

void TProvisioningDialog::bnProfileClick() {
    if (const auto chosen = dialogs_.OpenProfileFile(edProfile_->text())) {
        edProfile_->setText(QFileInfo(*chosen).absoluteFilePath());
        RememberChoices();
        UpdateControls();
    }
}

void TProvisioningDialog::bnFirmwareClick() {
    const auto chosen = dialogs_.OpenUpdateFile(edFirmware_->text());
    if (!chosen)
        return;
    if (!flasher_gui::IsUpdateFileName(*chosen)) {
        dialogs_.ShowMessage(
            tr("ERROR: Bad Update-File\nthe name must end in .hex, in lower case"));
        return;
    }
    edFirmware_->setText(QFileInfo(*chosen).absoluteFilePath());
    RememberChoices();
    UpdateControls();
}

std::optional<provision::ProvisionPlan> TProvisioningDialog::MakePlan() {
    provision::ProvisionPlan plan;
    QString error;
    const auto profile = cfgfile_gui::ReadProfileFile(edProfile_->text(), error);
    if (!profile) {
        dialogs_.ShowMessage(error);
        return std::nullopt;
    }
    if (const auto refused = CheckProfileFields(*profile)) {
        dialogs_.ShowMessage(tr("The profile is refused: %1").arg(QString::fromStdString(*refused)));
        return std::nullopt;
    }
    plan.profile = *profile;
    plan.firmwareFile = edFirmware_->text().toStdString();
    if (!plan.firmwareFile.empty()) {
        // Every reader would get the same file: one that would erase or only partly replace the
        // firmware is refused or confirmed once, before any reader is touched.
        const flasher::UpdateFileCheck check = flasher::CheckUpdateFile(plan.firmwareFile);
        if (!check.Readable()) {
            QString reason = QString::fromStdString(check.read.reason);
            if (check.read.line > 0)
                reason = tr("%1 (line %2)").arg(reason).arg(check.read.line);
            dialogs_.ShowMessage(
                QString::fromStdString(flasher::UpdateMessage(flasher::kUpdateFileNotFound)) +
                "\n" + reason);
            return std::nullopt;
        }
        if (check.Empty()) {
            dialogs_.ShowMessage(
                QString::fromStdString(flasher::UpdateMessage(flasher::kUpdateFileNotFound)) +
                "\n" + QString::fromStdString(flasher::NoDataReason()));
            return std::nullopt;
        }
        if (check.Partial() &&
            !dialogs_.AskYesNo(tr("%1.\n\nUpdate every reader anyway?")
                                   .arg(QString::fromStdString(flasher::PartialFileWarning(
                                       plan.firmwareFile, check.pagesFilled))))) {
            return std::nullopt;
        }
    }
    const auto backups = DefaultBackupDirectory();
    if (!backups) {
        dialogs_.ShowMessage(tr("neither XDG_STATE_HOME nor HOME is set; no place for the backups"));
        return std::nullopt;
    }
    plan.backupDirectory = *backups;
    return plan;
}

void TProvisioningDialog::bnStartClick() {
    if (Running())
        return;
    auto plan = MakePlan();
    if (!plan)
        return;
    provisioner_ = std::make_unique<provision::Provisioner>(platform_, std::move(*plan));
    worker_ = std::thread([this, provisioner = provisioner_.get()] {
        // A run that cannot go on (the bus cannot be watched) ends with its reason.
        QString error;
        try {
            provisioner->Run([this](const provision::ProvisionResult& result) {
                QMetaObject::invokeMethod(
                    this, [this, result] { ShowResult(result); }, Qt::QueuedConnection);
            });
        } catch (const std::exception& e) {
            error = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, error] { RunEnded(error); }, Qt::QueuedConnection);
    });
    started_ = true;
    UpdateControls();
}

void TProvisioningDialog::bnStopClick() {
    if (!Running())
        return;
    provisioner_->Stop();
    UpdateControls();
}

void TProvisioningDialog::ShowResult(const provision::ProvisionResult& result) {
    if (result.ok)
        ++done_;
    else
        ++failed_;
    const int row = tbReaders_->rowCount();
    tbReaders_->insertRow(row);
    tbReaders_->setItem(row, kTimeColumn, TimeCell(result.time));
    tbReaders_->setItem(row, kReaderColumn, Cell(result.path));
    QTableWidgetItem* outcome = Cell({});
    if (result.ok) {
        outcome->setText(tr("ok"));
        const QString changes = ChangeList(result.changes);
        outcome->setToolTip(changes.isEmpty() ? tr("no field changed") : changes);
    } else {
        outcome->setText(tr("failed: %1").arg(QString::fromStdString(result.reason)));
        outcome->setToolTip(outcome->text());
        outcome->setForeground(Qt::darkRed);
    }
    tbReaders_->setItem(row, kResultColumn, outcome);
    tbReaders_->setItem(row, kBackupColumn, BackupCell(result.backupPath));
    tbReaders_->scrollToBottom();
    UpdateControls();
    emit resultShown();
}

void TProvisioningDialog::RunEnded(const QString& error) {
    worker_.join();
    provisioner_.reset();
    UpdateControls();
    if (!error.isEmpty())
        lbState_->setText(tr("The run ended: %1").arg(error));
    emit runEnded();
    if (closeWhenEnded_)
        QDialog::reject();
}

void TProvisioningDialog::reject() {
    if (Running()) {
        // Escape or a stray click must not end a run and throw its results away.
        if (closeWhenEnded_ ||
            !dialogs_.AskYesNo(tr("Readers are being provisioned. Stop after the reader in hand "
                                  "and close this window? Its list of results is then gone.")))
            return;
        // The run ends after the reader in hand; the dialog closes then.
        closeWhenEnded_ = true;
        bnStopClick();
        return;
    }
    QDialog::reject();
}

}  // namespace zm880::app
