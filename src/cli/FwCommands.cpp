#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>
#include <system_error>

#include "cli/Cli.h"
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

// Reads the update file or ends the command with its fault (exit code 1).
flasher::FirmwareImage ReadOrFail(const std::string& path, flasher::HexReadResult& result) {
    flasher::FirmwareImage image;
    result = flasher::ReadUpdateFile(path, image);
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
    std::printf("%s: valid, data in %zu of %zu pages\n", options.file.c_str(),
                result.pagesTouched.count(), flasher::kPageCount);
    PrintPages(image, result);
}

// Writes beside the target and renames, so the target is either the old file or the whole image.
void WriteAtomically(const std::string& path, const flasher::FirmwareImage& image) {
    std::random_device random;
    const std::string temp = path + ".tmp" + std::to_string(random());
    std::error_code error;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
        out.close();
        if (!out) {
            error = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
        }
    }
    if (!error) {
        std::filesystem::rename(temp, path, error);
    }
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw CommandError(kExitFailed, "cannot write " + path + ": " + error.message());
    }
}

void RunImage(const FwOptions& options) {
    flasher::HexReadResult result;
    const flasher::FirmwareImage image = ReadOrFail(options.file, result);
    WriteAtomically(options.output, image);
    std::printf("%s: %zu bytes written, data from %s in %zu of %zu pages\n", options.output.c_str(),
                image.size(), options.file.c_str(), result.pagesTouched.count(),
                flasher::kPageCount);
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
    image->add_option("-o,--output", options->output, "Binary image file to write")->required();
    image->callback([options] { RunImage(*options); });
}

}  // namespace zm880::cli
