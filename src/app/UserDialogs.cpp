#include "app/UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace zm880::app {
namespace {

// A dialog whose preset names no directory starts in the working directory, not wherever the
// toolkit last left a file dialog.
void StartInWorkingDirectoryUnlessPreset(QFileDialog& dialog, const QString& fileName) {
    if (fileName.isEmpty() || QFileInfo(fileName).isRelative())
        dialog.setDirectory(QDir::currentPath());
}

std::optional<QString> Run(QFileDialog& dialog, const QString& fileName) {
    // A full path names the folder to start in and the name to offer there. They are set apart
    // because the system's own dialog on Windows does not take the folder from a full name.
    if (!fileName.isEmpty()) {
        const QFileInfo preset(fileName);
        if (preset.isAbsolute())
            dialog.setDirectory(preset.absolutePath());
        dialog.selectFile(preset.isAbsolute() ? preset.fileName() : fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

}  // namespace

std::optional<QString> QtUserDialogs::OpenConfigFile(const QString& fileName) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(
        {tr("Config File *.cfg (*.cfg)"), tr("Profile *.json (*.json)"), tr("All Files *.* (*)")});
    dialog.setDefaultSuffix("cfg");
    StartInWorkingDirectoryUnlessPreset(dialog, fileName);
    return Run(dialog, fileName);
}

std::optional<QString> QtUserDialogs::SaveConfigFile(const QString& fileName) {
    QFileDialog dialog(parent_, tr("Save Config"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString profileFilter = tr("Profile *.json (*.json)");
    dialog.setNameFilters(
        {tr("Config Files *.cfg (*.cfg)"), profileFilter, tr("All Files *.* (*)")});
    dialog.setDefaultSuffix("cfg");
    // A bare name typed under the profile filter becomes a profile, not 64 bytes named *.cfg.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, profileFilter](const QString& filter) {
                         dialog.setDefaultSuffix(filter == profileFilter ? "json" : "cfg");
                     });
    // The save dialog asks before overwriting unless told not to.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return Run(dialog, fileName);
}

std::optional<QString> QtUserDialogs::OpenUpdateFile(const QString& fileName) {
    QFileDialog dialog(parent_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("Update File (intel) (*.hex)"), tr("All (*)")});
    dialog.setDefaultSuffix("hex");
    // Only lower-case *.hex names are taken: the filter must not offer GOOD.HEX. The system's
    // own dialog on Windows ignores this.
    dialog.setFilter(dialog.filter() | QDir::CaseSensitive);
    StartInWorkingDirectoryUnlessPreset(dialog, fileName);
    return Run(dialog, fileName);
}

std::optional<QString> QtUserDialogs::OpenProfileFile(const QString& fileName) {
    QFileDialog dialog(parent_, tr("Profile"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({tr("Profile *.json (*.json)"), tr("All Files *.* (*)")});
    dialog.setDefaultSuffix("json");
    StartInWorkingDirectoryUnlessPreset(dialog, fileName);
    return Run(dialog, fileName);
}

std::optional<QString> QtUserDialogs::SaveCsvFile(const QString& fileName) {
    QFileDialog dialog(parent_, tr("Save as CSV"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({tr("CSV *.csv (*.csv)"), tr("All Files *.* (*)")});
    dialog.setDefaultSuffix("csv");
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return Run(dialog, fileName);
}

void QtUserDialogs::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent_);
    box.exec();
}

bool QtUserDialogs::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

UnappliedChoice QtUserDialogs::AskApplyDiscardCancel(const QString& text) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                    QMessageBox::NoButton, parent_);
    QPushButton* apply = box.addButton(tr("Apply"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(tr("Discard"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(tr("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == apply)
        return UnappliedChoice::Apply;
    if (box.clickedButton() == discard)
        return UnappliedChoice::Discard;
    return UnappliedChoice::Cancel;
}

}  // namespace zm880::app
