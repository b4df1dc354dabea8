#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <vector>

#include "reader/ReaderSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;

namespace zm880 {
class ReaderSession;
}

namespace zm880::app {
class TNumberField;
class TRadioGroup;
}  // namespace zm880::app

namespace zm880::reader_gui {

// The "Main" page: the controls of the settings record, their enable rules, and the decode onto
// them and the encode from them. Every control carries its name as object name. What a change
// means for the window (the modified state) is the owner's: it installs the common change
// handler, which every settings control runs when its value changes.
class TSettingsPage : public QWidget {
    Q_OBJECT

  public:
    TSettingsPage(ReaderSession& session, QWidget* parent);

    // Said while the controls hold no record of the reader or of a loaded file.
    static QString NoSettingsLoaded() { return tr("No settings are loaded"); }

    void SetCommonChangeHandler(std::function<void()> handler) {
        commonChange_ = std::move(handler);
    }

    // Puts the buffer's settings onto the controls (only when it holds a settings record), then
    // gives "Apply" the state `applyEnabled`. The record then counts as loaded.
    void DecodeSettings(bool applyEnabled);
    // Puts a record just read from the reader onto the controls: they then show what the reader
    // holds, so nothing counts as a change and "Apply" is disabled.
    void ShowReadRecord();
    // The controls hold no record of this reader or of a loaded file: "Apply" stays disabled
    // until the next decode.
    void ForgetRecord();
    bool HasRecord() const { return hasRecord_; }
    // The settings controls take no input while they show nothing of a reader or a file; a
    // successful decode enables them again.
    void DisableSettingsControls();
    // Writes the controls into the session's buffer.
    void EncodeSettings();
    // The settings as the controls show them.
    ReaderSettings ShownSettings() const;

    QPushButton* ApplyButton() const { return bnApply_; }
    // "Apply to all readers": shown by the owner while several readers are attached, usable
    // while the controls hold a record, changed or not (it copies a reader's settings to others).
    QPushButton* ApplyAllButton() const { return bnApplyAll_; }

  signals:
    // A mouse button went down on the page's free surface.
    void freeAreaPressed(Qt::KeyboardModifiers modifiers);

  protected:
    void mousePressEvent(class QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildInterfacePanel();
    void BuildMultiPage(QWidget* page);
    void BuildLegicPage(QWidget* page);
    void Build125Page(QWidget* page);
    void BuildVersionPanel();
    void ConnectHandlers();
    void BuildApplyButtons();
    void SetTabOrder();

    void ShowTypePage(int readerType);
    void ShowMultiLegicTabByRule();
    // Enables each control only when the interface choice and the stored reader type use it.
    void UpdateEnabledControls();
    void TickAllOnShownMultiPage(bool ticked);

    // Handlers, named after their control and event.
    void cbUsedAltKeyClick();
    void rgInterfaceClick();
    void cbDirectModeClick();
    void cbLEGICClick();
    void cbLegicReadDataClick();
    void bnSetAllClick() { TickAllOnShownMultiPage(true); }
    void bnClearAllClick() { TickAllOnShownMultiPage(false); }
    void edVersionMouseDown(Qt::KeyboardModifiers modifiers);

    ReaderSession& session_;
    std::function<void()> commonChange_;
    bool hasRecord_ = false;
    // Set while a read record is put onto the controls: those changes are not the user's.
    bool showingReadRecord_ = false;

    QWidget* pInterfTags_ = nullptr;
    app::TRadioGroup* rgInterface_ = nullptr;
    QCheckBox* cbDirectMode_ = nullptr;
    QStackedWidget* pcType_ = nullptr;
    QWidget* tsMulti_ = nullptr;
    QWidget* tsLegic_ = nullptr;
    QWidget* ts1356_ = nullptr;
    QWidget* ts125_ = nullptr;
    QTabWidget* PageControlMulti_ = nullptr;
    QWidget* tsMultiLegic_ = nullptr;
    std::array<QCheckBox*, 20> lfTags_{};
    std::array<QCheckBox*, 8> hfTags_{};
    QCheckBox* cbLegicReadData_ = nullptr;
    app::TNumberField* edMultiLegicSegment_ = nullptr;
    app::TNumberField* edMultiLegicOffset_ = nullptr;
    app::TNumberField* edMultiLegicCount_ = nullptr;
    app::TNumberField* edLegicStartAddr_ = nullptr;
    app::TNumberField* edLegicLength_ = nullptr;
    app::TNumberField* edLegicSegment_ = nullptr;
    std::array<QCheckBox*, 7> tags125_{};
    app::TNumberField* edMaxLength_ = nullptr;

    QWidget* pVersion_ = nullptr;
    QLabel* Label5_ = nullptr;
    QLineEdit* edVersion_ = nullptr;
    QLabel* Label7_ = nullptr;
    QLineEdit* edType_ = nullptr;
    QComboBox* cbBaud_ = nullptr;
    app::TRadioGroup* rbSuffix_ = nullptr;
    QGroupBox* rbPrefix_ = nullptr;
    QCheckBox* cbAddType_ = nullptr;
    QCheckBox* cbUsedAltKey_ = nullptr;
    QCheckBox* cbByteMirror_ = nullptr;
    QCheckBox* cbBitMirror_ = nullptr;
    app::TNumberField* edUserCmd_ = nullptr;
    app::TNumberField* edCharDelay_ = nullptr;
    app::TNumberField* edDoubleTimeout_ = nullptr;
    QLabel* lbCharDelay_ = nullptr;
    QLabel* lbDoubleTimeout_ = nullptr;
    QLabel* Label3_ = nullptr;
    QPushButton* bnSetAll_ = nullptr;
    QPushButton* bnClearAll_ = nullptr;
    QPushButton* bnApplyAll_ = nullptr;
    QPushButton* bnApply_ = nullptr;

    // Enabled and disabled together by the interface choice.
    std::vector<QWidget*> keyboardOptions_;
};

}  // namespace zm880::reader_gui
