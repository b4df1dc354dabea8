#include "flasher/gui/FlasherForm.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "app/UserDialogs.h"

namespace zm880::flasher_gui {
namespace {

constexpr int kClientWidth = 606;
constexpr int kClientHeight = 148;
constexpr int kCloseDelayMs = 3000;

}  // namespace

QString FailureText(const flasher::UpdateResult& result) {
    QStringList lines;
    for (const std::string& line : flasher::FailureLines(result))
        lines << QString::fromStdString(line);
    return lines.join('\n');
}

TFlasherForm::TFlasherForm(std::shared_ptr<flasher::FeatureDevice> device, QString updateFileName,
                           app::UserDialogs& dialogs, flasher::UpdateClock* clock, QWidget* parent)
    : QDialog(parent),
      device_(std::move(device)),
      updateFileName_(std::move(updateFileName)),
      dialogs_(dialogs),
      clock_(clock) {
    setObjectName("FlasherForm");
    setWindowTitle(tr("Flasher"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont font("MS Sans Serif");
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(kClientWidth, kClientHeight);

    Label1_ = new QLabel(tr("Update: "), this);
    Label1_->setObjectName("Label1");
    Label1_->move(32, 24);
    Label1_->adjustSize();
    txUpdateFileName_ = new QLabel(this);
    txUpdateFileName_->setObjectName("txUpdateFileName");
    // Right of "Update: " even where the substitute font makes the caption wider.
    const int nameLeft = std::max(80, Label1_->geometry().right() + 4);
    txUpdateFileName_->setGeometry(nameLeft, 24, kClientWidth - nameLeft - 8, Label1_->height());
    ProgressBar1_ = new QProgressBar(this);
    ProgressBar1_->setObjectName("ProgressBar1");
    ProgressBar1_->setGeometry(32, 56, 545, 17);
    ProgressBar1_->setTextVisible(false);
    ProgressBar1_->setValue(0);
    bnClose_ = new QPushButton(this);
    bnClose_->setObjectName("bnClose");
    // Wide enough for the longest of its captions in the font in use, centred where it stands.
    int buttonWidth = 75;
    for (const QString& caption : {tr("ready"), tr("close"), tr("please wait")}) {
        bnClose_->setText(caption);
        buttonWidth = std::max(buttonWidth, bnClose_->sizeHint().width());
    }
    bnClose_->setGeometry(256 + (75 - buttonWidth) / 2, 104, buttonWidth, 25);
    bnClose_->setAutoDefault(false);
    connect(bnClose_, &QPushButton::clicked, this, [this] { bnCloseClick(); });
    Timer1_ = new QTimer(this);
    Timer1_->setObjectName("Timer1");
    Timer1_->setInterval(kCloseDelayMs);
    connect(Timer1_, &QTimer::timeout, this, [this] { Timer1Timer(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

TFlasherForm::~TFlasherForm() = default;

void TFlasherForm::FormCreate() {
    bnClose_->setEnabled(false);
}

bool TFlasherForm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TFlasherForm::FormActivate() {
    if (activated_)
        return;
    activated_ = true;
    // Started from the event loop so that the window is drawn before the first transfer.
    QMetaObject::invokeMethod(
        this, [this] { RunUpdate(); }, Qt::QueuedConnection);
}

void TFlasherForm::RunUpdate() {
    running_ = true;
    txUpdateFileName_->setText(updateFileName_);
    flasher::UpdateRun run(device_, this, clock_);
    result_ = run.Run(updateFileName_.toStdString());
    running_ = false;
    runDone_ = true;
    emit runEnded(result_.code);
    if (closeWhenDone_)
        close();
}

void TFlasherForm::ProcessEvents() {
    QCoreApplication::processEvents();
}

void TFlasherForm::PageStarted(std::size_t page, std::size_t pageCount) {
    ProgressBar1_->setMaximum(static_cast<int>(pageCount) - 1);
    ProgressBar1_->setValue(static_cast<int>(page));
}

void TFlasherForm::RunEnded(const flasher::UpdateResult& result) {
    if (result.ok()) {
        bnClose_->setText(tr("ready"));
        Timer1_->start();
    } else {
        bnClose_->setText(tr("close"));
        dialogs_.ShowMessage(FailureText(result));
    }
    bnClose_->setEnabled(true);
}

void TFlasherForm::bnCloseClick() {
    close();
}

void TFlasherForm::Timer1Timer() {
    Timer1_->stop();
    close();
}

void TFlasherForm::closeEvent(QCloseEvent* event) {
    // The run cannot be interrupted halfway: the loader must still get its end command.
    if (running_) {
        closeWhenDone_ = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TFlasherForm::reject() {
    if (running_) {
        closeWhenDone_ = true;
        return;
    }
    QDialog::reject();
}

}  // namespace zm880::flasher_gui
