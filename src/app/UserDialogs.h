#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace zm880::app {

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
    // A simple message box with one OK button and the application title as caption.
    virtual void ShowMessage(const QString& text) = 0;
    // A question with the buttons Yes and No, No being the default; true for Yes. Dialogs that
    // cannot ask answer No.
    virtual bool Confirm(const QString& /*question*/) { return false; }
};

// The platform's dialogs, parented to `parent`.
class QtUserDialogs : public UserDialogs {
  public:
    explicit QtUserDialogs(QWidget* parent) : parent_(parent) {}

    std::optional<QString> OpenConfigFile(const QString& fileName) override;
    std::optional<QString> SaveConfigFile(const QString& fileName) override;
    std::optional<QString> OpenUpdateFile(const QString& fileName) override;
    void ShowMessage(const QString& text) override;
    bool Confirm(const QString& question) override;

  private:
    QWidget* parent_;
};

}  // namespace zm880::app
