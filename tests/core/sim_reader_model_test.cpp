#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "flasher/FirmwareImage.h"
#include "hid/ReportDescriptor.h"
#include "sim/ReaderModel.h"

namespace zm880::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Get(ReaderModel& reader, std::uint8_t id, std::size_t length, bool* ok = nullptr) {
    Bytes report(length, 0);
    report[0] = id;
    const bool done = reader.GetFeature(report);
    if (ok != nullptr) {
        *ok = done;
    }
    return report;
}

bool Command(ReaderModel& reader, std::uint8_t code, std::uint8_t page = 0) {
    const Bytes report = {report::Command, code, page, 0};
    return reader.SetFeature(report);
}

std::uint8_t StatusAfter(ReaderModel& reader, std::uint8_t code, std::uint8_t page = 0) {
    Command(reader, code, page);
    return Get(reader, report::Status, 2)[1];
}

// Sends one image page the way the host's loader steps do and returns the checksum the reader
// reports for it.
std::uint16_t WritePage(ReaderModel& reader, int page, std::span<const std::uint8_t, 512> bytes) {
    const auto flashPage = static_cast<std::uint8_t>(page + flasher::kFlashPageOffset);
    Command(reader, command::PageWrite, flashPage);
    for (std::size_t k = 0; k < 9; ++k) {
        Bytes data(65, 0xFF);
        data[0] = report::Data;
        for (std::size_t i = 0; i < 63 && k * 63 + i < bytes.size(); ++i) {
            data[1 + i] = bytes[k * 63 + i];
        }
        EXPECT_TRUE(reader.SetFeature(data)) << "data report " << k;
    }
    Command(reader, command::PageChecksum);
    const Bytes answer = Get(reader, report::Checksum, 3);
    return static_cast<std::uint16_t>(answer[1] | answer[2] << 8);
}

std::array<std::uint8_t, 512> Pattern(std::uint8_t seed) {
    std::array<std::uint8_t, 512> page;
    for (std::size_t i = 0; i < page.size(); ++i) {
        page[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return page;
}

TEST(SimReaderModel, AnswersWithItsStoredSettingsRecordAndKeepsWhatIsWritten) {
    ReaderModel reader;
    reader.SetReaderType(3);
    reader.SetVersionByte(42);

    const Bytes record = Get(reader, report::Data, 65);
    EXPECT_EQ(record[0], 3);
    EXPECT_EQ(record[1], 1);
    EXPECT_EQ(record[2], 42);
    EXPECT_EQ(record[3], 8) << "9600 baud";
    EXPECT_EQ(record[7], 5) << "double timeout 5 s";
    EXPECT_EQ(record[8], 3) << "reader type";
    EXPECT_EQ(record[24], 255) << "user command off";
    EXPECT_EQ(record[64], 0) << "the reader stores 64 bytes";

    Bytes written(65);
    for (std::size_t i = 0; i < written.size(); ++i) {
        written[i] = static_cast<std::uint8_t>(i + 100);
    }
    written[0] = report::Data;
    ASSERT_TRUE(reader.SetFeature(written));
    const Bytes back = Get(reader, report::Data, 65);
    EXPECT_TRUE(std::equal(back.begin() + 1, back.begin() + 64, written.begin() + 1));
    EXPECT_EQ(back[0], 3);
    EXPECT_EQ(back[64], 0);

    // A short transfer is refused, as a HID stack refuses it, and changes nothing.
    const Bytes shortWrite = {report::Data, 1, 2, 3};
    EXPECT_FALSE(reader.SetFeature(shortWrite));
    EXPECT_EQ(Get(reader, report::Data, 65), back);
}

TEST(SimReaderModel, LoaderLandsPagesInFlashAndReportsTheirChecksums) {
    ReaderModel reader;
    const auto first = Pattern(1);
    const auto last = Pattern(99);

    ASSERT_TRUE(Command(reader, command::LoaderStart));
    EXPECT_TRUE(reader.Loader().active);
    EXPECT_EQ(StatusAfter(reader, command::PagePrepare, 10), kStatusAccepted);
    EXPECT_EQ(StatusAfter(reader, command::PageCheck, 10), kStatusAccepted);
    EXPECT_EQ(WritePage(reader, 0, first), flasher::PageChecksum(first));
    EXPECT_EQ(WritePage(reader, 19, last), flasher::PageChecksum(last));
    EXPECT_EQ(StatusAfter(reader, command::LoaderEnd), kStatusAccepted);
    EXPECT_FALSE(reader.Loader().active);

    const FlashImage& flash = reader.Flash();
    EXPECT_TRUE(std::equal(first.begin(), first.end(), flash.begin()));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), flash.begin() + 19 * 512));
    EXPECT_TRUE(std::all_of(flash.begin() + 512, flash.begin() + 19 * 512,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(Get(reader, report::Data, 65)[1], 1) << "page data never touched the settings";

    // The log holds what the host sent and asked, in order.
    const auto& log = reader.TransferLog();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(log[0], (Transfer{Transfer::Kind::Set, {2, 0x34, 0, 0}, true}));
    EXPECT_EQ(log[1], (Transfer{Transfer::Kind::Set, {2, 0x01, 10, 0}, true}));
    EXPECT_EQ(log[2], (Transfer{Transfer::Kind::Get, {5, 0}, true}));
    EXPECT_EQ(log[5], (Transfer{Transfer::Kind::Set, {2, 0x03, 10, 0}, true}));
    EXPECT_EQ(log[6].bytes.size(), 65u);
    EXPECT_EQ(log[6].bytes[1], first[0]);
}

TEST(SimReaderModel, AnEmptyPageGivesTheChecksumOfErasedFlash) {
    ReaderModel reader;
    std::array<std::uint8_t, 512> erased;
    erased.fill(0xFF);
    Command(reader, command::LoaderStart);
    EXPECT_EQ(WritePage(reader, 3, erased), 0x3776);
}

TEST(SimReaderModel, StatusAnswersFollowModePageRangeAndForcedAnswers) {
    struct Case {
        const char* what;
        bool loader;
        std::uint8_t code;
        std::uint8_t flashPage;
        int expected;
    };
    const Case cases[] = {
        {"page command outside the loader", false, command::PagePrepare, 10, kStatusRefused},
        {"loader end without a start", false, command::LoaderEnd, 0, kStatusAccepted},
        {"first page", true, command::PagePrepare, 10, kStatusAccepted},
        {"last page", true, command::PagePrepare, 29, kStatusAccepted},
        {"below the image", true, command::PagePrepare, 9, kStatusLoaderRefused},
        {"above the image", true, command::PagePrepare, 30, kStatusLoaderRefused},
        {"unknown command", true, 0x07, 10, kStatusLoaderRefused},
        {"forced on page 2", true, command::PagePrepare, 12, 2},
        {"not forced on page 3", true, command::PagePrepare, 13, kStatusAccepted},
        {"forced on any page", true, command::PageCheck, 20, 6},
    };
    for (const Case& c : cases) {
        ReaderModel reader;
        reader.Faults().statusAnswers = {
            {command::PagePrepare, 2, 2},
            {command::PageCheck, std::nullopt, 6},
        };
        if (c.loader) {
            Command(reader, command::LoaderStart);
        }
        EXPECT_EQ(int{StatusAfter(reader, c.code, c.flashPage)}, c.expected) << c.what;
    }
}

TEST(SimReaderModel, WrongChecksumFaultHitsOnlyItsPage) {
    ReaderModel reader;
    reader.Faults().wrongChecksumPage = 1;
    const auto bytes = Pattern(5);
    Command(reader, command::LoaderStart);
    EXPECT_EQ(WritePage(reader, 0, bytes), flasher::PageChecksum(bytes));
    EXPECT_NE(WritePage(reader, 1, bytes), flasher::PageChecksum(bytes));
    EXPECT_EQ(WritePage(reader, 2, bytes), flasher::PageChecksum(bytes));
}

TEST(SimReaderModel, DataReportsNeedAPageWriteAndStopAfterNine) {
    ReaderModel reader;
    Bytes data(65, 0xAA);
    data[0] = report::Data;
    Command(reader, command::LoaderStart);
    EXPECT_FALSE(reader.SetFeature(data)) << "no page write command yet";

    Command(reader, command::PageWrite, 30);
    EXPECT_FALSE(reader.SetFeature(data)) << "page outside the image";

    Command(reader, command::PageWrite, 10);
    for (int k = 0; k < 9; ++k) {
        EXPECT_TRUE(reader.SetFeature(data));
    }
    EXPECT_FALSE(reader.SetFeature(data)) << "a tenth report has no place in the page";
}

TEST(SimReaderModel, ResetLeavesTheLoader) {
    ReaderModel reader;
    Command(reader, command::LoaderStart);
    Command(reader, command::PageWrite, 10);
    ASSERT_TRUE(reader.SetFeature(Bytes{report::Reset, 0, 0, 0}));
    EXPECT_FALSE(reader.Loader().active);

    Bytes settings(65, 0);
    settings[0] = report::Data;
    settings[1] = 1;
    settings[2] = 2;
    settings[3] = 3;
    ASSERT_TRUE(reader.SetFeature(settings));
    EXPECT_EQ(Get(reader, report::Data, 65), settings) << "report 3 carries settings again";
    EXPECT_TRUE(std::all_of(reader.Flash().begin(), reader.Flash().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST(SimReaderModel, FailsTransfersOfFaultyAndUndeclaredReports) {
    ReaderModel reader;
    reader.Faults().failGet = {report::Status};
    reader.Faults().failSet = {report::Data};
    bool ok = true;

    Get(reader, report::Status, 2, &ok);
    EXPECT_FALSE(ok) << "GET 5 fails";
    Get(reader, report::Data, 65, &ok);
    EXPECT_TRUE(ok) << "only SET of report 3 fails";
    EXPECT_FALSE(reader.SetFeature(Bytes{report::Data, 1}));
    EXPECT_TRUE(reader.SetFeature(Bytes{report::Command, command::LoaderStart, 0, 0}));
    Get(reader, 7, 65, &ok);
    EXPECT_FALSE(ok) << "the reader declares no report 7";
    EXPECT_FALSE(reader.SetFeature(Bytes{report::Status, 1})) << "status only answers";

    ReaderModel silent;
    silent.SetFeatureReportLength(0);
    Get(silent, report::Data, 65, &ok);
    EXPECT_FALSE(ok) << "no feature reports at all";

    const auto& log = reader.TransferLog();
    ASSERT_FALSE(log.empty());
    EXPECT_FALSE(log.front().ok) << "failed transfers are logged too";
}

// As a HID stack does, a report moves only at its declared length, or at the longest one (the
// length Windows hands every feature report over at); any other size is refused.
TEST(SimReaderModel, ReportsMoveOnlyAtTheirDeclaredOrTheLongestLength) {
    struct Case {
        std::size_t featureLength;
        std::uint8_t id;
        std::size_t size;
        bool ok;
    };
    const Case cases[] = {
        {65, report::Status, 2, true},   {65, report::Status, 65, true},
        {65, report::Status, 3, false},  {65, report::Checksum, 3, true},
        {65, report::Checksum, 2, false}, {65, report::Data, 65, true},
        {65, report::Data, 64, false},   {129, report::Data, 129, true},
        {129, report::Data, 65, false},  {33, report::Data, 33, true},
        {33, report::Data, 64, false},   {65, report::Command, 4, true},
        {65, report::Command, 64, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "length " << c.featureLength << ", report " << int{c.id}
                                        << " of " << c.size << " bytes");
        ReaderModel reader;
        reader.SetFeatureReportLength(c.featureLength);
        bool got = false;
        Get(reader, c.id, c.size, &got);
        EXPECT_EQ(got, c.ok);
        Bytes report(c.size, 0);
        report[0] = c.id;
        if (c.id != report::Status && c.id != report::Checksum) {
            EXPECT_EQ(reader.SetFeature(report), c.ok);
        }
    }
}

TEST(SimReaderModel, DescriptorDeclaresTheConfiguredFeatureLength) {
    for (std::size_t length : {std::size_t{0}, std::size_t{2}, std::size_t{4}, std::size_t{65},
                               std::size_t{66}, std::size_t{300}, kMaxFeatureReportLength}) {
        ReaderModel reader;
        reader.SetFeatureReportLength(length);
        const auto caps = hid::ComputeCaps(reader.ReportDescriptor());
        ASSERT_TRUE(caps.has_value()) << length;
        EXPECT_EQ(caps->FeatureReportByteLength, length);
        EXPECT_EQ(caps->InputReportByteLength, 0);
        EXPECT_EQ(caps->OutputReportByteLength, 0);
    }
    ReaderModel reader;
    EXPECT_THROW(reader.SetFeatureReportLength(kMaxFeatureReportLength + 1), std::invalid_argument);
}

}  // namespace
}  // namespace zm880::sim
