#include "diag/RawConsole.h"

#include "reader/HexText.h"

namespace zm880 {

std::string HistoryLine(char kind, std::span<const std::uint8_t> report) {
    std::string line{kind, ' '};
    if (report.empty()) {
        return line;
    }
    line += HexByte(report[0]) + "  ";
    for (std::uint8_t byte : report.subspan(1)) {
        line += HexByte(byte) + ' ';
    }
    return line;
}

std::size_t RawConsole::VisibleCells(std::size_t featureLength) {
    return CanWrite(featureLength) ? featureLength - 1 : 0;
}

bool RawConsole::CanWrite(std::size_t featureLength) {
    return featureLength != 0 && featureLength <= kMaxFeatureReportLength;
}

TransferResult RawConsole::Read(std::string_view reportIdText, std::span<std::string> cells) {
    const std::uint8_t reportId = ParseHexInput(reportIdText);
    TransferResult result = session_.ReadRawReport(reportId);
    if (!result.Ok) {
        return result;
    }
    ReportBuffer& buffer = session_.Buffer();
    // The line shows the ID that was asked for, whatever the reader put in byte 0.
    buffer[0] = reportId;
    const std::size_t length = result.Length;
    for (std::size_t i = 1; i < length && i - 1 < cells.size(); ++i) {
        cells[i - 1] = HexByte(buffer[i]);
    }
    history_.push_back(HistoryLine('R', std::span(buffer).first(length)));
    return result;
}

TransferResult RawConsole::Write(std::string& reportIdText, std::span<std::string> cells) {
    const ReaderDevice device = session_.CurrentDevice();
    if (!device) {
        return {.Message = "no reader has been read from, written to or reset yet"};
    }
    ReportBuffer& buffer = session_.Buffer();
    buffer[0] = ParseHexInput(reportIdText);
    reportIdText = HexByte(buffer[0]);

    const std::size_t length = ReaderSession::FeatureLength(device);
    if (const std::string problem = ReaderSession::LengthProblem(length); !problem.empty()) {
        return {.Selected = true, .Length = length, .Message = problem};
    }
    // Cells beyond the report are neither read nor changed; cells the caller lacks count as empty.
    for (std::size_t i = 1; i < length; ++i) {
        const std::size_t cell = i - 1;
        buffer[i] = cell < cells.size() ? ParseHexInput(cells[cell]) : 0;
        if (cell < cells.size()) {
            cells[cell] = HexByte(buffer[i]);
        }
    }
    TransferResult result = ReaderSession::WriteFeatureTo(device, buffer, length);
    if (result.Ok) {
        history_.push_back(HistoryLine('W', std::span(buffer).first(length)));
    }
    return result;
}

TransferResult RawConsole::Reset() {
    if (!session_.SelectedDevice()) {
        return {.Message = "no reader is attached"};
    }
    session_.TakeSelectedAsCurrent();
    return ReaderSession::WriteFeatureTo(session_.CurrentDevice(), kResetReport,
                                         kResetReport.size());
}

}  // namespace zm880
