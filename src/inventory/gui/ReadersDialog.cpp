#include "inventory/gui/ReadersDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/UserDialogs.h"
#include "cfgfile/SafeFile.h"
#include "cfgfile/Utf8Path.h"
#include "cfgfile/gui/ProfileFile.h"
#include "hid/HidDevice.h"
#include "inventory/Csv.h"
#include "inventory/ProfileCheck.h"
#include "reader/ReaderSession.h"
#include "reader/SettingsFields.h"

namespace zm880::inventory_gui {

namespace {

// Column headers in the order of InventoryColumns.
QStringList ColumnTitles() {
    return {TReadersDialog::tr("#"),
            TReadersDialog::tr("Device path"),
            TReadersDialog::tr("Device"),
            TReadersDialog::tr("Manufacturer"),
            TReadersDialog::tr("Product"),
            TReadersDialog::tr("Release"),
            TReadersDialog::tr("Record version"),
            TReadersDialog::tr("Reader type"),
            TReadersDialog::tr("Type name"),
            TReadersDialog::tr("Feature report"),
            TReadersDialog::tr("Accessible"),
            TReadersDialog::tr("In firmware loader"),
            TReadersDialog::tr("Settings digest"),
            TReadersDialog::tr("Not read because")};
}

constexpr int kAccessibleColumn = 10;
constexpr int kInLoaderColumn = 11;

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

TReadersDialog::TReadersDialog(ReaderSession& session, app::UserDialogs& dialogs, QWidget* parent)
    : QDialog(parent), session_(session), dialogs_(dialogs) {
    setObjectName("ReadersDialog");
    setWindowTitle(tr("Readers"));
    table_ = new QTableWidget(this);
    table_->setObjectName("tbReaders");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    auto* compare = new QPushButton(tr("Compare with profile..."), this);
    compare->setObjectName("bnCompare");
    auto* copy = new QPushButton(tr("Copy"), this);
    copy->setObjectName("bnCopy");
    auto* save = new QPushButton(tr("Save as CSV..."), this);
    save->setObjectName("bnSaveCsv");
    auto* close = new QPushButton(tr("Close"), this);
    close->setObjectName("bnClose");
    connect(compare, &QPushButton::clicked, this, [this] { bnCompareClick(); });
    connect(copy, &QPushButton::clicked, this, [this] { bnCopyClick(); });
    connect(save, &QPushButton::clicked, this, [this] { bnSaveCsvClick(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {compare, copy, save}) {
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(buttons);
    resize(900, 300);
    Refresh();
}

void TReadersDialog::Refresh() {
    std::map<std::string, inventory::InventoryRow> stillPlugged;
    rows_.clear();
    const std::vector<DeviceEntry>& entries = session_.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string identity = entries[i].Device ? entries[i].Device->PnPInfo().DevInst : "";
        const auto known = readByIdentity_.find(identity);
        inventory::InventoryRow row = known != readByIdentity_.end() && !identity.empty()
                                          ? known->second
                                          : inventory::ReadInventoryRow(entries[i], i);
        row.index = i;
        if (!identity.empty()) {
            stillPlugged[identity] = row;
        }
        rows_.push_back(std::move(row));
    }
    readByIdentity_ = std::move(stillPlugged);
    ShowRows();
}

QString TReadersDialog::ProfileCellText(const inventory::InventoryRow& row) const {
    if (!row.record) {
        return tr("not read");
    }
    const inventory::ProfileComparison comparison =
        inventory::CompareWithProfile(*profile_, *row.record);
    if (comparison.Matches()) {
        return tr("matches");
    }
    return Text(inventory::ComparisonText(comparison));
}

void TReadersDialog::ShowRows() {
    QStringList titles = ColumnTitles();
    if (profile_) {
        titles << tr("Profile %1").arg(profileName_);
    }
    table_->clear();
    table_->setColumnCount(static_cast<int>(titles.size()));
    table_->setHorizontalHeaderLabels(titles);
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const inventory::InventoryRow& row = rows_[r];
        const std::vector<std::string> cells = inventory::InventoryCells(row);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            QString text = Text(cells[c]);
            if (c == kAccessibleColumn || c == kInLoaderColumn) {
                text =
                    (c == kAccessibleColumn ? row.accessible : row.inLoader) ? tr("yes") : tr("no");
            }
            table_->setItem(static_cast<int>(r), static_cast<int>(c), new QTableWidgetItem(text));
        }
        if (profile_) {
            table_->setItem(static_cast<int>(r), static_cast<int>(cells.size()),
                            new QTableWidgetItem(ProfileCellText(row)));
        }
    }
    table_->resizeColumnsToContents();
}

QString TReadersDialog::CsvText() const {
    std::vector<std::string> header = inventory::InventoryColumns();
    if (profile_) {
        header.push_back("profile");
    }
    std::string text = inventory::CsvRecord(header);
    for (const inventory::InventoryRow& row : rows_) {
        std::vector<std::string> cells = inventory::InventoryCells(row);
        if (profile_) {
            cells.push_back(row.record ? inventory::ComparisonText(
                                             inventory::CompareWithProfile(*profile_, *row.record))
                                       : "not read");
        }
        text += inventory::CsvRecord(cells);
    }
    return Text(text);
}

void TReadersDialog::bnCompareClick() {
    const std::optional<QString> path = dialogs_.OpenProfileFile(QString());
    if (!path) {
        return;
    }
    QString error;
    std::optional<nlohmann::ordered_json> profile = cfgfile_gui::ReadProfileFile(*path, error);
    if (profile) {
        if (const std::optional<std::string> refusal = CheckProfileFields(*profile)) {
            error = *path + ": " + Text(*refusal);
            profile.reset();
        }
    }
    if (!profile) {
        dialogs_.ShowMessage(error);
        return;
    }
    profile_ = std::move(profile);
    profileName_ = QFileInfo(*path).fileName();
    ShowRows();
}

void TReadersDialog::bnCopyClick() {
    QApplication::clipboard()->setText(CsvText());
}

void TReadersDialog::bnSaveCsvClick() {
    const std::optional<QString> path = dialogs_.SaveCsvFile(QStringLiteral("readers.csv"));
    if (!path) {
        return;
    }
    const QByteArray bytes = CsvText().toUtf8();
    const cfgfile::SafeFileError error =
        cfgfile::WriteFileSafely(cfgfile::Utf8Path(path->toStdString()),
                                 std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())));
    if (!error.ok()) {
        dialogs_.ShowMessage(Text(error.message));
    }
}

}  // namespace zm880::inventory_gui
