#pragma once

#include <QDialog>
#include <QString>

#include <array>

#include "reader/ReaderSession.h"

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zm880::app {

// The About box "Info": the program's name, version, copyright and trademark, the identity of
// the selected reader, and the release notes behind a right click on the version.
class TInfoBox : public QDialog {
    Q_OBJECT

  public:
    explicit TInfoBox(QWidget* parent = nullptr);

    // The reader whose identity the box shows; none leaves its labels at "-". The box keeps its
    // own reference, so the reader stays valid while the box is open.
    void SetDevice(ReaderDevice device) { device_ = std::move(device); }

    void lbVersionMouseDown(Qt::MouseButton button);
    void OKButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildControls();
    void FormCreate();
    void FormShow();
    // Places the reader's strings and IDs so that none covers another, however long.
    void LayOutDeviceBlock(const QString& vendor, const QString& product);

    ReaderDevice device_;

    QFrame* Panel1_ = nullptr;
    QLabel* ProgramIcon_ = nullptr;
    QLabel* lbProductName_ = nullptr;
    QLabel* lbVersion_ = nullptr;
    QLabel* lbCopyright_ = nullptr;
    QLabel* lbComments_ = nullptr;
    QLabel* lbTrademark_ = nullptr;
    QLabel* VendorName_ = nullptr;
    QLabel* ProductName_ = nullptr;
    QLabel* Vid_ = nullptr;
    QLabel* Pid_ = nullptr;
    QLabel* Vers_ = nullptr;
    std::array<QLabel*, 2> nameCaptions_{};
    std::array<QLabel*, 3> idCaptions_{};
    QPlainTextEdit* VersionsInfo_ = nullptr;
    QPushButton* OKButton_ = nullptr;
};

// What the version label shows for a file version: the text without its fourth character, cut
// to four characters ("1.2.6.0" gives "1.26").
QString VersionLabelText(const QString& fileVersion);

// "&Info": shows a new About box for `device` (may be none), modal over `owner`.
void ShowInfoBox(ReaderDevice device, QWidget* owner);

}  // namespace zm880::app
