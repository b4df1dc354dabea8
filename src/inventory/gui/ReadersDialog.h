#pragma once

#include <QDialog>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/ReaderInventory.h"

class QPushButton;
class QTableWidget;

namespace zm880 {
class ReaderSession;
}
namespace zm880::app {
class UserDialogs;
}

namespace zm880::inventory_gui {

// Info > Readers: a table of every attached reader (the columns of `zm880ctl inventory`), with
// a comparison against a profile, copying and saving as CSV. Each reader is read once per plug
// (the device identity is new at every plug); nothing is ever written to a reader.
class TReadersDialog : public QDialog {
    Q_OBJECT

  public:
    TReadersDialog(ReaderSession& session, app::UserDialogs& dialogs, QWidget* parent);

    // Takes the session's device list again: rows of readers still plugged in stay as read,
    // readers plugged in since are read, unplugged ones leave the table. Call after every
    // rebuild of the device list.
    void Refresh();

    // The table as CSV (RFC 4180), header first: what "Copy" and "Save as CSV..." give.
    QString CsvText() const;

    void bnCompareClick();
    void bnCopyClick();
    void bnSaveCsvClick();

  private:
    void ShowRows();
    QString ProfileCellText(const inventory::InventoryRow& row) const;

    ReaderSession& session_;
    app::UserDialogs& dialogs_;
    QTableWidget* table_ = nullptr;
    // The rows in list order, and each one by its device's identity for the next refresh.
    std::vector<inventory::InventoryRow> rows_;
    std::map<std::string, inventory::InventoryRow> readByIdentity_;
    std::optional<nlohmann::ordered_json> profile_;
    QString profileName_;
};

}  // namespace zm880::inventory_gui
