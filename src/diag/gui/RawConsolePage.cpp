#include "diag/gui/RawConsolePage.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace zm880::diag_gui {
namespace {

// A history line's height for the list's font size; a larger font (the window's is scaled with the
// system's) gets taller lines.
constexpr int kHistoryItemHeight = 14;
constexpr int kHistoryFontPixels = 11;
constexpr int kCellColumns = 16;
constexpr int kCellGap = 2;

QToolButton* SpeedButton(const char* name, const QString& caption, QRect geometry, QWidget* page) {
    auto* button = new QToolButton(page);
    button->setObjectName(name);
    button->setText(caption);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

std::vector<std::string> CellTexts(std::span<QLineEdit* const> cells) {
    std::vector<std::string> texts;
    texts.reserve(cells.size());
    for (const QLineEdit* cell : cells)
        texts.push_back(cell->text().toStdString());
    return texts;
}

void ShowCellTexts(const std::vector<std::string>& texts, std::span<QLineEdit* const> cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const QString text = QString::fromStdString(texts[i]);
        if (cells[i]->text() != text)
            cells[i]->setText(text);
    }
}

}  // namespace

TRawConsolePage::TRawConsolePage(ReaderSession& session, QWidget* tsSpecial,
                                 std::function<void(const QString&)> showStatus,
                                 TransferRunner runTransfer)
    : QObject(tsSpecial),
      session_(session),
      console_(session),
      showStatus_(std::move(showStatus)),
      runTransfer_(std::move(runTransfer)),
      page_(tsSpecial) {
    setObjectName("RawConsole");

    HistoryListBox_ = new QListWidget(page_);
    HistoryListBox_->setObjectName("HistoryListBox");
    HistoryListBox_->setGeometry(0, 0, 676, 31);
    QFont courier("Courier New");
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPixelSize(kHistoryFontPixels);
    HistoryListBox_->setFont(courier);
    HistoryListBox_->setUniformItemSizes(true);
    // A line of a long report is wider than the list: it scrolls sideways.
    HistoryListBox_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    HistoryListBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    Label1_ = new QLabel(tr("Report"), page_);
    Label1_->setObjectName("Label1");
    Label1_->setGeometry(1, 53, 56, 16);
    ReportID_ = new QLineEdit("03", page_);
    ReportID_->setObjectName("ReportID");
    ReportID_->setGeometry(56, 43, 25, 24);
    cells_[0] = new QLineEdit(page_);
    cells_[0]->setObjectName("Edit1");
    cells_[0]->setGeometry(56, 77, 25, 24);

    ReadBtn_ = SpeedButton("ReadBtn", tr("Read"), QRect(144, 199, 81, 22), page_);
    ReadBtn_->setCheckable(true);
    WriteBtn_ = SpeedButton("WriteBtn", tr("Write"), QRect(232, 199, 81, 22), page_);
    ResetBtn_ = new QPushButton(tr("Reset"), page_);
    ResetBtn_->setObjectName("ResetBtn");
    ResetBtn_->setGeometry(320, 199, 81, 22);
    ResetBtn_->setAutoDefault(false);
    bnBack_ = new QPushButton(tr("Back"), page_);
    bnBack_->setObjectName("bnBack");
    bnBack_->setToolTip(tr("Back to the settings (Esc)"));
    bnBack_->setGeometry(408, 199, 81, 22);
    bnBack_->setAutoDefault(false);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), page_);
    escape->setContext(Qt::WidgetWithChildrenShortcut);

    connect(ReadBtn_, &QToolButton::clicked, this, [this] { ReadBtnClick(); });
    connect(WriteBtn_, &QToolButton::clicked, this, [this] { WriteBtnClick(); });
    connect(ResetBtn_, &QPushButton::clicked, this, [this] { ResetBtnClick(); });
    connect(bnBack_, &QPushButton::clicked, this, &TRawConsolePage::backRequested);
    connect(escape, &QShortcut::activated, this, &TRawConsolePage::backRequested);
}

void TRawConsolePage::BuildByteCells() {
    if (cellsBuilt_)
        return;
    QLineEdit* first = cells_[0];
    const QRect origin = first->geometry();
    QWidget* previous = first;
    for (std::size_t k = 0; k < cells_.size(); ++k) {
        if (k > 0) {
            cells_[k] = new QLineEdit(page_);
            cells_[k]->setObjectName(QString("ByteCell%1").arg(k));
        }
        QLineEdit* cell = cells_[k];
        const int row = static_cast<int>(k) / kCellColumns;
        const int column = static_cast<int>(k) % kCellColumns;
        cell->hide();
        cell->setGeometry(origin.left() + column * (origin.width() + kCellGap),
                          origin.top() + row * (origin.height() + kCellGap), origin.width(),
                          origin.height());
        cell->clear();
        if (k > 0) {
            QWidget::setTabOrder(previous, cell);
            previous = cell;
        }
    }
    cellsBuilt_ = true;
}

std::span<QLineEdit* const> TRawConsolePage::Cells() const {
    // Before the first activation only Edit1 exists.
    return std::span<QLineEdit* const>(cells_).first(cellsBuilt_ ? cells_.size() : 1);
}

void TRawConsolePage::ClearHistory() {
    HistoryListBox_->clear();
    console_.ClearHistory();
}

void TRawConsolePage::DevListBox1Click() {
    ClearHistory();
    if (!cellsBuilt_)
        return;
    const ReaderDevice reader = session_.SelectedDevice();
    if (!reader)
        return;
    for (QLineEdit* cell : cells_)
        cell->hide();
    const std::size_t length = ReaderSession::FeatureLength(reader);
    const std::size_t visible = RawConsole::VisibleCells(length);
    for (std::size_t i = 0; i < visible; ++i)
        cells_[i]->show();
    // A report longer than the cells and the buffer cannot be shown or written whole.
    WriteBtn_->setEnabled(RawConsole::CanWrite(length));
    if (length > kMaxFeatureReportLength)
        showStatus_(QString::fromStdString(ReaderSession::LengthProblem(length)));
}

void TRawConsolePage::AddHistoryLines() {
    const std::vector<std::string>& history = console_.History();
    for (auto i = static_cast<std::size_t>(HistoryListBox_->count()); i < history.size(); ++i) {
        auto* item = new QListWidgetItem(QString::fromStdString(history[i]));
        // Its own width, so that the list knows how far it scrolls; the lines of one reader
        // are all equally long. Its height follows the list's font, and is at least one line of
        // the font the system gives for it, whose line height varies with the fallback chosen.
        const QFontMetrics metrics = HistoryListBox_->fontMetrics();
        const int width =
            metrics.horizontalAdvance(item->text()) +
            2 * (HistoryListBox_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
        const int height =
            std::max(kHistoryItemHeight * HistoryListBox_->font().pixelSize() / kHistoryFontPixels,
                     metrics.height());
        item->setSizeHint(QSize(width, height));
        HistoryListBox_->addItem(item);
    }
    if (HistoryListBox_->count() > 0) {
        HistoryListBox_->setCurrentRow(HistoryListBox_->count() - 1);
        HistoryListBox_->scrollToBottom();
    }
}

void TRawConsolePage::ReportFailure(const TransferResult& result) {
    // Without a reader the buttons do nothing at all.
    if (result.Selected && !result.Ok)
        showStatus_(QString::fromStdString(result.Message));
}

TransferResult TRawConsolePage::Run(const std::function<TransferResult()>& transfer) {
    return runTransfer_ ? runTransfer_(transfer) : transfer();
}

void TRawConsolePage::ReadBtnClick() {
    ReadBtn_->setChecked(true);
    std::vector<std::string> texts = CellTexts(Cells());
    const std::string reportId = ReportID_->text().toStdString();
    const TransferResult result = Run([&] { return console_.Read(reportId, texts); });
    ShowCellTexts(texts, Cells());
    AddHistoryLines();
    ReportFailure(result);
    ReadBtn_->setChecked(false);
}

void TRawConsolePage::WriteBtnClick() {
    std::string reportId = ReportID_->text().toStdString();
    std::vector<std::string> texts = CellTexts(Cells());
    const TransferResult result = Run([&] { return console_.Write(reportId, texts); });
    ReportID_->setText(QString::fromStdString(reportId));
    ShowCellTexts(texts, Cells());
    AddHistoryLines();
    ReportFailure(result);
}

void TRawConsolePage::ResetBtnClick() {
    ReportFailure(Run([this] { return console_.Reset(); }));
}

}  // namespace zm880::diag_gui
