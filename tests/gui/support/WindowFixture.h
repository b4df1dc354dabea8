#pragma once

#include <QCheckBox>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "app/CfgPathStore.h"
#include "app/MainForm.h"
#include "app/RadioGroup.h"
#include "app/UserDialogs.h"
#include "hid/sim/SimulatedBus.h"
#include "sim/ReaderModel.h"

namespace zm880::testing {

// The environment variable below which settings backups are kept on this system.
const char* StateHomeVariable();
// Sends this process's settings backups below stateHome.
void UseStateHome(const QString& stateHome);

// Dialogs that answer from a queue and remember what they were asked.
class ScriptedDialogs : public app::UserDialogs {
  public:
    std::deque<std::optional<QString>> answers;  // next answer of any file dialog
    std::deque<bool> yesNoAnswers;               // next answer of a question; No when empty
    // Next answer to the question about settings not applied; Cancel when empty.
    std::deque<app::UnappliedChoice> unappliedAnswers;
    QStringList messages;
    QStringList presetNames;  // file name each file dialog was opened with
    QStringList questions;
    // Runs while a message box is "open", as the user's time in front of it.
    std::function<void()> whileMessageShown;

    std::optional<QString> OpenConfigFile(const QString& fileName) override {
        return Next(fileName);
    }
    std::optional<QString> SaveConfigFile(const QString& fileName) override {
        return Next(fileName);
    }
    std::optional<QString> OpenUpdateFile(const QString& fileName) override {
        return Next(fileName);
    }
    std::optional<QString> OpenProfileFile(const QString& fileName) override {
        return Next(fileName);
    }
    std::optional<QString> SaveCsvFile(const QString& fileName) override { return Next(fileName); }
    void ShowMessage(const QString& text) override;
    bool AskYesNo(const QString& text) override;
    app::UnappliedChoice AskApplyDiscardCancel(const QString& text) override;

  private:
    std::optional<QString> Next(const QString& fileName);
};

// The real main window on a simulated bus, with scripted dialogs and a "CfgPath" store in a
// temporary directory.
class WindowFixture {
  public:
    WindowFixture();
    ~WindowFixture();

    hid::SimulatedBus& Bus() { return *bus_; }
    // Adds a device to the bus; while the window runs, waits for the rebuild that follows.
    std::size_t Add(std::unique_ptr<sim::DeviceModel> device);
    std::size_t AddReader(std::uint8_t readerType = 0,
                          const std::string& product = "ZM-880 RFID Reader");
    std::size_t AddKeyboard();
    sim::ReaderModel& Reader(std::size_t slot) { return bus_->Reader(slot); }

    // Builds and shows the window with these parameters and waits for the first discovery.
    app::TMainForm& Start(const QStringList& arguments = {});
    app::TMainForm& Form() { return *form_; }
    ScriptedDialogs& Dialogs() { return *dialogs_; }
    app::CfgPathStore& Store() { return *store_; }
    QString StoreFile() const { return dir_.filePath("CfgPath.ini"); }
    QString TempPath(const QString& name) const { return dir_.filePath(name); }

    // Plug and unplug, each followed by waiting for the window's rebuild of the device list.
    void Plug(std::size_t slot);
    void Unplug(std::size_t slot);
    void WaitForRebuilds(int count);
    int Rebuilds() const { return rebuilds_; }

    template <typename T>
    T* Find(const QString& name) const {
        return form_->findChild<T*>(name);
    }
    QAction* Action(const QString& name) const { return Find<QAction>(name); }
    QWidget* CurrentPage() const;
    QCheckBox* Box(const QString& name) const { return Find<QCheckBox>(name); }
    app::TRadioGroup* Radio(const QString& name) const { return Find<app::TRadioGroup>(name); }
    // Clicks item `index` of a radio group as the user does.
    void ChooseRadio(const QString& group, int index) const;
    // Opens the device list and clicks entry `index`, as the user chooses a reader.
    void ChooseReader(int index) const;
    bool ApplyEnabled() const;
    QString Status() const { return form_->StatusText(); }

  private:
    QTemporaryDir dir_;
    std::shared_ptr<hid::SimulatedBus> bus_;
    std::shared_ptr<ScriptedDialogs> dialogs_;
    std::shared_ptr<app::CfgPathStore> store_;
    std::unique_ptr<app::TMainForm> form_;
    int rebuilds_ = 0;
};

}  // namespace zm880::testing
