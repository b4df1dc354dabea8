#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reader/ReaderSession.h"

namespace zm880 {

// Number of byte cells: one per payload byte of the longest feature report.
inline constexpr std::size_t kByteCellCount = kMaxFeatureReportLength - 1;

// The reset report, sent from its own bytes with length 4 whatever the reader's report length.
inline constexpr std::array<std::uint8_t, 4> kResetReport = {0x06, 0x00, 0x00, 0x00};

// One history line: `kind` ('R' or 'W'), the report ID and two blanks, then every payload byte
// followed by one blank, all as two upper-case hexadecimal digits.
std::string HistoryLine(char kind, std::span<const std::uint8_t> report);

// The raw feature-report console on a session's report buffer: reads a report into the byte
// cells, writes the cells back, sends the reset report, and keeps one history line per transfer
// that went through. Cells and the report ID are text, read with the hexadecimal input rules.
class RawConsole {
  public:
    explicit RawConsole(ReaderSession& session) : session_(session) {}

    // Reads the report `reportIdText` names from the selected reader. On success cells 0 to
    // length - 2 show the payload and a history line is added; otherwise nothing changes and
    // the result says why.
    TransferResult Read(std::string_view reportIdText, std::span<std::string> cells);

    // Writes the cells as one feature report to the device of the last transfer (nothing when
    // there is none). `reportIdText` and the cells that are sent are normalised to two digits.
    // The history line is added only when the reader took the report.
    TransferResult Write(std::string& reportIdText, std::span<std::string> cells);

    // Sends the reset report to the selected reader, which becomes the device of the last
    // transfer. No history line.
    TransferResult Reset();

    // How many cells a reader of this feature report length shows, and whether it can be
    // written to at all.
    static std::size_t VisibleCells(std::size_t featureLength);
    static bool CanWrite(std::size_t featureLength);

    const std::vector<std::string>& History() const { return history_; }
    void ClearHistory() { history_.clear(); }

  private:
    ReaderSession& session_;
    std::vector<std::string> history_;
};

}  // namespace zm880
