#include "reader/gui/SettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>

#include "app/NumberField.h"
#include "app/RadioGroup.h"
#include "reader/ReaderSession.h"

namespace zm880::reader_gui {
namespace {

using app::TNumberField;
using app::TRadioGroup;

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The choices' names as the settings know them, marked here for translation.
constexpr std::array<const char*, 3> kTranslatedSuffixNames = {
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "None"),
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "Enter"),
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "Tab")};
constexpr std::array<const char*, 3> kTranslatedInterfaceNames = {
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "USB-HID-Keyboard"),
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "USB-VCOM"),
    QT_TRANSLATE_NOOP("zm880::reader_gui::TSettingsPage", "RS-232")};

template <std::size_t N>
constexpr bool SameNames(const std::array<const char*, N>& marked,
                         const std::array<std::string_view, N>& names) {
    for (std::size_t i = 0; i < N; ++i)
        if (names[i] != marked[i])
            return false;
    return true;
}
static_assert(SameNames(kTranslatedSuffixNames, kSuffixNames));
static_assert(SameNames(kTranslatedInterfaceNames, kInterfaceNames));

template <std::size_t N>
QStringList ChoiceCaptions(const std::array<const char*, N>& names) {
    QStringList list;
    for (const char* name : names)
        list << TSettingsPage::tr(name);
    return list;
}

QWidget* MakePage(const QString& name, QWidget* parent) {
    auto* page = new QWidget(parent);
    page->setObjectName(name);
    return page;
}

QFrame* MakePanel(const QString& name, QWidget* parent, const QRect& geometry) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(geometry);
    return panel;
}

QCheckBox* MakeCheckBox(const QString& name, const QString& caption, QWidget* parent, int x, int y,
                        int width = 110) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setGeometry(x, y, width, 20);
    return box;
}

QLabel* MakeLabel(const QString& name, const QString& caption, QWidget* parent, int x, int y,
                  int width) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setGeometry(x, y, width, 22);
    return label;
}

TNumberField* MakeField(const QString& name, zm880::FieldRange range, int initial, QWidget* parent,
                        const QRect& geometry, int maxDigits = 0) {
    auto* field = new TNumberField(name, range.min, range.max, initial, parent, maxDigits);
    field->setGeometry(geometry);
    return field;
}

bool ShiftAndAltHeld(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::ShiftModifier) && modifiers.testFlag(Qt::AltModifier);
}

}  // namespace

TSettingsPage::TSettingsPage(ReaderSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
    setObjectName("tsMain");
    BuildInterfacePanel();
    BuildVersionPanel();
    BuildApplyButtons();
    SetTabOrder();

    // Before the first record: the rules of the stored type; the interface rule is the
    // handlers' to apply, so the hidden baud box stays disabled.
    UpdateEnabledControls();
    // The "Prefix :" group goes grey with its box, as the other keyboard options do.
    keyboardOptions_ = {
        tags125_[0],  tags125_[1], tags125_[2],  tags125_[3],      tags125_[4],  tags125_[5],
        tags125_[6],  rbPrefix_,   cbAddType_,   cbUsedAltKey_,    rbSuffix_,    cbByteMirror_,
        cbBitMirror_, cbBaud_,     edCharDelay_, edDoubleTimeout_, lbCharDelay_, lbDoubleTimeout_};
    ConnectHandlers();
}

void TSettingsPage::SetTabOrder() {
    // The interface first, then the keyboard options it switches on and off, then the tags of
    // the reader type's page, and "Apply" last. Controls of hidden pages are passed over.
    std::vector<QWidget*> order;
    auto addGroup = [&order](const QGroupBox* group) {
        for (QRadioButton* button : group->findChildren<QRadioButton*>())
            order.push_back(button);
    };
    addGroup(rgInterface_);
    addGroup(rbSuffix_);
    order.insert(order.end(),
                 {cbAddType_, cbUsedAltKey_, cbByteMirror_, cbBitMirror_, edUserCmd_, edCharDelay_,
                  edDoubleTimeout_, PageControlMulti_, PageControlMulti_->tabBar()});
    order.insert(order.end(), lfTags_.begin(), lfTags_.end());
    order.insert(order.end(), hfTags_.begin(), hfTags_.end());
    order.insert(order.end(),
                 {cbLegicReadData_, edMultiLegicSegment_, edMultiLegicOffset_, edMultiLegicCount_,
                  bnSetAll_, bnClearAll_, edLegicStartAddr_, edLegicLength_, edLegicSegment_});
    order.insert(order.end(), tags125_.begin(), tags125_.end());
    order.insert(order.end(), {edMaxLength_, bnApplyAll_, bnApply_});
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void TSettingsPage::BuildApplyButtons() {
    // A style sheet takes its text colour from the application, not from the window's
    // palette: name it, so the caption stays dark on the light green under a dark theme too.
    const QString style = "QPushButton { background-color: #C0DCC0; color: black; }"
                          "QPushButton:disabled { color: #505050; }";
    bnApply_ = new QPushButton(tr("Apply"), this);
    bnApply_->setObjectName("bnApply");
    bnApply_->setGeometry(590, 375, 89, 29);
    bnApply_->setDefault(true);
    bnApply_->setAutoDefault(false);
    bnApply_->setStyleSheet(style);
    bnApply_->setEnabled(false);

    bnApplyAll_ = new QPushButton(tr("Apply to all readers"), this);
    bnApplyAll_->setObjectName("bnApplyAll");
    bnApplyAll_->setGeometry(410, 375, 172, 29);
    bnApplyAll_->setAutoDefault(false);
    bnApplyAll_->setStyleSheet(style);
    bnApplyAll_->setEnabled(false);
    bnApplyAll_->hide();
}

void TSettingsPage::BuildInterfacePanel() {
    pInterfTags_ = MakePanel("pInterfTags", this, QRect(4, 6, 380, 361));

    rgInterface_ = new TRadioGroup("rgInterface", tr("I&nterface :"),
                                   ChoiceCaptions(kTranslatedInterfaceNames), pInterfTags_, 3);
    rgInterface_->setGeometry(8, 6, 364, 46);
    rgInterface_->setItemIndex(0);

    cbDirectMode_ = MakeCheckBox("cbDirectMode", tr("Direct Mode"), pInterfTags_, 8, 56);
    cbDirectMode_->setVisible(false);
    cbDirectMode_->setEnabled(false);

    pcType_ = new QStackedWidget(pInterfTags_);
    pcType_->setObjectName("pcType");
    pcType_->setGeometry(8, 58, 364, 295);
    tsMulti_ = MakePage("tsMulti", pcType_);
    tsLegic_ = MakePage("tsLegic", pcType_);
    ts1356_ = MakePage("ts1356", pcType_);
    ts125_ = MakePage("ts125", pcType_);
    for (QWidget* page : {tsMulti_, tsLegic_, ts1356_, ts125_})
        pcType_->addWidget(page);

    BuildMultiPage(tsMulti_);
    BuildLegicPage(tsLegic_);
    MakeLabel("Label6", "13,56", ts1356_, 16, 16, 100);
    Build125Page(ts125_);
    pcType_->setCurrentWidget(tsMulti_);
}

void TSettingsPage::BuildMultiPage(QWidget* page) {
    PageControlMulti_ = new QTabWidget(page);
    PageControlMulti_->setObjectName("PageControlMulti");
    PageControlMulti_->setGeometry(0, 0, 364, 295);

    auto* lfPage = MakePage("tsLFTags", PageControlMulti_);
    constexpr int kColumnX[] = {10, 125, 240};
    for (std::size_t i = 0; i < lfTags_.size(); ++i) {
        const QString caption = ToQString(kLfTagCaptions[i]);
        const int column = static_cast<int>(i / 9);
        const int row = static_cast<int>(i % 9);
        lfTags_[i] = MakeCheckBox("cb" + caption, caption, lfPage, kColumnX[column], 8 + row * 24);
    }

    auto* hfPage = MakePage("tsHFTags", PageControlMulti_);
    for (std::size_t i = 0; i < hfTags_.size(); ++i) {
        const QString caption = ToQString(kHfTagCaptions[i]);
        hfTags_[i] =
            MakeCheckBox("cb" + caption, caption, hfPage, 10, 8 + static_cast<int>(i) * 24);
    }

    tsMultiLegic_ = MakePage("tsMultiLegic", PageControlMulti_);
    cbLegicReadData_ = MakeCheckBox("cbLegicReadData", tr("Read Data"), tsMultiLegic_, 10, 10);
    MakeLabel("Label8", tr("Segment:"), tsMultiLegic_, 10, 44, 70);
    edMultiLegicSegment_ = MakeField("edMultiLegicSegment", kMultiLegicSegmentRange, 0,
                                     tsMultiLegic_, QRect(85, 44, 70, 22));
    MakeLabel("Label9", tr("Offset:"), tsMultiLegic_, 10, 74, 70);
    edMultiLegicOffset_ = MakeField("edMultiLegicOffset", kMultiLegicOffsetRange, 0, tsMultiLegic_,
                                    QRect(85, 74, 70, 22));
    MakeLabel("Label10", tr("Count:"), tsMultiLegic_, 10, 104, 70);
    edMultiLegicCount_ = MakeField("edMultiLegicCount", kMultiLegicCountRange, 1, tsMultiLegic_,
                                   QRect(85, 104, 70, 22));

    PageControlMulti_->addTab(lfPage, tr("LF-Tags"));
    PageControlMulti_->addTab(hfPage, tr("HF-Tags"));
    PageControlMulti_->addTab(tsMultiLegic_, tr("Legic"));
    PageControlMulti_->setTabVisible(2, false);
    PageControlMulti_->setCurrentWidget(lfPage);

    bnSetAll_ = new QPushButton(tr("set all"), page);
    bnSetAll_->setObjectName("bnSetAll");
    bnSetAll_->setGeometry(226, 266, 64, 22);
    bnSetAll_->setAutoDefault(false);
    connect(bnSetAll_, &QPushButton::clicked, this, [this] { bnSetAllClick(); });
    bnClearAll_ = new QPushButton(tr("clear all"), page);
    bnClearAll_->setObjectName("bnClearAll");
    bnClearAll_->setGeometry(294, 266, 64, 22);
    bnClearAll_->setAutoDefault(false);
    connect(bnClearAll_, &QPushButton::clicked, this, [this] { bnClearAllClick(); });
}

void TSettingsPage::BuildLegicPage(QWidget* page) {
    MakeLabel("Label11", tr("Start addr :"), page, 16, 16, 80);
    edLegicStartAddr_ =
        MakeField("edLegicStartAddr", kLegicStartAddrRange, 1, page, QRect(100, 16, 70, 22), 4);
    MakeLabel("Label12", tr("Length:"), page, 16, 46, 80);
    edLegicLength_ =
        MakeField("edLegicLength", kLegicLengthRange, 6, page, QRect(100, 46, 70, 22), 3);
    MakeLabel("Label13", tr("Segment:"), page, 16, 76, 80);
    edLegicSegment_ =
        MakeField("edLegicSegment", kLegicSegmentRange, 1, page, QRect(100, 76, 70, 22), 2);
}

void TSettingsPage::Build125Page(QWidget* page) {
    for (std::size_t i = 0; i < tags125_.size(); ++i) {
        const int column = i < 4 ? 0 : 1;
        const int row = static_cast<int>(i % 4);
        tags125_[i] =
            MakeCheckBox("CheckBox" + QString::number(i + 1), ToQString(kTag125Captions[i]), page,
                         column == 0 ? 16 : 180, 16 + row * 24, 150);
    }
    MakeLabel("Label14", tr("max. Length:"), page, 16, 128, 90);
    edMaxLength_ = MakeField("edMaxLength", kMaxLengthRange, 99, page, QRect(110, 128, 60, 22), 2);
    MakeLabel("Label15", tr("bytes"), page, 176, 128, 50);
}

void TSettingsPage::BuildVersionPanel() {
    pVersion_ = MakePanel("pVersion", this, QRect(390, 6, 289, 361));

    Label5_ = MakeLabel("Label5", tr("Version: "), pVersion_, 10, 10, 56);
    edVersion_ = new QLineEdit("000", pVersion_);
    edVersion_->setObjectName("edVersion");
    edVersion_->setGeometry(66, 10, 50, 22);
    edVersion_->setReadOnly(true);
    edVersion_->setAlignment(Qt::AlignCenter);
    edVersion_->setEnabled(false);
    Label7_ = MakeLabel("Label7", tr("Type: "), pVersion_, 128, 10, 40);
    edType_ = new QLineEdit("-", pVersion_);
    edType_->setObjectName("edType");
    edType_->setGeometry(168, 10, 110, 22);
    edType_->setReadOnly(true);
    edType_->setAlignment(Qt::AlignCenter);
    edType_->setEnabled(false);

    auto* label4 = MakeLabel("Label4", tr("Baud :"), pVersion_, 10, 40, 40);
    label4->setVisible(false);
    cbBaud_ = new QComboBox(pVersion_);
    cbBaud_->setObjectName("cbBaud");
    for (int rate : kBaudRates)
        cbBaud_->addItem(QString::number(rate));
    cbBaud_->setCurrentIndex(0);
    cbBaud_->setGeometry(56, 40, 90, 22);
    cbBaud_->setVisible(false);
    cbBaud_->setEnabled(false);

    auto* gbOption = new QGroupBox(tr("HID-&Keyboard-Option :"), pVersion_);
    gbOption->setObjectName("gbOption");
    gbOption->setGeometry(8, 42, 273, 311);

    rbSuffix_ = new TRadioGroup("rbSuffix", tr("&Suffix :"), ChoiceCaptions(kTranslatedSuffixNames),
                                gbOption, 3);
    rbSuffix_->setGeometry(8, 22, 257, 46);
    rbSuffix_->setItemIndex(1);

    rbPrefix_ = new QGroupBox(tr("&Prefix :"), gbOption);
    rbPrefix_->setObjectName("rbPrefix");
    rbPrefix_->setGeometry(8, 74, 257, 46);
    cbAddType_ = MakeCheckBox("cbAddType", tr("Add Tag Type"), rbPrefix_, 10, 20, 150);

    cbUsedAltKey_ = MakeCheckBox("cbUsedAltKey", tr("Use Alt-Key"), gbOption, 12, 130, 150);
    cbByteMirror_ = MakeCheckBox("cbByteMirror", tr("Byte Mirror"), gbOption, 12, 154, 150);
    cbBitMirror_ = MakeCheckBox("cbBitMirror", tr("Bit Mirror"), gbOption, 12, 178, 150);

    Label3_ = MakeLabel("Label3", tr("Use User Cmd (-1=off)"), gbOption, 12, 210, 160);
    edUserCmd_ = MakeField("edUserCmd", kUserCmdRange, -1, gbOption, QRect(185, 210, 76, 22));
    lbCharDelay_ = MakeLabel("lbCharDelay", tr("Char Delay (ms):"), gbOption, 12, 242, 160);
    edCharDelay_ = MakeField("edCharDelay", kCharDelayRange, 0, gbOption, QRect(185, 242, 76, 22));
    edCharDelay_->setSingleStep(10);
    lbDoubleTimeout_ =
        MakeLabel("lbDoubleTimeout", tr("Double Timeout (sec):"), gbOption, 12, 274, 160);
    edDoubleTimeout_ =
        MakeField("edDoubleTimeout", kDoubleTimeoutRange, 10, gbOption, QRect(185, 274, 76, 22), 2);

    for (QLabel* label : {Label5_, Label7_})
        label->installEventFilter(this);
    edVersion_->installEventFilter(this);
}

void TSettingsPage::ConnectHandlers() {
    auto common = [this] { cbUsedAltKeyClick(); };
    std::vector<QCheckBox*> commonBoxes(lfTags_.begin(), lfTags_.end());
    for (QCheckBox* box : hfTags_)
        if (box->objectName() != "cbLEGIC")
            commonBoxes.push_back(box);
    commonBoxes.insert(commonBoxes.end(), tags125_.begin(), tags125_.end());
    commonBoxes.insert(commonBoxes.end(), {cbAddType_, cbUsedAltKey_, cbByteMirror_, cbBitMirror_});
    for (QCheckBox* box : commonBoxes)
        connect(box, &QCheckBox::toggled, this, common);

    for (TNumberField* field : {edMultiLegicSegment_, edMultiLegicOffset_, edMultiLegicCount_,
                                edLegicStartAddr_, edLegicLength_, edLegicSegment_, edMaxLength_,
                                edUserCmd_, edCharDelay_, edDoubleTimeout_})
        connect(field, &QSpinBox::valueChanged, this, common);
    connect(rbSuffix_, &TRadioGroup::itemIndexChanged, this, common);

    connect(rgInterface_, &TRadioGroup::itemIndexChanged, this, [this] { rgInterfaceClick(); });
    connect(cbDirectMode_, &QCheckBox::toggled, this, [this] { cbDirectModeClick(); });
    QCheckBox* legic = hfTags_[3];
    connect(legic, &QCheckBox::toggled, this, [this] { cbLEGICClick(); });
    connect(cbLegicReadData_, &QCheckBox::toggled, this, [this] { cbLegicReadDataClick(); });
}

void TSettingsPage::cbUsedAltKeyClick() {
    if (commonChange_ && !showingReadRecord_)
        commonChange_();
}

void TSettingsPage::rgInterfaceClick() {
    cbDirectMode_->setChecked(rgInterface_->itemIndex() > 0);
    ShowMultiLegicTabByRule();
    cbUsedAltKeyClick();
}

void TSettingsPage::cbDirectModeClick() {
    UpdateEnabledControls();
    cbUsedAltKeyClick();
}

void TSettingsPage::cbLEGICClick() {
    ShowMultiLegicTabByRule();
    cbUsedAltKeyClick();
}

void TSettingsPage::cbLegicReadDataClick() {
    UpdateEnabledControls();
    cbUsedAltKeyClick();
}

void TSettingsPage::edVersionMouseDown(Qt::KeyboardModifiers modifiers) {
    if (ShiftAndAltHeld(modifiers))
        edVersion_->setEnabled(true);
}

void TSettingsPage::ShowMultiLegicTabByRule() {
    const bool show = rgInterface_->itemIndex() == 0 && hfTags_[3]->isChecked() &&
                      session_.StoredReaderType() == kMultiLegicReaderType;
    PageControlMulti_->setTabVisible(PageControlMulti_->indexOf(tsMultiLegic_), show);
}

void TSettingsPage::UpdateEnabledControls() {
    const int type = session_.StoredReaderType();
    const bool multi = IsMultiTechnologyType(type);
    const bool legic = type == kLegicReaderType;
    const bool keyboard = rgInterface_->itemIndex() == 0;

    for (QWidget* control : keyboardOptions_)
        control->setEnabled(keyboard);
    // The 125 kHz tags are keyboard options and exist only for the types without a branch of
    // their own.
    for (QCheckBox* box : tags125_)
        box->setEnabled(keyboard && !multi && !legic);
    edMaxLength_->setEnabled(!multi && !legic);

    for (QWidget* control :
         {static_cast<QWidget*>(edLegicStartAddr_), static_cast<QWidget*>(edLegicLength_),
          static_cast<QWidget*>(edLegicSegment_)})
        control->setEnabled(legic);

    for (QCheckBox* box : lfTags_)
        box->setEnabled(multi);
    for (QCheckBox* box : hfTags_)
        box->setEnabled(multi);
    for (QWidget* control : {static_cast<QWidget*>(bnSetAll_), static_cast<QWidget*>(bnClearAll_),
                             static_cast<QWidget*>(edUserCmd_), static_cast<QWidget*>(Label3_)})
        control->setEnabled(multi);
    cbLegicReadData_->setEnabled(type == kMultiLegicReaderType);
    const bool readData = multi && cbLegicReadData_->isChecked();
    edMultiLegicSegment_->setEnabled(readData);
    edMultiLegicOffset_->setEnabled(readData);
    edMultiLegicCount_->setEnabled(readData);
}

void TSettingsPage::TickAllOnShownMultiPage(bool ticked) {
    QWidget* shown = PageControlMulti_->currentWidget();
    if (shown == nullptr)
        return;
    for (QObject* child : shown->children()) {
        if (child->metaObject() != &QCheckBox::staticMetaObject)
            continue;
        static_cast<QCheckBox*>(child)->setChecked(ticked);
    }
}

void TSettingsPage::ShowTypePage(int readerType) {
    switch (readerType) {
        case 0:
        case kMultiLegicReaderType:
            pcType_->setCurrentWidget(tsMulti_);
            break;
        case 1:
            pcType_->setCurrentWidget(ts125_);
            break;
        case 2:
            pcType_->setCurrentWidget(ts1356_);
            break;
        case kLegicReaderType:
            pcType_->setCurrentWidget(tsLegic_);
            break;
        default:
            break;  // no page belongs to an unknown type
    }
}

ReaderSettings TSettingsPage::ShownSettings() const {
    ReaderSettings s;
    s.ReaderVersion = edVersion_->text().toInt();
    bool baudIsNumber = false;
    const int baud = cbBaud_->currentText().toInt(&baudIsNumber);
    s.Baud = baudIsNumber ? baud : 9600;
    s.Suffix = rbSuffix_->itemIndex();
    s.AddType = cbAddType_->isChecked();
    s.UsedAltKey = cbUsedAltKey_->isChecked();
    s.CharDelay = edCharDelay_->value();
    s.DoubleTimeout = edDoubleTimeout_->value();
    s.ReaderType = session_.StoredReaderType();
    s.ByteMirror = cbByteMirror_->isChecked();
    s.BitMirror = cbBitMirror_->isChecked();
    s.Interface = rgInterface_->itemIndex();
    s.UserCmd = edUserCmd_->value();
    for (std::size_t i = 0; i < lfTags_.size(); ++i)
        s.LfTags[i] = lfTags_[i]->isChecked();
    for (std::size_t i = 0; i < hfTags_.size(); ++i)
        s.HfTags[i] = hfTags_[i]->isChecked();
    s.LegicReadData = cbLegicReadData_->isChecked();
    s.MultiLegicSegment = edMultiLegicSegment_->value();
    s.MultiLegicOffset = edMultiLegicOffset_->value();
    s.MultiLegicCount = edMultiLegicCount_->value();
    s.LegicStartAddr = edLegicStartAddr_->value();
    s.LegicLength = edLegicLength_->value();
    s.LegicSegment = edLegicSegment_->value();
    s.MaxLength = edMaxLength_->value();
    for (std::size_t i = 0; i < tags125_.size(); ++i)
        s.Tags125[i] = tags125_[i]->isChecked();
    return s;
}

void TSettingsPage::EncodeSettings() {
    session_.Encode(ShownSettings());
}

void TSettingsPage::DecodeSettings(bool applyEnabled) {
    // Fields of the branch that the reader type does not take keep what the controls show.
    ReaderSettings s = ShownSettings();
    if (session_.Decode(s)) {
        // Set first: the control changes below count as edits of this record.
        hasRecord_ = true;
        edVersion_->setText(QString("%1").arg(s.ReaderVersion, 3, 10, QChar('0')));
        const auto* rate = std::find(kBaudRates.begin(), kBaudRates.end(), s.Baud.value_or(0));
        cbBaud_->setCurrentIndex(
            rate == kBaudRates.end() ? -1 : static_cast<int>(rate - kBaudRates.begin()));
        rbSuffix_->setItemIndex(s.Suffix);
        cbAddType_->setChecked(s.AddType);
        cbUsedAltKey_->setChecked(s.UsedAltKey);
        edCharDelay_->setValue(s.CharDelay);
        edDoubleTimeout_->setValue(s.DoubleTimeout);

        const int type = session_.StoredReaderType();
        const auto name = DeviceTypeName(type);
        edType_->setText(name ? ToQString(*name) : tr("unknown type %1").arg(type));
        ShowTypePage(type);

        cbByteMirror_->setChecked(s.ByteMirror);
        cbBitMirror_->setChecked(s.BitMirror);
        rgInterface_->setItemIndex(s.Interface);
        edUserCmd_->setValue(s.UserCmd);

        if (IsMultiTechnologyType(type)) {
            for (std::size_t i = 0; i < lfTags_.size(); ++i)
                lfTags_[i]->setChecked(s.LfTags[i]);
            for (std::size_t i = 0; i < hfTags_.size(); ++i)
                hfTags_[i]->setChecked(s.HfTags[i]);
            cbLegicReadData_->setChecked(s.LegicReadData);
            edMultiLegicSegment_->setValue(s.MultiLegicSegment);
            edMultiLegicOffset_->setValue(s.MultiLegicOffset);
            edMultiLegicCount_->setValue(s.MultiLegicCount);
            ShowMultiLegicTabByRule();
        } else {
            edLegicStartAddr_->setValue(s.LegicStartAddr);
            edLegicLength_->setValue(s.LegicLength);
            edLegicSegment_->setValue(s.LegicSegment);
            edMaxLength_->setValue(s.MaxLength);
            for (std::size_t i = 0; i < tags125_.size(); ++i)
                tags125_[i]->setChecked(s.Tags125[i]);
        }
        UpdateEnabledControls();
        for (QWidget* panel : {pInterfTags_, pVersion_})
            panel->setEnabled(true);
    }
    bnApply_->setEnabled(applyEnabled && hasRecord_);
    bnApplyAll_->setEnabled(hasRecord_);
}

void TSettingsPage::ShowReadRecord() {
    showingReadRecord_ = true;
    DecodeSettings(false);
    showingReadRecord_ = false;
}

void TSettingsPage::DisableSettingsControls() {
    for (QWidget* panel : {pInterfTags_, pVersion_})
        panel->setEnabled(false);
}

void TSettingsPage::ForgetRecord() {
    hasRecord_ = false;
    bnApply_->setEnabled(false);
    bnApplyAll_->setEnabled(false);
}

void TSettingsPage::mousePressEvent(QMouseEvent* event) {
    // Only the page's own surface counts, not a click that a control passed on.
    if (childAt(event->position().toPoint()) == nullptr)
        emit freeAreaPressed(event->modifiers());
    QWidget::mousePressEvent(event);
}

bool TSettingsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (watched == Label5_ || watched == Label7_)
            edVersionMouseDown(mouse->modifiers());
        if (watched == edVersion_ && edVersion_->isEnabled())
            cbUsedAltKeyClick();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zm880::reader_gui
