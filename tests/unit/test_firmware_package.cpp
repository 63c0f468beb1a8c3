#include <gtest/gtest.h>

#include <string>

#include "package/FirmwarePackage.h"
#include "tests/support/MemoryPackageFile.h"
#include "tests/support/PackageBuilder.h"

using package::ImageTable;
using package::LoadResult;

namespace {

constexpr std::array<std::size_t, 5> kShippedLengths{17843, 8192, 262144, 512, 138416};
constexpr std::size_t kExecutableBytes = 200000;

struct Loaded {
    LoadResult result;
    ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::uint64_t reads = 0;
};

Loaded Load(std::vector<std::uint8_t> bytes, std::uint64_t failingRead = 0) {
    MemoryPackageFile file(std::move(bytes));
    file.FailRead(failingRead);
    Loaded loaded;
    loaded.result = package::LoadPackage(file, loaded.table, loaded.vid, loaded.pid);
    loaded.reads = file.Reads();
    return loaded;
}

TestPackage Shipped(std::string_view record = TestPackage::kShippedRecord) {
    return TestPackage::Build(kExecutableBytes, kShippedLengths, record);
}

// A file of zeros of the given size holding only the bytes that make a record
// match at each position, and a complete trailer record at its end.
std::vector<std::uint8_t> PatternFile(std::size_t size, const std::vector<std::size_t>& positions) {
    std::vector<std::uint8_t> bytes(size, 0);
    for (const std::size_t p : positions) {
        bytes[p] = '5';
        bytes[p + 1] = 'A';
        bytes[p + 19] = 'K';
        bytes[p + 20] = 'R';
    }
    const auto record = TestPackage::kShippedRecord;
    std::copy(record.begin(), record.end(), bytes.end() - 34);
    return bytes;
}

}  // namespace

TEST(FirmwarePackage, ShippedLayoutGivesTheImageTable) {
    const TestPackage package = Shipped();
    const Loaded loaded = Load(package.bytes);

    ASSERT_TRUE(loaded.result.Ok())
        << std::string(loaded.result.LogLine().begin(), loaded.result.LogLine().end());
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:E117C Code Ver:E117  2021/05/26");
    EXPECT_EQ(loaded.table.m_dwPackageFileSize, package.bytes.size());
    EXPECT_EQ(package.bytes.size() - kExecutableBytes, 427311U);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(loaded.table.m_dwImageLength[k], kShippedLengths[k]) << "image " << k;
        EXPECT_EQ(loaded.table.m_dwImageOffset[k], package.recordAt[k] + 34) << "image " << k;
    }
    EXPECT_EQ(loaded.table.m_wImage0Sum, package.Sum(0, kShippedLengths[0]));
    EXPECT_EQ(loaded.table.m_wImage4Sum, package.Sum(4, kShippedLengths[4]));
    EXPECT_EQ(loaded.table.m_byCodeVersion, (std::array<std::uint8_t, 4>{'E', 1, 1, 7}));
    EXPECT_EQ(loaded.table.m_chUpdatePlan, '3');
    EXPECT_EQ(loaded.vid, 0x10C4);
    EXPECT_EQ(loaded.pid, 0xF607);
    EXPECT_EQ(loaded.result.LogLine(), L"");
}

TEST(FirmwarePackage, ParseHex4AcceptsOnlyFourHexDigits) {
    const struct {
        const char* text;
        int result;
        std::uint16_t value;
    } cases[] = {
        {"10C4", 0, 0x10C4}, {"10c4", 0, 0x10C4}, {"f607", 0, 0xF607}, {"FFFF", 0, 0xFFFF},
        {"0000", 0, 0x0000}, {"aBcD", 0, 0xABCD}, {"10G4", 1, 0x5555}, {"10c ", 1, 0x5555},
        {"+123", 1, 0x5555}, {"12/4", 1, 0x5555}, {"g000", 1, 0x5555}, {"000:", 1, 0x5555},
    };
    for (const auto& c : cases) {
        std::uint16_t value = 0x5555;
        EXPECT_EQ(package::ParseHex4(c.text, &value), c.result) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(FirmwarePackage, NumberedFailuresInTheOrderOfTheTests) {
    const struct {
        const char* name;
        std::string_view record;
        int failingRead;
        std::wstring line;
    } cases[] = {
        {"trailer unreadable", TestPackage::kShippedRecord, 1, L"ISP error 60!"},
        {"no 5A", "5B/E117/2021/05/26/KR/10c4/f607/3/", 0, L"ISP error 61!"},
        {"no KR", "5A/E117/2021/05/26/KX/10c4/f607/3/", 0, L"ISP error 61!"},
        {"bad vid", "5A/E117/2021/05/26/KR/10g4/f607/3/", 0, L"ISP error 64!"},
        {"bad vid and pid", "5A/E117/2021/05/26/KR/10g4/f6x7/3/", 0, L"ISP error 64!"},
        {"bad pid", "5A/E117/2021/05/26/KR/10c4/f6x7/3/", 0, L"ISP error 65!"},
        {"window unreadable", TestPackage::kShippedRecord, 2, L"ISP error 62!"},
        {"image 0 unreadable", TestPackage::kShippedRecord, 3, L"ISP error 63!"},
        {"image 4 unreadable", TestPackage::kShippedRecord, 4, L"ISP error 63!"},
    };
    for (const auto& c : cases) {
        // Only the trailer's magic is ever compared, so the other records keep theirs.
        TestPackage package = Shipped();
        package.Put(package.recordAt[5], c.record);
        const Loaded loaded = Load(package.bytes, c.failingRead);
        EXPECT_EQ(loaded.result.LogLine(), c.line) << c.name;
    }
}

TEST(FirmwarePackage, IdsStoredBeforeAFailureKeepTheirValues) {
    TestPackage package = Shipped("5A/E117/2021/05/26/KR/10c4/f6x7/3/");
    Loaded loaded = Load(package.bytes);
    EXPECT_EQ(loaded.result.code, package::kErrorPid);
    EXPECT_EQ(loaded.vid, 0x10C4);
    EXPECT_EQ(loaded.pid, 0);

    package.Put(package.recordAt[5], "5A/E117/2021/05/26/KR/10z4/f607/3/");
    loaded = Load(package.bytes);
    EXPECT_EQ(loaded.result.code, package::kErrorVid);
    EXPECT_EQ(loaded.vid, 0);
    EXPECT_EQ(loaded.pid, 0) << "the product ID is not parsed after a bad vendor ID";
}

TEST(FirmwarePackage, FilesTooShortForTheWindowOrTheTrailer) {
    // 427,311 bytes of package and nothing before it: the window would start before the file.
    const Loaded noExecutable = Load(TestPackage::Build(0, kShippedLengths).bytes);
    EXPECT_EQ(noExecutable.result.LogLine(), L"ISP error 62!");
    EXPECT_EQ(noExecutable.reads, 1U) << "only the trailer is read";

    EXPECT_EQ(Load(PatternFile(34, {})).result.LogLine(), L"ISP error 62!");
    EXPECT_EQ(Load(std::vector<std::uint8_t>(33, '5')).result.LogLine(), L"ISP error 60!");
    EXPECT_EQ(Load({}).result.LogLine(), L"ISP error 60!");
}

TEST(FirmwarePackage, OnlyExactlySixRecordsInTheWindowAreAccepted) {
    TestPackage inImage = Shipped();
    inImage.Put(inImage.imageAt[2] + 1000, "5A");
    inImage.Put(inImage.imageAt[2] + 1019, "KR");
    EXPECT_EQ(Load(inImage.bytes).result.LogLine(), L"ISP error 63!");

    const std::size_t windowStart = Shipped().bytes.size() - package::kSearchWindowSize;
    TestPackage inExecutableTail = Shipped();
    inExecutableTail.Put(windowStart, "5A");
    inExecutableTail.Put(windowStart + 19, "KR");
    EXPECT_EQ(Load(inExecutableTail.bytes).result.LogLine(), L"ISP error 63!");

    // A pattern whose "KR" would lie past the window's start is outside it.
    TestPackage beforeWindow = Shipped();
    beforeWindow.Put(windowStart - 1, "5A");
    beforeWindow.Put(windowStart + 18, "KR");
    EXPECT_TRUE(Load(beforeWindow.bytes).result.Ok());

    // A package longer than the window loses its first record: five are found.
    const auto tooLong = TestPackage::Build(1000, {17843, 8192, 262144 + 100000, 512, 138416});
    EXPECT_EQ(Load(tooLong.bytes).result.LogLine(), L"ISP error 63!");
}

TEST(FirmwarePackage, RecordsWithoutRoomForAnImageAreAFileError) {
    const auto adjacent = TestPackage::Build(kExecutableBytes, {17843, 0, 262144, 512, 138416});
    EXPECT_EQ(Load(adjacent.bytes).result.LogLine(), L"ISP file error 63!");

    // Records overlapping each other: ten bytes apart, which would give a negative length.
    const std::size_t size = 600000;
    const std::size_t base = size - package::kSearchWindowSize + 100;
    const auto overlapping =
        PatternFile(size, {base, base + 10, base + 5000, base + 9000, base + 20000});
    EXPECT_EQ(Load(overlapping).result.LogLine(), L"ISP file error 63!");
}

TEST(FirmwarePackage, VersionFieldsAreTakenAsTheyStand) {
    Loaded loaded = Load(Shipped("5A/V205/2021/05/26/KR/10c4/f607/2/").bytes);
    ASSERT_TRUE(loaded.result.Ok());
    EXPECT_EQ(loaded.table.m_byCodeVersion, (std::array<std::uint8_t, 4>{'V', 2, 0, 5}));
    EXPECT_EQ(loaded.table.m_chUpdatePlan, '2');

    // Non-digits wrap; damaged separators and dates do not stop the load.
    loaded = Load(Shipped("5A-LA /-2021-5-26!-KR-10C4-F607x /").bytes);
    ASSERT_TRUE(loaded.result.Ok());
    EXPECT_EQ(loaded.table.m_byCodeVersion, (std::array<std::uint8_t, 4>{'L', 0x11, 0xF0, 0xFF}));
    EXPECT_EQ(loaded.table.m_chUpdatePlan, ' ');
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:LA /C Code Ver:LA /  2021-5-26!");
}

TEST(FirmwarePackage, ImageReadsStayInsideTheirImage) {
    const TestPackage package = Shipped();
    MemoryPackageFile file(package.bytes);
    ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    ASSERT_TRUE(package::LoadPackage(file, table, vid, pid).Ok());

    std::array<std::uint8_t, 59> chunk{};
    ASSERT_TRUE(package::ReadImageBytes(file, table, 3, 512 - 59, chunk));
    EXPECT_TRUE(
        std::equal(chunk.begin(), chunk.end(),
                   package.bytes.begin() + static_cast<long>(package.imageAt[3] + 512 - 59)));

    EXPECT_FALSE(package::ReadImageBytes(file, table, 3, 512 - 58, chunk)) << "one byte past";
    EXPECT_FALSE(package::ReadImageBytes(file, table, 3, 0xFFFFFFF0U, chunk))
        << "wrapping position";
    EXPECT_FALSE(package::ReadImageBytes(file, table, 5, 0, chunk));
    EXPECT_FALSE(package::ReadImageBytes(file, table, -1, 0, chunk));
    EXPECT_TRUE(package::ReadImageBytes(file, table, 3, 512, std::span<std::uint8_t>{}));
}
