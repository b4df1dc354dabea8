#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <span>

#include "diag/RawConsole.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QWidget;

namespace zm880::diag_gui {

// The raw report console on the "Special" page: report ID, 64 byte cells, "Read", "Write",
// "Reset", "Back" and one history line per transfer. Transfers the reader refuses are named through
// `showStatus`.
class TRawConsolePage : public QObject {
    Q_OBJECT

  public:
    // Runs one transfer for the page; the owner decides how the window waits for it.
    using TransferRunner = std::function<TransferResult(const std::function<TransferResult()>&)>;

    // Without `runTransfer` transfers run directly.
    TRawConsolePage(ReaderSession& session, QWidget* tsSpecial,
                    std::function<void(const QString&)> showStatus,
                    TransferRunner runTransfer = {});

    // Creates cells 1 to 63 next to and below Edit1, hidden (the first activation of the window).
    void BuildByteCells();
    bool ByteCellsBuilt() const { return cellsBuilt_; }
    // The selected reader decides how many cells show and whether "Write" can be used.
    void DevListBox1Click();
    void ClearHistory();

    void ReadBtnClick();
    void WriteBtnClick();
    void ResetBtnClick();

  signals:
    // "Back" or Escape: the user leaves the console for the "Main" page.
    void backRequested();

  private:
    std::span<QLineEdit* const> Cells() const;
    void AddHistoryLines();
    void ReportFailure(const TransferResult& result);
    TransferResult Run(const std::function<TransferResult()>& transfer);

    ReaderSession& session_;
    RawConsole console_;
    std::function<void(const QString&)> showStatus_;
    TransferRunner runTransfer_;
    bool cellsBuilt_ = false;

    QWidget* page_;
    QListWidget* HistoryListBox_ = nullptr;
    QLabel* Label1_ = nullptr;
    QLineEdit* ReportID_ = nullptr;
    std::array<QLineEdit*, kByteCellCount> cells_{};
    QToolButton* ReadBtn_ = nullptr;
    QToolButton* WriteBtn_ = nullptr;
    QPushButton* ResetBtn_ = nullptr;
    QPushButton* bnBack_ = nullptr;
};

}  // namespace zm880::diag_gui
