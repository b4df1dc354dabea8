#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/Cli.h"
#include "cli/JsonOutput.h"
#include "cli/Printable.h"
#include "cli/ProfileFile.h"
#include "cli/ReaderAccess.h"
#include "inventory/Csv.h"
#include "inventory/ProfileCheck.h"
#include "inventory/ReaderInventory.h"

namespace zm880::cli {

namespace {

using inventory::InventoryRow;

// Reads the rows of `indices` with the simulated bus kept for the run (its models count
// transfers) and saved once at the end.
std::vector<InventoryRow> ReadRows(ReaderAccess& access, const std::vector<std::size_t>& indices) {
    const std::unique_ptr<hid::SimulatedBus::Hold> hold = access.HoldSimulatedBus();
    std::vector<InventoryRow> rows;
    rows.reserve(indices.size());
    for (const std::size_t index : indices) {
        rows.push_back(inventory::ReadInventoryRow(access.Session().Entries()[index], index));
    }
    if (hold) {
        access.CommitSimulatedBus(*hold);
    }
    return rows;
}

// A CSV record on standard output, ending in CR LF: on Windows the text-mode stream adds the CR
// to the line feed itself.
void PrintCsv(const std::vector<std::string>& fields) {
    std::string record = inventory::CsvRecord(fields);
#ifdef _WIN32
    record.erase(record.size() - 2, 1);
#endif
    std::cout << record;
}

std::string RowText(const InventoryRow& row) {
    const std::vector<std::string> cells = inventory::InventoryCells(row);
    std::string line = cells[0] + "  " + Printable(row.path) + "  " + Printable(row.text);
    if (!row.error.empty()) {
        return line + "  not read: " + Printable(row.error);
    }
    line += "  release " + cells[5] + "  version " + cells[6] + "  type " + cells[7];
    if (!row.readerTypeName.empty()) {
        line += " (" + row.readerTypeName + ")";
    }
    return line + "  feature report " + cells[9] + " bytes  digest " + row.digest;
}

void AddInventoryCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                         int& exitCode) {
    struct Args {
        bool json = false;
        bool csv = false;
    };
    auto args = std::make_shared<Args>();
    CLI::App* command = app.add_subcommand(
        "inventory",
        "One row per attached reader: identity, firmware, reader type and a digest "
        "of its settings; reads only");
    CLI::Option* json = command->add_flag("--json", args->json, "Print one JSON array");
    command->add_flag("--csv", args->csv, "Print CSV (RFC 4180) with a header line")
        ->excludes(json);
    AddReaderOptions(*command, *options, ReaderChoice::None);
    command->footer(
        "Exit status: 0 every reader read, 1 a reader could not be read (its row says why), "
        "2 bad usage.");
    command->callback([options, args, &exitCode] {
        RefuseReaderChoice(*options, ReaderChoice::None,
                           "inventory lists every reader: --device and --all do not apply");
        ReaderAccess access(*options);
        std::vector<std::size_t> all(access.Session().Entries().size());
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i] = i;
        }
        const std::vector<InventoryRow> rows = ReadRows(access, all);
        if (args->json) {
            nlohmann::ordered_json items = nlohmann::ordered_json::array();
            for (const InventoryRow& row : rows) {
                items.push_back(inventory::InventoryRowJson(row));
            }
            std::cout << items.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                      << '\n';
        } else if (args->csv) {
            PrintCsv(inventory::InventoryColumns());
            for (const InventoryRow& row : rows) {
                PrintCsv(inventory::InventoryCells(row));
            }
        } else {
            if (rows.empty()) {
                std::cout << "no reader attached\n";
            }
            for (const InventoryRow& row : rows) {
                std::cout << RowText(row) << '\n';
            }
        }
        exitCode = std::any_of(rows.begin(), rows.end(),
                               [](const InventoryRow& row) { return !row.error.empty(); })
                       ? kExitFailed
                       : kExitOk;
    });
}

// One reader's verdict: the comparison, or why the reader could not be read.
struct CheckResult {
    InventoryRow row;
    inventory::ProfileComparison comparison;

    bool Matches() const { return row.error.empty() && comparison.Matches(); }
    std::string Text() const {
        return row.error.empty() ? inventory::ComparisonText(comparison)
                                 : "could not be read: " + row.error;
    }
};

nlohmann::ordered_json CheckJson(const CheckResult& result) {
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    for (const inventory::FieldDifference& difference : result.comparison.differences) {
        differences.push_back({{"field", difference.field},
                               {"reader", difference.reader},
                               {"profile", difference.profile}});
    }
    nlohmann::ordered_json item{
        {"path", result.row.path}, {"matches", result.Matches()}, {"differences", differences}};
    const std::string error = result.row.error.empty() ? result.comparison.error : result.row.error;
    item["error"] = error.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(error);
    return item;
}

void AddCheckCommand(CLI::App& app, const std::shared_ptr<GlobalOptions>& options, int& exitCode) {
    struct Args {
        std::string profile;
        bool json = false;
    };
    auto args = std::make_shared<Args>();
    CLI::App* command = app.add_subcommand(
        "check",
        "Compare the reader (or every reader) with the fields a profile names; reads "
        "only");
    command->add_option("PROFILE", args->profile, "JSON profile (as 'save FILE.json' writes)")
        ->required();
    command->add_flag("--json", args->json,
                      "Print one JSON array: per reader path, matches, differences "
                      "[{field, reader, profile}] and error");
    AddReaderOptions(*command, *options);
    command->footer(
        "One line per reader: 'reader PATH: matches' or 'reader PATH: differs: FIELD VALUE "
        "(profile VALUE), ...'.\n"
        "Exit status: 0 every reader matches, 1 a reader differs or could not be read, "
        "2 bad usage or a refused profile (nothing is read).");
    command->callback([options, args, &exitCode] {
        // A refused profile ends the command before any reader is touched.
        const nlohmann::ordered_json profile = ReadProfileFile("check", args->profile);
        ReaderAccess access(*options);
        std::vector<CheckResult> results;
        for (InventoryRow& row : ReadRows(access, access.ChosenReaders())) {
            CheckResult result{std::move(row), {}};
            if (result.row.record) {
                result.comparison = inventory::CompareWithProfile(profile, *result.row.record);
            }
            results.push_back(std::move(result));
        }
        bool allMatch = true;
        nlohmann::ordered_json items = nlohmann::ordered_json::array();
        for (const CheckResult& result : results) {
            allMatch = allMatch && result.Matches();
            if (args->json) {
                items.push_back(CheckJson(result));
            } else {
                std::cout << "reader " << Printable(result.row.path) << ": "
                          << Printable(result.Text()) << '\n';
            }
        }
        if (args->json) {
            std::cout << items.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                      << '\n';
        }
        exitCode = allMatch ? kExitOk : kExitFailed;
    });
}

}  // namespace

void AddInventoryCommands(CLI::App& app, const std::shared_ptr<GlobalOptions>& options,
                          int& exitCode) {
    AddInventoryCommand(app, options, exitCode);
    AddCheckCommand(app, options, exitCode);
}

}  // namespace zm880::cli
