#include "app/InfoBox.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextStream>

#include <algorithm>

#include "app/FileVersionInfo.h"
#include "hid/HidDevice.h"

namespace zm880::app {
namespace {

constexpr int kClientWidth = 385;
constexpr int kClientHeight = 369;
const QColor kNavy(0x00, 0x00, 0x80);

QFont PixelFont(const QString& family, int pixels) {
    QFont font(family);
    font.setPixelSize(pixels);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QPoint at) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

// A label of fixed width with centred text, whose height follows its text.
QLabel* CentredLine(QWidget* parent, const char* name, QPoint at, int width) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(at.x(), at.y(), width, label->fontMetrics().height());
    return label;
}

QString Hex4(std::uint16_t value) {
    return QString("%1").arg(value, 4, 16, QChar('0')).toUpper();
}

void SetAutoSizedText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

// The reader's identity block: captions at the left, the vendor and product strings after them,
// and the IDs in a column to their right that moves right as far as the strings need.
constexpr int kDeviceCaptionX = 24;
constexpr int kDeviceNameX = 112;
constexpr int kDeviceIdCaptionX = 232;
constexpr int kDeviceIdValueOffset = 56;
constexpr int kDeviceGap = 8;

int TextWidth(const QLabel* label, const QString& text) {
    return label->fontMetrics().horizontalAdvance(text);
}

// Shows `text` in `label` at most `room` wide: shortened with "…" and whole in the tooltip.
void SetElidedText(QLabel* label, const QString& text, int room) {
    const QString shown = TextWidth(label, text) <= room
                              ? text
                              : label->fontMetrics().elidedText(text, Qt::ElideRight, room);
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
    label->resize(std::min(room, TextWidth(label, shown)) + 1, label->sizeHint().height());
}

}  // namespace

QString VersionLabelText(const QString& fileVersion) {
    QString text = fileVersion;
    text.remove(3, 1);
    return text.left(4);
}

TInfoBox::TInfoBox(QWidget* parent) : QDialog(parent) {
    setObjectName("InfoBox");
    setWindowTitle(tr("Info"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowStaysOnTopHint);
    setFont(PixelFont(QApplication::font().family(), 11));
    setFixedSize(kClientWidth, kClientHeight);
    BuildControls();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
}

void TInfoBox::BuildControls() {
    Panel1_ = new QFrame(this);
    Panel1_->setObjectName("Panel1");
    Panel1_->setGeometry(8, 6, 369, 315);
    Panel1_->setFrameStyle(QFrame::Box | QFrame::Sunken);

    ProgramIcon_ = new QLabel(Panel1_);
    ProgramIcon_->setObjectName("ProgramIcon");
    ProgramIcon_->setGeometry(24, 18, 49, 47);
    ProgramIcon_->setAlignment(Qt::AlignCenter);

    lbProductName_ = new QLabel(tr("Software-Title"), Panel1_);
    lbProductName_->setObjectName("lbProductName");
    lbProductName_->setGeometry(108, 16, 253, 49);
    lbProductName_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lbProductName_->setFont(PixelFont("Tahoma", 24));

    MakeLabel(Panel1_, "Label6", tr("Version:"), QPoint(112, 63))->setFixedHeight(19);
    lbVersion_ = new QLabel("x.xx.xx", Panel1_);
    lbVersion_->setObjectName("lbVersion");
    lbVersion_->setGeometry(190, 63, 115, 23);
    lbVersion_->setFont(PixelFont("Tahoma", 19));
    lbVersion_->installEventFilter(this);

    auto* bevel = new QFrame(Panel1_);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bevel->setGeometry(8, 184, 353, 2);

    lbCopyright_ = CentredLine(Panel1_, "lbCopyright", QPoint(2, 194), 359);
    lbComments_ = CentredLine(Panel1_, "lbComments", QPoint(4, 211), 357);
    QPalette navy = lbComments_->palette();
    navy.setColor(QPalette::WindowText, kNavy);
    lbComments_->setPalette(navy);
    lbTrademark_ = CentredLine(Panel1_, "lbTrademark", QPoint(2, 228), 359);
    lbTrademark_->setWordWrap(true);

    nameCaptions_ = {MakeLabel(Panel1_, "Label10", tr("Vendor name:"), QPoint(24, 256)),
                     MakeLabel(Panel1_, "Label9", tr("Product name:"), QPoint(24, 272))};
    VendorName_ = MakeLabel(Panel1_, "VendorName", "-", QPoint(112, 256));
    ProductName_ = MakeLabel(Panel1_, "ProductName", "-", QPoint(112, 272));
    idCaptions_ = {MakeLabel(Panel1_, "Label1", tr("VID:"), QPoint(232, 256)),
                   MakeLabel(Panel1_, "Label3", tr("PID:"), QPoint(232, 272)),
                   MakeLabel(Panel1_, "Label4", tr("Version:"), QPoint(232, 288))};
    Vid_ = MakeLabel(Panel1_, "Vid", "-", QPoint(288, 256));
    Pid_ = MakeLabel(Panel1_, "Pid", "-", QPoint(288, 272));
    Vers_ = MakeLabel(Panel1_, "Vers", "-", QPoint(288, 288));
    LayOutDeviceBlock(QString("-"), QString("-"));

    VersionsInfo_ = new QPlainTextEdit(Panel1_);
    VersionsInfo_->setObjectName("VersionsInfo");
    VersionsInfo_->setReadOnly(true);
    VersionsInfo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    VersionsInfo_->setFont(PixelFont("Arial", 11));
    const QRect inside = Panel1_->contentsRect();
    VersionsInfo_->setGeometry(inside.left(), inside.bottom() + 1 - 17, inside.width(), 17);
    VersionsInfo_->hide();

    OKButton_ = new QPushButton(tr("OK"), this);
    OKButton_->setObjectName("OKButton");
    OKButton_->setGeometry(159, 334, 75, 25);
    OKButton_->setDefault(true);
    connect(OKButton_, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TInfoBox::FormCreate() {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    ProgramIcon_->setPixmap(icon.pixmap(ProgramIcon_->size()));
    ProgramIcon_->setScaledContents(true);

    TFileVersionInfo info;
    ReadFileVersionInfo(ProgramFile(), info);
    lbProductName_->setText(QString::fromStdString(info.ProductName));
    lbVersion_->setText(VersionLabelText(QString::fromStdString(info.FileVersion)));
    lbCopyright_->setText(QString::fromStdString(info.LegalCopyRight));
    lbComments_->setText(QString::fromStdString(info.Comments));
    lbTrademark_->setText(QString::fromStdString(info.LegalTradeMarks));
    lbTrademark_->setFixedHeight(lbTrademark_->heightForWidth(lbTrademark_->width()));

    // The release notes sit in the working directory; without them the memo stays empty.
    QFile notes("Release.txt");
    if (notes.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream stream(&notes);
        VersionsInfo_->setPlainText(stream.readAll());
    }
}

void TInfoBox::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TInfoBox::FormShow() {
    VersionsInfo_->hide();
    VersionsInfo_->setGeometry(Panel1_->contentsRect());
    if (!device_)
        return;
    const hid::Attributes& attributes = device_->Attributes();
    SetAutoSizedText(Vid_, Hex4(attributes.VendorID));
    SetAutoSizedText(Pid_, Hex4(attributes.ProductID));
    SetAutoSizedText(Vers_, Hex4(attributes.VersionNumber));
    LayOutDeviceBlock(QString::fromStdString(device_->ManufacturerText()),
                      QString::fromStdString(device_->ProductText()));
}

void TInfoBox::LayOutDeviceBlock(const QString& vendor, const QString& product) {
    int nameX = kDeviceNameX;
    for (const QLabel* caption : nameCaptions_)
        nameX = std::max(nameX, kDeviceCaptionX + caption->width() + kDeviceGap);
    int idValueOffset = kDeviceIdValueOffset;
    for (const QLabel* caption : idCaptions_)
        idValueOffset = std::max(idValueOffset, caption->width() + kDeviceGap);
    int idValueWidth = 0;
    for (const QLabel* value : {Vid_, Pid_, Vers_})
        idValueWidth = std::max(idValueWidth, value->width());

    // The IDs stay in their place while the strings fit before it, and never leave the panel.
    const int rightEdge = Panel1_->contentsRect().right() - kDeviceGap;
    const int namesWidth =
        std::max(TextWidth(VendorName_, vendor), TextWidth(ProductName_, product));
    const int idX =
        std::clamp(nameX + namesWidth + 2 * kDeviceGap, kDeviceIdCaptionX,
                   std::max(kDeviceIdCaptionX, rightEdge - idValueOffset - idValueWidth));
    const int nameRoom = idX - 2 * kDeviceGap - nameX;

    VendorName_->move(nameX, VendorName_->y());
    ProductName_->move(nameX, ProductName_->y());
    SetElidedText(VendorName_, vendor, nameRoom);
    SetElidedText(ProductName_, product, nameRoom);
    for (QLabel* caption : idCaptions_)
        caption->move(idX, caption->y());
    for (QLabel* value : {Vid_, Pid_, Vers_})
        value->move(idX + idValueOffset, value->y());
}

bool TInfoBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbVersion_ && event->type() == QEvent::MouseButtonPress)
        lbVersionMouseDown(static_cast<QMouseEvent*>(event)->button());
    return QDialog::eventFilter(watched, event);
}

void TInfoBox::lbVersionMouseDown(Qt::MouseButton button) {
    if (button != Qt::RightButton)
        return;
    VersionsInfo_->show();
    VersionsInfo_->raise();
}

void TInfoBox::OKButtonClick() {
    accept();
}

void ShowInfoBox(ReaderDevice device, QWidget* owner) {
    TInfoBox box(owner);
    box.SetDevice(std::move(device));
    box.exec();
}

}  // namespace zm880::app
