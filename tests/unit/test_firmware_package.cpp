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
        {"header unreadable", TestPackage::kShippedRecord, 1, L"ISP error 60!"},
        {"trailer unreadable", TestPackage::kShippedRecord, 2, L"ISP error 60!"},
        {"no 5A", "5B/E117/2021/05/26/KR/10c4/f607/3/", 0, L"ISP error 61!"},
        {"no KR", "5A/E117/2021/05/26/KX/10c4/f607/3/", 0, L"ISP error 61!"},
        {"bad vid", "5A/E117/2021/05/26/KR/10g4/f607/3/", 0, L"ISP error 64!"},
        {"bad vid and pid", "5A/E117/2021/05/26/KR/10g4/f6x7/3/", 0, L"ISP error 64!"},
        {"bad pid", "5A/E117/2021/05/26/KR/10c4/f6x7/3/", 0, L"ISP error 65!"},
        {"window unreadable", TestPackage::kShippedRecord, 3, L"ISP error 62!"},
        {"image 0 unreadable", TestPackage::kShippedRecord, 4, L"ISP error 63!"},
        {"image 4 unreadable", TestPackage::kShippedRecord, 5, L"ISP error 63!"},
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
    EXPECT_EQ(noExecutable.reads, 2U) << "only the header and the trailer are read";

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

namespace {

// The shipped package in an executable with a 64-bit PE header, unsigned.
TestPackage ShippedWithHeader(bool pe32Plus = true) {
    TestPackage package = Shipped();
    package.PutPeHeader(pe32Plus);
    return package;
}

// What a good load of the shipped layout gives, wherever the file ends.
void ExpectShippedTable(const TestPackage& unsigned_, const Loaded& loaded, const char* name) {
    EXPECT_EQ(loaded.table.m_dwPackageFileSize, unsigned_.recordAt[5] + 34) << name;
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(loaded.table.m_dwImageLength[k], kShippedLengths[k]) << name << ", image " << k;
        EXPECT_EQ(loaded.table.m_dwImageOffset[k], unsigned_.recordAt[k] + 34)
            << name << ", image " << k;
    }
    EXPECT_EQ(loaded.table.m_wImage0Sum, unsigned_.Sum(0, kShippedLengths[0])) << name;
    EXPECT_EQ(loaded.table.m_wImage4Sum, unsigned_.Sum(4, kShippedLengths[4])) << name;
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:E117C Code Ver:E117  2021/05/26") << name;
    EXPECT_EQ(loaded.vid, 0x10C4) << name;
    EXPECT_EQ(loaded.pid, 0xF607) << name;
}

void ExpectEmptyTable(const Loaded& loaded, const char* name) {
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(loaded.table.m_dwImageLength[k], 0U) << name << ", image " << k;
        EXPECT_EQ(loaded.table.m_dwImageOffset[k], 0U) << name << ", image " << k;
    }
    EXPECT_EQ(loaded.table.m_wImage0Sum, 0) << name;
    EXPECT_EQ(loaded.table.m_wImage4Sum, 0) << name;
}

}  // namespace

TEST(FirmwarePackage, SignedLayouts) {
    using Change = void (*)(TestPackage&);
    const struct {
        const char* name;
        Change sign;
        std::wstring line;  // empty: the shipped image table loads
        bool pe32Plus = true;
        std::uint64_t failingRead = 0;
    } cases[] = {
        // A signing tool's layouts: the table, 8-byte aligned, ends the file.
        {"table at the end, 5 bytes of padding", [](TestPackage& p) { p.AppendSignature(5); }, L""},
        {"table right after the trailer", [](TestPackage& p) { p.AppendSignature(0); }, L""},
        {"7 bytes of padding", [](TestPackage& p) { p.AppendSignature(7); }, L""},
        {"32-bit header", [](TestPackage& p) { p.AppendSignature(5); }, L"", false},
        {"two certificates in the table",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5, 4096);
             p.PutLe32(at, 2048);
             p.PutLe32(at + 2048, 2048);
         },
         L""},
        // The table's bytes are not the package's: a record pattern inside it
        // is neither a seventh record nor the trailer.
        {"record pattern inside the table",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5, 4096);
             p.Put(at + 100, TestPackage::kShippedRecord);
             p.Put(at + 4096 - 100, TestPackage::kShippedRecord);
         },
         L""},
        // Nothing in the table is read, not even a trailer that ends the file,
        // nor a whole package of its own that fills the search window there.
        {"trailer pattern at the end of the table",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5, 4096);
             p.Put(at + 4096 - 34, TestPackage::kShippedRecord);
         },
         L""},
        {"a complete package inside the table",
         [](TestPackage& p) {
             const TestPackage hidden = TestPackage::Build(0, {100, 100, 100, 100, 100},
                                                           "5A/V999/2030/01/01/KR/10c4/f607/3/");
             const std::size_t size = package::kSearchWindowSize + 8192;
             const std::size_t at = p.AppendSignature(5, size);
             std::copy(
                 hidden.bytes.begin(), hidden.bytes.end(),
                 p.bytes.begin() + static_cast<std::ptrdiff_t>(at + size - hidden.bytes.size()));
         },
         L""},
        // Signed first and appended after: the table no longer ends the file.
        {"signature before the package", [](TestPackage& p) { p.PutSecurityEntry(100000, 4096); },
         L"ISP file error 66!"},

        // A table placed as a signing tool places it, without a trailer before it.
        {"8 bytes of padding", [](TestPackage& p) { p.AppendSignature(8); }, L"ISP error 61!"},
        {"padding that is not zero",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.bytes[at - 3] = 0x01;
         },
         L"ISP error 61!"},
        // A table that does not lie inside the file and end it: nobody can
        // tell where the signed bytes end.
        {"entry of size 0",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(at), 0);
         },
         L"ISP file error 66!"},
        {"no entry at all", [](TestPackage& p) { p.bytes.resize(p.bytes.size() + 4096, 0x30); },
         L"ISP error 61!"},
        {"entry pointing beyond the file",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(p.bytes.size() + 8), 4096);
         },
         L"ISP file error 66!"},
        {"entry whose size reaches beyond the file",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(at), 4096 + 8);
         },
         L"ISP file error 66!"},
        {"entry whose end wraps past 4 GiB",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(at), 0xFFFFFFF8U);
         },
         L"ISP file error 66!"},
        {"entry not at the end",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(at), 4096 - 8);
         },
         L"ISP file error 66!"},
        {"entry overlapping the trailer",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutSecurityEntry(static_cast<std::uint32_t>(at - 5 - 20),
                                static_cast<std::uint32_t>(p.bytes.size() - (at - 5 - 20)));
             p.PutLe32(at - 5 - 20, 8);
         },
         L"ISP error 61!"},
        {"entry pointing into the headers",
         [](TestPackage& p) {
             p.AppendSignature(5);
             const auto at = static_cast<std::uint32_t>(p.HeadersEnd() - 8);
             p.PutSecurityEntry(at, static_cast<std::uint32_t>(p.bytes.size() - at));
             p.PutLe32(at, 8);
         },
         L"ISP file error 66!"},
        // What the table holds is the signature's business: not even its first
        // certificate header is read.
        {"certificate longer than the table",
         [](TestPackage& p) {
             const std::size_t at = p.AppendSignature(5);
             p.PutLe32(at, 4096 + 1);
         },
         L""},
        {"table shorter than a certificate header",
         [](TestPackage& p) {
             p.bytes.insert(p.bytes.end(), 5, 0);
             const std::size_t at = p.bytes.size();
             p.bytes.insert(p.bytes.end(), {4, 0, 0, 0});
             p.PutSecurityEntry(static_cast<std::uint32_t>(at), 4);
         },
         L"ISP file error 66!"},

        // Headers that are cut short or damaged are never read past.
        {"PE header past the end of the file",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutLe32(0x3C, static_cast<std::uint32_t>(p.bytes.size() - 30));
         },
         L"ISP error 61!"},
        {"PE header pointer wraps past 4 GiB",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutLe32(0x3C, 0xFFFFFFF0U);
         },
         L"ISP error 61!"},
        {"optional header too short for the security entry",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutLe16(TestPackage::kPeHeaderAt + 20, 112 + 4 * 8 + 7);
         },
         L"ISP error 61!"},
        {"fewer than five data directories",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutLe32(TestPackage::kOptionalHeaderAt + 108, 4);
         },
         L"ISP error 61!"},
        {"no MZ",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.Put(0, "ZM");
         },
         L"ISP error 61!"},
        {"no PE signature",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.Put(TestPackage::kPeHeaderAt + 2, "x");
         },
         L"ISP error 61!"},
        {"unknown optional header",
         [](TestPackage& p) {
             p.AppendSignature(5);
             p.PutLe16(TestPackage::kOptionalHeaderAt, 0x107);
         },
         L"ISP error 61!"},
        {"header unreadable", [](TestPackage& p) { p.AppendSignature(5); }, L"ISP error 60!", true,
         2},

        // Every rule applies to the file as if it ended where the table begins.
        {"trailer before the table unreadable", [](TestPackage& p) { p.AppendSignature(5); },
         L"ISP error 60!", true, 4},
        {"window before the table unreadable", [](TestPackage& p) { p.AppendSignature(5); },
         L"ISP error 62!", true, 5},
        {"bad product ID before the table",
         [](TestPackage& p) {
             p.Put(p.recordAt[5], "5A/E117/2021/05/26/KR/10c4/f6x7/3/");
             p.AppendSignature(5);
         },
         L"ISP error 65!"},
        {"a stray record before the table",
         [](TestPackage& p) {
             p.Put(p.imageAt[2] + 1000, "5A");
             p.Put(p.imageAt[2] + 1019, "KR");
             p.AppendSignature(5);
         },
         L"ISP error 63!"},
    };
    for (const auto& c : cases) {
        TestPackage package = ShippedWithHeader(c.pe32Plus);
        const TestPackage unsigned_ = package;
        c.sign(package);
        const Loaded loaded = Load(package.bytes, c.failingRead);
        EXPECT_EQ(loaded.result.LogLine(), c.line) << c.name;
        if (c.line.empty()) {
            ExpectShippedTable(unsigned_, loaded, c.name);
        } else {
            ExpectEmptyTable(loaded, c.name);
        }
    }
}

TEST(FirmwarePackage, SignedFileShorterThanTheWindowBeforeItsTable) {
    // 530,000 bytes with the table, 511,311 without: the window would start
    // before the file the package ends, whatever follows it.
    TestPackage package = TestPackage::Build(84000, kShippedLengths);
    package.PutPeHeader();
    package.AppendSignature(1, 530000 - 511312);
    ASSERT_GE(package.bytes.size(), package::kSearchWindowSize);
    const Loaded loaded = Load(package.bytes);
    EXPECT_EQ(loaded.result.LogLine(), L"ISP error 62!");
    ExpectEmptyTable(loaded, "short before the table");
}

TEST(FirmwarePackage, UnsignedFileWithAHeaderReadsAsBefore) {
    // A header that names no table: the file is read with the same reads as a
    // file without a header, and one more for the header itself.
    TestPackage package = ShippedWithHeader();
    const Loaded plain = Load(package.bytes);
    ASSERT_TRUE(plain.result.Ok());
    ExpectShippedTable(package, plain, "unsigned");
    EXPECT_EQ(plain.reads, Load(Shipped().bytes).reads + 1);

    // Once a table is named, the trailer at the file's end no longer settles
    // it: a table over the trailer leaves no package before it.
    package.PutSecurityEntry(static_cast<std::uint32_t>(package.bytes.size() - 20), 20);
    EXPECT_EQ(Load(package.bytes).result.LogLine(), L"ISP error 61!");
}
