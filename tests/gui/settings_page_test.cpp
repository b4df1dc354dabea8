#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <span>

#include "reader/ReaderSettings.h"
#include "support/ColorContrast.h"
#include "support/WindowFixture.h"

using zm880::testing::Contrast;
using zm880::testing::WindowFixture;

namespace {

bool LegicTabShown(const WindowFixture& fixture) {
    auto* tabs = fixture.Find<QTabWidget>("PageControlMulti");
    return tabs->isTabVisible(tabs->indexOf(fixture.Find<QWidget>("tsMultiLegic")));
}

// Puts `bytes` (index, value) into the reader's record and reads it with Read Config.
void ReadRecord(WindowFixture& fixture, std::size_t slot,
                std::initializer_list<std::pair<std::size_t, std::uint8_t>> bytes) {
    for (const auto& [index, value] : bytes)
        fixture.Reader(slot).Settings()[index] = value;
    fixture.Action("miReadConfig")->trigger();
}

// A reader that keeps its byte 9 (byte mirror) whatever is written.
class StubbornReader : public zm880::sim::ReaderModel {
  protected:
    bool TakeSet(std::span<const std::uint8_t> report) override {
        const std::uint8_t kept = Settings()[9];
        const bool taken = ReaderModel::TakeSet(report);
        Settings()[9] = kept;
        return taken;
    }
};

bool tags125Stored(int type) {
    return type == 1 || type == 2 || type > 4;
}

// The strongest contrast of any pixel of the widget's picture against its top left pixel (the
// background): how well the caption stands out.
double StrongestContrast(QWidget* widget) {
    const QImage picture = widget->grab().toImage();
    const QColor background = picture.pixelColor(0, 0);
    double strongest = 1.0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            strongest = std::max(strongest, Contrast(picture.pixelColor(x, y), background));
    return strongest;
}

}  // namespace

class SettingsPageTest : public QObject {
    Q_OBJECT

  private slots:
    void initialControlsMatchTheFormDefaults();
    void userEditsMarkModified_data();
    void userEditsMarkModified();
    void sameRecordTwiceDoesNotMarkModified();
    void applyWritesReport3AndFailureKeepsApply();
    void readConfigShowsRecordOrSaysItFailed();
    void readerTypeChoosesPage_data();
    void readerTypeChoosesPage();
    void interfaceChoiceSwitchesKeyboardOptions();
    void legicTabRule_data();
    void legicTabRule();
    void setAllOnHfTagsTicksEveryBoxAndShowsLegicTab();
    void readDataEnablesMultiLegicFields();
    void shiftAltOnVersionLabelEnablesVersionField();
    void enterPressesApply();
    void textThatIsNotANumberReadsAsLowerBound();
    void controlsTheReaderTypeDoesNotStoreAreDisabled_data();
    void controlsTheReaderTypeDoesNotStoreAreDisabled();
    void applyShowsWhatTheReaderKept();
    void setAllAndClearAllOnLegicTabTickReadData();
    void disabledCaptionsStayReadable_data();
    void disabledCaptionsStayReadable();
    void longStatusTextIsShownWhole();
    void tabOrderFollowsTheForm_data();
    void tabOrderFollowsTheForm();
    void arrowKeysChooseInsideARadioGroup();
    void captionMnemonicsLeadIntoTheirGroups_data();
    void captionMnemonicsLeadIntoTheirGroups();
};

void SettingsPageTest::initialControlsMatchTheFormDefaults() {
    WindowFixture fixture;
    fixture.Start();
    QCOMPARE(fixture.Radio("rgInterface")->itemIndex(), 0);
    QCOMPARE(fixture.Radio("rbSuffix")->itemIndex(), 1);
    QCOMPARE(fixture.Find<QLineEdit>("edVersion")->text(), QString("000"));
    QCOMPARE(fixture.Find<QLineEdit>("edType")->text(), QString("-"));
    QVERIFY(!fixture.Find<QComboBox>("cbBaud")->isEnabled());
    QVERIFY(!fixture.Find<QLineEdit>("edVersion")->isEnabled());
    QCOMPARE(fixture.Find<QStackedWidget>("pcType")->currentWidget()->objectName(),
             QString("tsMulti"));
    QCOMPARE(fixture.Find<QTabWidget>("PageControlMulti")->currentWidget()->objectName(),
             QString("tsLFTags"));
    QVERIFY(!LegicTabShown(fixture));
    const struct {
        const char* name;
        int min, max, value;
        bool enabled;
    } fields[] = {
        {"edMultiLegicSegment", 0, 255, 0, false}, {"edMultiLegicOffset", 0, 255, 0, false},
        {"edMultiLegicCount", 1, 128, 1, false},   {"edLegicStartAddr", 0, 9999, 1, false},
        {"edLegicLength", 1, 200, 6, false},       {"edLegicSegment", 0, 99, 1, false},
        {"edMaxLength", 0, 99, 99, false},         {"edUserCmd", -1, 9, -1, true},
        {"edCharDelay", 0, 2000, 0, true},         {"edDoubleTimeout", 0, 99, 10, true}};
    for (const auto& f : fields) {
        auto* field = fixture.Find<QSpinBox>(f.name);
        QVERIFY2(field, f.name);
        QCOMPARE(field->minimum(), f.min);
        QCOMPARE(field->maximum(), f.max);
        QCOMPARE(field->value(), f.value);
        QCOMPARE(field->isEnabled(), f.enabled);
    }
    QCOMPARE(fixture.Find<QSpinBox>("edCharDelay")->singleStep(), 10);
}

void SettingsPageTest::userEditsMarkModified_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("type");
    QTest::newRow("tag box") << "cbHITAG2" << 0;
    QTest::newRow("125 kHz box") << "CheckBox3" << 1;
    QTest::newRow("mirror") << "cbBitMirror" << 0;
    QTest::newRow("numeric field") << "edDoubleTimeout" << 0;
    QTest::newRow("suffix") << "rbSuffix" << 0;
    QTest::newRow("interface") << "rgInterface" << 0;
}

void SettingsPageTest::userEditsMarkModified() {
    QFETCH(QString, control);
    QFETCH(int, type);
    WindowFixture fixture;
    fixture.AddReader(static_cast<std::uint8_t>(type));
    fixture.Start();
    QVERIFY(!fixture.ApplyEnabled());

    if (auto* box = fixture.Box(control)) {
        box->click();
    } else if (auto* field = fixture.Find<QSpinBox>(control)) {
        field->stepUp();
    } else {
        fixture.ChooseRadio(control, 2);
    }
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
}

void SettingsPageTest::sameRecordTwiceDoesNotMarkModified() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    fixture.Action("miReadConfig")->trigger();
    QCOMPARE(fixture.Status(), QString("Device settings"));
    fixture.Action("miReadConfig")->trigger();
    fixture.Form().SetStatusText("");
    fixture.Action("ResetDefault1")->trigger();  // the reader holds the default record already
    QCOMPARE(fixture.Status(), QString(""));
    QVERIFY(fixture.ApplyEnabled());

    // A record that differs, read: the controls change, but they show what the reader holds.
    fixture.Reader(slot).Settings()[9] = 1;
    fixture.Action("miReadConfig")->trigger();
    QVERIFY(fixture.Box("cbByteMirror")->isChecked());
    QCOMPARE(fixture.Status(), QString("Device settings"));
    QVERIFY2(!fixture.ApplyEnabled(), "a read ends with Apply disabled");
}

void SettingsPageTest::applyWritesReport3AndFailureKeepsApply() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader(1);
    fixture.Reader(slot).Settings()[24] = 10;
    fixture.Start();
    QCOMPARE(fixture.Find<QStackedWidget>("pcType")->currentWidget()->objectName(),
             QString("ts125"));

    fixture.Box("CheckBox1")->click();  // the default record has all seven on
    fixture.Find<QSpinBox>("edMaxLength")->setValue(40);
    fixture.Find<QPushButton>("bnApply")->click();
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
    const auto& record = fixture.Reader(slot).Settings();
    QCOMPARE(record[1], std::uint8_t{1});
    QCOMPARE(record[2], std::uint8_t{21});  // version travels back unchanged
    QCOMPARE(record[8], std::uint8_t{1});
    QCOMPARE(record[14], std::uint8_t{40});
    QCOMPARE(record[15], std::uint8_t{0x7E});
    QCOMPARE(record[24], std::uint8_t{10});  // user command untouched for this type
    // The write, then the read-back of what the reader kept.
    const auto& log = fixture.Reader(slot).TransferLog();
    QVERIFY(log.size() >= 2);
    QCOMPARE(log[log.size() - 2].kind, zm880::sim::Transfer::Kind::Set);
    QCOMPARE(log[log.size() - 2].bytes.at(0), std::uint8_t{3});
    QCOMPARE(log.back().kind, zm880::sim::Transfer::Kind::Get);

    fixture.Reader(slot).Faults().failSet = {3};
    fixture.Box("CheckBox2")->click();
    fixture.Find<QPushButton>("bnApply")->click();
    QVERIFY2(fixture.ApplyEnabled(), "a failed write keeps the settings unapplied");
    QVERIFY2(fixture.Status().startsWith("Device settings could not be written"),
             qPrintable(fixture.Status()));
    QCOMPARE(fixture.Reader(slot).Settings()[15], std::uint8_t{0x7E});
}

void SettingsPageTest::readConfigShowsRecordOrSaysItFailed() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    fixture.Box("cbAWID")->click();
    QVERIFY(fixture.ApplyEnabled());

    ReadRecord(fixture, slot, {{10, 1}, {6, 25}});
    QVERIFY(fixture.Box("cbBitMirror")->isChecked());
    QVERIFY(fixture.Box("cbAWID")->isChecked());
    QCOMPARE(fixture.Find<QSpinBox>("edCharDelay")->value(), 250);
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("Device settings"));

    fixture.Reader(slot).Faults().failGet = {3};
    fixture.Action("miReadConfig")->trigger();
    QVERIFY2(fixture.Status().startsWith("Device settings could not be read"),
             qPrintable(fixture.Status()));
}

void SettingsPageTest::readerTypeChoosesPage_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<bool>("legicSegmentEnabled");
    QTest::newRow("multi") << 0 << "tsMulti"
                           << "ZM-880" << false;
    QTest::newRow("125 kHz") << 1 << "ts125"
                             << "125/134kHz" << false;
    QTest::newRow("13.56 MHz") << 2 << "ts1356"
                               << "13,56MHz" << false;
    QTest::newRow("legic") << 3 << "tsLegic"
                           << "Legic" << true;
    QTest::newRow("multi legic") << 4 << "tsMulti"
                                 << "ZM-880/Legic" << false;
    QTest::newRow("unknown keeps the page shown before") << 7 << "ts125"
                                                         << "unknown type 7" << false;
}

void SettingsPageTest::readerTypeChoosesPage() {
    QFETCH(int, type);
    WindowFixture fixture;
    const auto slot = fixture.AddReader(1);
    fixture.Start();
    ReadRecord(fixture, slot, {{8, static_cast<std::uint8_t>(type)}});
    QTEST(fixture.Find<QStackedWidget>("pcType")->currentWidget()->objectName(), "page");
    QTEST(fixture.Find<QLineEdit>("edType")->text(), "typeText");
    QTEST(fixture.Find<QSpinBox>("edLegicSegment")->isEnabled(), "legicSegmentEnabled");
}

void SettingsPageTest::interfaceChoiceSwitchesKeyboardOptions() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    const char* keyboardOptions[] = {
        "cbAddType",   "rbPrefix",    "cbUsedAltKey",    "rbSuffix",    "cbByteMirror",
        "cbBitMirror", "edCharDelay", "edDoubleTimeout", "lbCharDelay", "lbDoubleTimeout"};
    for (int item : {1, 2, 0}) {
        fixture.Form().SetStatusText("");
        fixture.ChooseRadio("rgInterface", item);
        for (const char* name : keyboardOptions)
            QVERIFY2(fixture.Find<QWidget>(name)->isEnabled() == (item == 0), name);
        QVERIFY(fixture.Find<QSpinBox>("edUserCmd")->isEnabled());
        QCOMPARE(fixture.Status(), QString("modified"));
    }

    // A record with another interface switches the set by the same rule.
    auto& reader = fixture.Reader(0);
    reader.Settings()[11] = 7;
    fixture.Action("miReadConfig")->trigger();
    QCOMPARE(fixture.Radio("rgInterface")->itemIndex(), 2);
    QVERIFY(!fixture.Find<QWidget>("cbAddType")->isEnabled());
}

void SettingsPageTest::legicTabRule_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("interface");
    QTest::addColumn<bool>("legicBit");
    QTest::addColumn<bool>("shown");
    QTest::newRow("type 4, keyboard, LEGIC") << 4 << 0 << true << true;
    QTest::newRow("type 0") << 0 << 0 << true << false;
    QTest::newRow("interface VCOM") << 4 << 1 << true << false;
    QTest::newRow("LEGIC off") << 4 << 0 << false << false;
}

void SettingsPageTest::legicTabRule() {
    QFETCH(int, type);
    QFETCH(int, interface);
    QFETCH(bool, legicBit);
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    ReadRecord(fixture, slot,
               {{8, static_cast<std::uint8_t>(type)},
                {11, static_cast<std::uint8_t>(interface)},
                {20, static_cast<std::uint8_t>(legicBit ? 0x08 : 0x00)}});
    QTEST(LegicTabShown(fixture), "shown");
}

void SettingsPageTest::setAllOnHfTagsTicksEveryBoxAndShowsLegicTab() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    ReadRecord(fixture, slot, {{8, 4}, {20, 0}});
    QVERIFY(!LegicTabShown(fixture));
    fixture.Find<QTabWidget>("PageControlMulti")->setCurrentIndex(1);

    fixture.Find<QPushButton>("bnSetAll")->click();
    for (auto caption : zm880::kHfTagCaptions)
        QVERIFY(fixture.Box("cb" + QString::fromUtf8(caption.data(), caption.size()))->isChecked());
    QVERIFY(LegicTabShown(fixture));
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
    QVERIFY2(fixture.Box("cbEM4102")->isChecked() && !fixture.Box("cbLegicReadData")->isChecked(),
             "only the shown page changes");

    fixture.Find<QPushButton>("bnClearAll")->click();
    QVERIFY(!fixture.Box("cbMIFARE")->isChecked());
    QVERIFY(!LegicTabShown(fixture));
}

void SettingsPageTest::readDataEnablesMultiLegicFields() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    ReadRecord(fixture, slot, {{8, 4}, {25, 0}});
    const char* fields[] = {"edMultiLegicSegment", "edMultiLegicOffset", "edMultiLegicCount"};
    for (const char* name : fields)
        QVERIFY(!fixture.Find<QSpinBox>(name)->isEnabled());
    fixture.Box("cbLegicReadData")->click();
    for (const char* name : fields)
        QVERIFY(fixture.Find<QSpinBox>(name)->isEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));

    ReadRecord(fixture, slot, {{25, 1}});
    QVERIFY(fixture.Box("cbLegicReadData")->isChecked());
    ReadRecord(fixture, slot, {{25, 0}});
    for (const char* name : fields)
        QVERIFY(!fixture.Find<QSpinBox>(name)->isEnabled());
}

void SettingsPageTest::shiftAltOnVersionLabelEnablesVersionField() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    auto* version = fixture.Find<QLineEdit>("edVersion");
    for (const char* label : {"Label5", "Label7"}) {
        QTest::mouseClick(fixture.Find<QLabel>(label), Qt::LeftButton, Qt::ShiftModifier);
        QTest::mouseClick(fixture.Find<QLabel>(label), Qt::LeftButton, Qt::AltModifier);
        QVERIFY(!version->isEnabled());
    }
    QTest::mouseClick(fixture.Find<QLabel>("Label7"), Qt::MiddleButton,
                      Qt::ShiftModifier | Qt::AltModifier);
    QVERIFY(version->isEnabled());
    QVERIFY(version->isReadOnly());
    QVERIFY(!fixture.ApplyEnabled());
    QTest::mouseClick(version, Qt::LeftButton);
    QVERIFY(fixture.ApplyEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
}

void SettingsPageTest::enterPressesApply() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    auto& form = fixture.Start();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    auto* box = fixture.Box("cbByteMirror");
    box->click();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(!fixture.ApplyEnabled());
    QCOMPARE(fixture.Reader(slot).Settings()[9], std::uint8_t{1});
}

void SettingsPageTest::textThatIsNotANumberReadsAsLowerBound() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    auto* field = fixture.Find<QSpinBox>("edUserCmd");
    field->setValue(5);
    auto* edit = field->findChild<QLineEdit*>();
    edit->clear();
    QTest::keyClicks(edit, "x");
    field->interpretText();
    QCOMPARE(field->value(), -1);
}

void SettingsPageTest::controlsTheReaderTypeDoesNotStoreAreDisabled_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("enabled");
    QTest::addColumn<QStringList>("disabled");
    const QStringList multi = {"cbEM4102", "cbMIFARE", "bnSetAll", "edUserCmd", "Label3"};
    const QStringList legic = {"edLegicStartAddr", "edLegicLength", "edLegicSegment"};
    const QStringList tags125 = {"CheckBox1", "edMaxLength"};
    QTest::newRow("multi") << 0 << multi << legic + tags125;
    QTest::newRow("125 kHz") << 1 << tags125 << multi + legic;
    QTest::newRow("13.56 MHz") << 2 << tags125 << multi + legic;
    QTest::newRow("legic") << 3 << legic << multi + tags125;
    QTest::newRow("multi legic") << 4 << multi + QStringList{"cbLegicReadData"} << legic + tags125;
    // No page of its own: the multi page stays in view, but its boxes are not stored.
    QTest::newRow("unknown type 5") << 5 << tags125 << multi + legic;
}

void SettingsPageTest::controlsTheReaderTypeDoesNotStoreAreDisabled() {
    QFETCH(int, type);
    QFETCH(QStringList, enabled);
    QFETCH(QStringList, disabled);
    WindowFixture fixture;
    fixture.AddReader(static_cast<std::uint8_t>(type));
    fixture.Start();
    QVERIFY(fixture.Find<QLineEdit>("edType")->text() != "-");
    for (const QString& name : enabled)
        QVERIFY2(fixture.Find<QWidget>(name)->isEnabled(), qPrintable(name));
    for (const QString& name : disabled)
        QVERIFY2(!fixture.Find<QWidget>(name)->isEnabled(), qPrintable(name));

    // The interface rule still applies on top: no keyboard, no 125 kHz tag choice.
    fixture.ChooseRadio("rgInterface", 1);
    QVERIFY(!fixture.Find<QWidget>("CheckBox1")->isEnabled());
    QCOMPARE(fixture.Find<QWidget>("edMaxLength")->isEnabled(), tags125Stored(type));
}

void SettingsPageTest::applyShowsWhatTheReaderKept() {
    WindowFixture fixture;
    const auto slot = fixture.Add(std::make_unique<StubbornReader>());
    fixture.Start();
    fixture.Find<QSpinBox>("edCharDelay")->setValue(55);
    fixture.Box("cbByteMirror")->click();
    fixture.Find<QPushButton>("bnApply")->click();

    QCOMPARE(fixture.Reader(slot).Settings()[6], std::uint8_t{6});
    QCOMPARE(fixture.Find<QSpinBox>("edCharDelay")->value(), 60);
    QVERIFY2(!fixture.Box("cbByteMirror")->isChecked(), "the reader kept the mirror off");
    QCOMPARE(fixture.Status(),
             QString("Device settings written, but the reader did not keep byte 9"));
    QVERIFY(!fixture.ApplyEnabled());

    fixture.Find<QSpinBox>("edCharDelay")->setValue(125);
    fixture.Find<QPushButton>("bnApply")->click();
    QCOMPARE(fixture.Find<QSpinBox>("edCharDelay")->value(), 120);
    QCOMPARE(fixture.Status(), QString("Device-Settings updated"));
}

void SettingsPageTest::setAllAndClearAllOnLegicTabTickReadData() {
    WindowFixture fixture;
    const auto slot = fixture.AddReader();
    fixture.Start();
    ReadRecord(fixture, slot, {{8, 4}, {20, 0x08}, {25, 0}});
    auto* tabs = fixture.Find<QTabWidget>("PageControlMulti");
    tabs->setCurrentWidget(fixture.Find<QWidget>("tsMultiLegic"));
    fixture.Form().SetStatusText("");

    // Clicked where the user clicks: the buttons lie over the tab pages.
    auto* setAll = fixture.Find<QPushButton>("bnSetAll");
    QWidget* multiPage = fixture.Find<QWidget>("tsMulti");
    QCOMPARE(multiPage->childAt(setAll->geometry().center()), static_cast<QWidget*>(setAll));
    setAll->click();
    QVERIFY(fixture.Box("cbLegicReadData")->isChecked());
    QVERIFY(fixture.Find<QSpinBox>("edMultiLegicCount")->isEnabled());
    QCOMPARE(fixture.Status(), QString("modified"));
    fixture.Find<QPushButton>("bnClearAll")->click();
    QVERIFY(!fixture.Box("cbLegicReadData")->isChecked());
    QVERIFY(fixture.Box("cbLEGIC")->isChecked());
}

void SettingsPageTest::disabledCaptionsStayReadable_data() {
    QTest::addColumn<bool>("darkTheme");
    QTest::newRow("light system theme") << false;
    QTest::newRow("dark system theme") << true;
}

void SettingsPageTest::disabledCaptionsStayReadable() {
    QFETCH(bool, darkTheme);
    const QPalette before = QApplication::palette();
    if (darkTheme) {
        QPalette dark(QColor(0xE0, 0xE0, 0xE0), QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x7F, 0x7F, 0x7F));
        dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x7F, 0x7F, 0x7F));
        dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x7F, 0x7F, 0x7F));
        QApplication::setPalette(dark);
    }
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    fixture.ChooseRadio("rgInterface", 1);  // USB-VCOM: the keyboard options are disabled
    for (const char* name : {"cbAddType", "cbByteMirror", "lbCharDelay", "rbSuffix_0"}) {
        auto* control = fixture.Find<QWidget>(name);
        QVERIFY2(!control->isEnabled(), name);
        const double contrast = StrongestContrast(control);
        QVERIFY2(contrast >= 3.0, qPrintable(QString("%1: %2").arg(name).arg(contrast)));
    }
    // Enabled captions as well, whatever the system's colours.
    QVERIFY(StrongestContrast(fixture.Find<QWidget>("Label5")) >= 4.5);
    QApplication::setPalette(before);
}

void SettingsPageTest::longStatusTextIsShownWhole() {
    WindowFixture fixture;
    fixture.Start();
    auto* panel = fixture.Find<QLabel>("StatusPanel0");
    // A text just over the old panel's 600 pixels.
    QString fits = "Device settings could not be read: ";
    while (panel->fontMetrics().horizontalAdvance(fits) <= 610)
        fits += 'x';
    const QString tooLong = QString("y").repeated(300) + "END";

    fixture.Form().SetStatusText(fits);
    QCOMPARE(panel->text(), fits);
    QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <= panel->contentsRect().width());

    fixture.Form().SetStatusText(tooLong);
    QCOMPARE(fixture.Status(), tooLong);
    QCOMPARE(panel->toolTip(), tooLong);
    QVERIFY(panel->text().endsWith("END"));
    QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <= panel->contentsRect().width());
}

void SettingsPageTest::tabOrderFollowsTheForm_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("order");
    const QStringList options = {"rgInterface_0", "rbSuffix_1",   "cbAddType",
                                 "cbUsedAltKey",  "cbByteMirror", "cbBitMirror"};
    QStringList lfTags;
    for (std::string_view caption : zm880::kLfTagCaptions)
        lfTags << "cb" + QString::fromLatin1(caption.data(), qsizetype(caption.size()));
    QTest::newRow("multi-technology")
        << 0
        << options +
               QStringList{"edUserCmd", "edCharDelay", "edDoubleTimeout", "qt_tabwidget_tabbar"} +
               lfTags + QStringList{"bnSetAll", "bnClearAll", "bnApply"};
    QTest::newRow("125 kHz") << 1
                             << options + QStringList{"edCharDelay", "edDoubleTimeout", "CheckBox1",
                                                      "CheckBox2",   "CheckBox3",       "CheckBox4",
                                                      "CheckBox5",   "CheckBox6",       "CheckBox7",
                                                      "edMaxLength", "bnApply"};
}

void SettingsPageTest::tabOrderFollowsTheForm() {
    QFETCH(int, type);
    WindowFixture fixture;
    fixture.AddReader(static_cast<std::uint8_t>(type));
    fixture.Start();
    fixture.Box("cbByteMirror")->click();  // an edit, so that "Apply" takes the focus too
    QWidget* first = fixture.Find<QWidget>("rgInterface_0");
    first->setFocus(Qt::TabFocusReason);
    QStringList order;
    do {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused != nullptr);
        order << focused->objectName();
        QTest::keyClick(focused, Qt::Key_Tab);
    } while (QApplication::focusWidget() != first && order.size() < 100);
    QTEST(order, "order");
}

void SettingsPageTest::arrowKeysChooseInsideARadioGroup() {
    WindowFixture fixture;
    fixture.AddReader();
    fixture.Start();
    auto* suffix = fixture.Radio("rbSuffix");
    fixture.Find<QWidget>("rbSuffix_1")->setFocus(Qt::TabFocusReason);
    const std::pair<Qt::Key, int> steps[] = {{Qt::Key_Right, 2},
                                             {Qt::Key_Right, 0},
                                             {Qt::Key_Left, 2},
                                             {Qt::Key_Up, 1},
                                             {Qt::Key_Down, 2}};
    for (const auto& [key, chosen] : steps) {
        fixture.Form().SetStatusText("");
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(suffix->itemIndex(), chosen);
        QCOMPARE(QApplication::focusWidget()->objectName(), "rbSuffix_" + QString::number(chosen));
        QCOMPARE(fixture.Status(), QString("modified"));
    }
    // The focus stays inside the group: the interface is not changed by the arrows.
    QCOMPARE(fixture.Radio("rgInterface")->itemIndex(), 0);
}

void SettingsPageTest::captionMnemonicsLeadIntoTheirGroups_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("focused");
    QTest::newRow("Interface") << int(Qt::Key_N) << "rgInterface_0";
    QTest::newRow("HID-Keyboard-Option") << int(Qt::Key_K) << "rbSuffix_1";
    QTest::newRow("Suffix") << int(Qt::Key_S) << "rbSuffix_1";
    QTest::newRow("Prefix") << int(Qt::Key_P) << "cbAddType";
}

void SettingsPageTest::captionMnemonicsLeadIntoTheirGroups() {
    QFETCH(int, key);
    WindowFixture fixture;
    fixture.AddReader();
    auto& form = fixture.Start();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    fixture.Find<QWidget>("cbEM4102")->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(&form, static_cast<Qt::Key>(key), Qt::AltModifier);
    QVERIFY(QApplication::focusWidget() != nullptr);
    QTEST(QApplication::focusWidget()->objectName(), "focused");
}

QTEST_MAIN(SettingsPageTest)
#include "settings_page_test.moc"
