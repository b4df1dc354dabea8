#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "cli/FileAccess.h"
#include "cli/Printable.h"
#include "flasher/FirmwareImage.h"
#include "flasher/IntelHex.h"

namespace zm880::cli {

namespace {

struct FwOptions {
    std::string file;
    std::string output;
};

constexpr const char* kFileHelp =
    "Intel HEX update file; records are placed by their 16-bit load address, bytes outside "
    "0x1400-0x3BFF are left out";

// An update file fills a 10240-byte image; this leaves room for any comments and line ends while
// keeping a wrong file from exhausting memory.
constexpr std::uintmax_t kUpdateFileReadLimit = 16 << 20;

// Reads the update file or ends the command with its fault (exit code 1).
flasher::FirmwareImage ReadOrFail(const std::string& path, flasher::HexReadResult& result) {
    const std::vector<std::uint8_t> bytes = ReadInputFile("", path, kUpdateFileReadLimit);
    flasher::FirmwareImage image;
    result = flasher::ParseUpdateText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), image);
    if (!result.ok()) {
        throw CommandError(kExitFailed,
                           result.line != 0 ? path + ": " + result.reason : result.reason);
    }
    return image;
}

void PrintPages(const flasher::FirmwareImage& image, const flasher::HexReadResult& result) {
    std::printf("page  address  checksum  data\n");
    for (std::size_t page = 0; page < flasher::kPageCount; ++page) {
        std::printf("%4zu  0x%04zX   0x%04X    %s\n", page,
                    flasher::kImageBase + page * flasher::kPageSize,
                    static_cast<unsigned>(flasher::PageChecksum(flasher::ImagePage(image, page))),
                    result.pagesTouched.test(page) ? "yes" : "-");
    }
}

void RunCheck(const FwOptions& options) {
    flasher::HexReadResult result;
    const flasher::FirmwareImage image = ReadOrFail(options.file, result);
    std::cout << Printable(options.file) << ": valid, data in " << result.pagesTouched.count()
              << " of " << flasher::kPageCount << " pages\n";
    PrintPages(image, result);
}

void RunImage(const FwOptions& options) {
    flasher::HexReadResult result;
    const flasher::FirmwareImage image = ReadOrFail(options.file, result);
    WriteOutputFile("", options.output, image);
    ReportStream(options.output) << Printable(options.output) << ": " << image.size()
                                 << " bytes written, data from " << Printable(options.file)
                                 << " in " << result.pagesTouched.count() << " of "
                                 << flasher::kPageCount << " pages\n";
}

}  // namespace

void AddFwCommands(CLI::App& app, int& /*exitCode*/) {
    CLI::App* fw =
        app.add_subcommand("fw", "Check firmware update files (*.hex) and build flash images");
    fw->require_subcommand(1);
    fw->footer(
        "The flash image is 10240 bytes (20 pages of 512) from address 0x1400, filled with 0xFF.\n"
        "An update file is refused (exit code 1) when a record's checksum is wrong, a field holds\n"
        "a character that is not a hex digit, a line is too short for its byte count or has text\n"
        "after its checksum, a line with a non-zero count does not start with ':', or a line is\n"
        "empty. Record types are not looked at: extended-address records have no effect, and\n"
        "records after the end-of-file record are used. A later record overwrites an earlier one.");

    auto options = std::make_shared<FwOptions>();

    CLI::App* check = fw->add_subcommand(
        "check",
        "Validate an update file and show each flash page's checksum and whether the "
        "file puts data in it; exit code 1 names the faulty line");
    check->add_option("FILE", options->file, kFileHelp)->required();
    check->callback([options] { RunCheck(*options); });

    CLI::App* image = fw->add_subcommand(
        "image", "Write the 10240-byte flash image of an update file (replaced atomically)");
    image->add_option("FILE", options->file, kFileHelp)->required();
    image
        ->add_option("-o,--output", options->output,
                     "Binary image file to write; - for standard output, the summary line then "
                     "goes to standard error")
        ->required();
    image->callback([options] { RunImage(*options); });
}

}  // namespace zm880::cli
