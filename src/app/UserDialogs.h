#pragma once

#include <QCoreApplication>
#include <QString>

#include <optional>

class QWidget;

namespace zm880::app {

// The answers to the question about settings that were not applied.
enum class UnappliedChoice { Apply, Discard, Cancel };

// Every file dialog and message box of the window goes through here, so that tests can answer
// them. A dialog returns the chosen path, or nothing when the user cancels.
class UserDialogs {
  public:
    virtual ~UserDialogs() = default;

    // `fileName` presets the dialog's file name (may be empty).
    virtual std::optional<QString> OpenConfigFile(const QString& fileName) = 0;
    // Asks before overwriting an existing file.
    virtual std::optional<QString> SaveConfigFile(const QString& fileName) = 0;
    virtual std::optional<QString> OpenUpdateFile(const QString& fileName) = 0;
    // A readable profile (*.json) for provisioning.
    virtual std::optional<QString> OpenProfileFile(const QString& fileName) = 0;
    // A table to save as *.csv; asks before overwriting an existing file.
    virtual std::optional<QString> SaveCsvFile(const QString& fileName) = 0;
    // A simple message box with one OK button and the application title as caption.
    virtual void ShowMessage(const QString& text) = 0;
    // A question with Yes and No buttons, No as the default; true for Yes.
    virtual bool AskYesNo(const QString& text) = 0;
    // A question with "Apply", "Discard" and "Cancel" buttons; Escape is Cancel.
    virtual UnappliedChoice AskApplyDiscardCancel(const QString& text) = 0;
};

// The platform's dialogs, parented to `parent`.
class QtUserDialogs : public UserDialogs {
    Q_DECLARE_TR_FUNCTIONS(zm880::app::QtUserDialogs)

  public:
    explicit QtUserDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<QString> OpenConfigFile(const QString& fileName) override;
    std::optional<QString> SaveConfigFile(const QString& fileName) override;
    std::optional<QString> OpenUpdateFile(const QString& fileName) override;
    std::optional<QString> OpenProfileFile(const QString& fileName) override;
    std::optional<QString> SaveCsvFile(const QString& fileName) override;
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    UnappliedChoice AskApplyDiscardCancel(const QString& text) override;

  private:
    QWidget* parent_;
};

}  // namespace zm880::app
