#include "WindowFixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>

#include "sim/PlainHidDevice.h"

namespace zm880::testing {

std::optional<QString> ScriptedDialogs::Next(const QString& fileName) {
    presetNames << fileName;
    if (answers.empty())
        return std::nullopt;
    // Built from the parts rather than copied whole: GCC's optimiser cannot see that a copied
    // optional<QString> is initialised and warns (maybe-uninitialized).
    const bool answered = answers.front().has_value();
    const QString answer = answers.front().value_or(QString());
    answers.pop_front();
    if (!answered)
        return std::nullopt;
    return answer;
}

void ScriptedDialogs::ShowMessage(const QString& text) {
    messages << text;
    if (whileMessageShown)
        whileMessageShown();
}

bool ScriptedDialogs::AskYesNo(const QString& question) {
    questions << question;
    if (yesNoAnswers.empty())
        return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

app::UnappliedChoice ScriptedDialogs::AskApplyDiscardCancel(const QString& question) {
    questions << question;
    if (unappliedAnswers.empty())
        return app::UnappliedChoice::Cancel;
    const app::UnappliedChoice answer = unappliedAnswers.front();
    unappliedAnswers.pop_front();
    return answer;
}

WindowFixture::WindowFixture()
    : bus_(std::make_shared<hid::SimulatedBus>()),
      dialogs_(std::make_shared<ScriptedDialogs>()),
      store_(std::make_shared<app::SettingsCfgPathStore>(StoreFile())) {}

WindowFixture::~WindowFixture() = default;

std::size_t WindowFixture::Add(std::unique_ptr<sim::DeviceModel> device) {
    const int before = rebuilds_;
    const std::size_t slot = bus_->Add(std::move(device));
    if (form_) {
        WaitForRebuilds(before + 1);
    } else {
        bus_->TakeChanges();
    }
    return slot;
}

std::size_t WindowFixture::AddReader(std::uint8_t readerType, const std::string& product) {
    auto reader = std::make_unique<sim::ReaderModel>();
    reader->SetReaderType(readerType);
    reader->Identity().product = product;
    return Add(std::move(reader));
}

std::size_t WindowFixture::AddKeyboard() {
    return Add(std::make_unique<sim::PlainHidDevice>(sim::MakeKeyboard()));
}

app::TMainForm& WindowFixture::Start(const QStringList& arguments) {
    app::TMainFormSetup setup;
    setup.platform = bus_;
    setup.commandLine = app::ParseCommandLine(arguments);
    setup.dialogs = dialogs_;
    setup.cfgPathStore = store_;
    form_ = std::make_unique<app::TMainForm>(std::move(setup));
    QObject::connect(form_.get(), &app::TMainForm::deviceChangeHandled, [this] { ++rebuilds_; });
    form_->show();
    WaitForRebuilds(1);
    // Work the window held back during the first rebuild (its first activation) is queued.
    QCoreApplication::processEvents();
    return *form_;
}

void WindowFixture::WaitForRebuilds(int count) {
    QTRY_COMPARE_WITH_TIMEOUT(rebuilds_, count, 5000);
}

void WindowFixture::Plug(std::size_t slot) {
    const int before = rebuilds_;
    bus_->Plug(slot);
    WaitForRebuilds(before + 1);
}

void WindowFixture::Unplug(std::size_t slot) {
    const int before = rebuilds_;
    bus_->Unplug(slot);
    WaitForRebuilds(before + 1);
}

QWidget* WindowFixture::CurrentPage() const {
    return Find<QStackedWidget>("PageControl1")->currentWidget();
}

void WindowFixture::ChooseRadio(const QString& group, int index) const {
    auto* button = Find<QRadioButton>(group + "_" + QString::number(index));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void WindowFixture::ChooseReader(int index) const {
    auto* list = Find<QComboBox>("cbDevListBox");
    QVERIFY(list->isEnabled());
    list->showPopup();
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    const QPoint entry = view->visualRect(view->model()->index(index, 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry);
}

bool WindowFixture::ApplyEnabled() const {
    return Find<QPushButton>("bnApply")->isEnabled();
}

const char* StateHomeVariable() {
#ifdef Q_OS_WIN
    return "LOCALAPPDATA";
#else
    return "XDG_STATE_HOME";
#endif
}

void UseStateHome(const QString& stateHome) {
    qputenv(StateHomeVariable(), QDir::toNativeSeparators(stateHome).toLocal8Bit());
}

}  // namespace zm880::testing
