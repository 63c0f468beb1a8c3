#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "package/FirmwarePackage.h"
#include "package/PackageWriter.h"
#include "package/StdPackageFile.h"
#include "package/sample/SampleImages.h"
#include "tests/support/MemoryPackageFile.h"
#include "tests/support/PackageBuilder.h"

namespace fs = std::filesystem;
using package::PackageWriter;
using package::SampleImages;
using package::WriterError;

namespace {

constexpr std::string_view kRecord = "5A/E117/2021/05/26/KR/10c4/f607/3/";
constexpr std::size_t kWindow = package::kSearchWindowSize;
constexpr std::size_t kRecordSize = package::kRecordSize;

std::vector<std::uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Small images that never hold a "5", so they cannot form the record pattern.
PackageWriter::Images SmallImages() {
    const std::array<std::size_t, 5> lengths{100, 20, 300, 1, 50};
    PackageWriter::Images images;
    for (std::size_t k = 0; k < images.size(); ++k) {
        for (std::size_t i = 0; i < lengths[k]; ++i) {
            images[k].push_back(static_cast<std::uint8_t>(0x60 + (i * 7 + k) % 32));
        }
    }
    return images;
}

// An executable long enough on its own to fill the search window.
std::vector<std::uint8_t> Executable(std::size_t size = kWindow) {
    return std::vector<std::uint8_t>(size, 0x90);
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void PutPattern(std::vector<std::uint8_t>& bytes, std::size_t offset) {
    Put(bytes, offset, "5A");
    Put(bytes, offset + 19, "KR");
}

std::string WithBytes(std::string_view record, std::size_t offset, std::string_view text) {
    std::string changed(record);
    changed.replace(offset, text.size(), text);
    return changed;
}

std::uint16_t Sum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<std::uint16_t>(sum);
}

std::size_t PackageSize(const PackageWriter::Images& images) {
    std::size_t size = 6 * kRecordSize;
    for (const auto& image : images) {
        size += image.size();
    }
    return size;
}

// The executable with a PE header, signed as a signing tool signs it.
std::vector<std::uint8_t> Signed(std::vector<std::uint8_t> executable) {
    TestPackage file{.bytes = std::move(executable)};
    file.PutPeHeader();
    file.AppendSignature(0, 4096);
    return file.bytes;
}

struct Draft {
    std::string record{kRecord};
    PackageWriter::Images images = SmallImages();
    std::vector<std::uint8_t> executable = Executable();

    package::WriterOutcome Check() const {
        return PackageWriter(Bytes(record), images).Check(executable);
    }
};

struct Refusal {
    const char* name;
    std::function<void(Draft&)> damage;
    WriterError error;
    std::string message;  // part of the one-line message
};

void PrintTo(const Refusal& refusal, std::ostream* out) {
    *out << refusal.name;
}

const Refusal kRefusals[] = {
    {"RecordOneByteShort", [](Draft& d) { d.record.pop_back(); }, WriterError::kRecordLength,
     "the record is 33 bytes long"},
    {"RecordOneByteLong", [](Draft& d) { d.record += '/'; }, WriterError::kRecordLength,
     "the record is 35 bytes long"},
    {"RecordEmpty", [](Draft& d) { d.record.clear(); }, WriterError::kRecordLength,
     "the record is 0 bytes long"},
    {"FirstMagic", [](Draft& d) { d.record[1] = 'B'; }, WriterError::kRecordMagic,
     "bytes 0-1 read \"5B\""},
    {"SecondMagic", [](Draft& d) { d.record[20] = 'S'; }, WriterError::kRecordSecondMagic,
     "bytes 19-20 (they read \"KS\")"},
    {"VendorId", [](Draft& d) { d.record = WithBytes(kRecord, 22, "10g4"); },
     WriterError::kVendorId, "vendor ID at record bytes 22-25 (\"10g4\")"},
    {"ProductId", [](Draft& d) { d.record = WithBytes(kRecord, 27, "f60 "); },
     WriterError::kProductId, "product ID at record bytes 27-30 (\"f60 \")"},
    {"Image0Empty", [](Draft& d) { d.images[0].clear(); }, WriterError::kImageEmpty,
     "image 0 is empty"},
    {"Image2Empty", [](Draft& d) { d.images[2].clear(); }, WriterError::kImageEmpty,
     "image 2 is empty"},
    {"Image4Empty", [](Draft& d) { d.images[4].clear(); }, WriterError::kImageEmpty,
     "image 4 is empty"},
    {"PackageOneByteTooLarge",
     [](Draft& d) {
         d.images[2].resize(d.images[2].size() + kWindow + 1 - PackageSize(d.images), 0x60);
     },
     WriterError::kPackageTooLarge, "the package is 524289 bytes"},
    {"FileOneByteTooShort",
     [](Draft& d) { d.executable.resize(kWindow - 1 - PackageSize(d.images)); },
     WriterError::kFileTooShort, "the finished file would be 524287 bytes"},
    {"PatternInsideImage3",
     [](Draft& d) {
         d.images[3].assign(40, 0x60);
         PutPattern(d.images[3], 5);
     },
     WriterError::kStrayRecord, "(inside image 3)"},
    {"PatternInExecutableTail", [](Draft& d) { PutPattern(d.executable, kWindow - 50); },
     WriterError::kStrayRecord,
     "record pattern found at file offset " + std::to_string(kWindow - 50) +
         " (inside the executable)"},
    {"PatternFromExecutableIntoRecord0",
     [](Draft& d) {
         // "KR" at record bytes 16-17 completes a "5A" three bytes before the record.
         d.record = WithBytes(kRecord, 16, "KR");
         Put(d.executable, d.executable.size() - 3, "5A");
     },
     WriterError::kStrayRecord,
     "at file offset " + std::to_string(kWindow - 3) + " (from the executable into record 0)"},
    {"PatternFromImage1IntoRecord2",
     [](Draft& d) {
         d.record = WithBytes(kRecord, 16, "KR");
         Put(d.images[1], d.images[1].size() - 3, "5A");
     },
     WriterError::kStrayRecord, "(from image 1 into record 2)"},
    {"PatternFromRecord2IntoImage2",
     [](Draft& d) {
         // A vendor ID of "5A00" starts a pattern whose "KR" falls in the next image.
         d.record = WithBytes(kRecord, 22, "5A00");
         Put(d.images[2], 22 + 19 - kRecordSize, "KR");
     },
     WriterError::kStrayRecord, "(from record 2 into image 2)"},
    {"PatternInsideRecords",
     [](Draft& d) {
         d.record = WithBytes(kRecord, 13, "5A");
         d.record = WithBytes(d.record, 32, "KR");
     },
     WriterError::kStrayRecord,
     "at file offset " + std::to_string(kWindow + 13) + " (inside record 0)"},
    // Signing comes last: a signature made before the package is appended
    // would no longer end the file nor cover it.
    {"ExecutableSigned", [](Draft& d) { d.executable = Signed(d.executable); },
     WriterError::kExecutableSigned,
     "the executable is already signed (certificate table at " + std::to_string(kWindow) +
         ", 4096 bytes); append the package to the unsigned executable first, then sign the "
         "finished file"},
    {"ExecutableNamesATableThatDoesNotEndIt",
     [](Draft& d) {
         TestPackage file{.bytes = d.executable};
         file.PutPeHeader();
         file.PutSecurityEntry(100000, 512);
         d.executable = file.bytes;
     },
     WriterError::kExecutableSigned, "already signed (certificate table at 100000, 512 bytes)"},
};

class PackageWriterRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(PackageWriterRefusal, NamesTheBrokenRule) {
    Draft draft;
    ASSERT_TRUE(draft.Check().Ok()) << draft.Check().message;
    GetParam().damage(draft);

    const package::WriterOutcome outcome = draft.Check();

    EXPECT_EQ(outcome.error, GetParam().error);
    EXPECT_NE(outcome.message.find(GetParam().message), std::string::npos) << outcome.message;
    EXPECT_EQ(outcome.message.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(EveryRule, PackageWriterRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& test) { return std::string(test.param.name); });

struct Loaded {
    package::LoadResult result;
    package::ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
};

Loaded Load(PackageFile& file) {
    Loaded loaded;
    loaded.result = package::LoadPackage(file, loaded.table, loaded.vid, loaded.pid);
    return loaded;
}

Loaded LoadBytes(std::vector<std::uint8_t> bytes) {
    MemoryPackageFile file(std::move(bytes));
    return Load(file);
}

std::vector<std::uint8_t> Finished(const std::vector<std::uint8_t>& executable,
                                   const PackageWriter& writer) {
    std::vector<std::uint8_t> bytes = executable;
    bytes.insert(bytes.end(), writer.Package().begin(), writer.Package().end());
    return bytes;
}

// The loader finds every image where the writer put it, with the sums the
// device is told about.
void ExpectLoadsAsWritten(const Loaded& loaded, std::size_t executableSize,
                          const PackageWriter::Images& images) {
    ASSERT_TRUE(loaded.result.Ok()) << loaded.result.code;
    std::size_t offset = executableSize;
    for (std::size_t k = 0; k < images.size(); ++k) {
        offset += kRecordSize;
        EXPECT_EQ(loaded.table.m_dwImageOffset[k], offset) << "image " << k;
        EXPECT_EQ(loaded.table.m_dwImageLength[k], images[k].size()) << "image " << k;
        offset += images[k].size();
    }
    EXPECT_EQ(loaded.table.m_dwPackageFileSize, offset + kRecordSize);
    EXPECT_EQ(loaded.table.m_wImage0Sum, Sum(images[0]));
    EXPECT_EQ(loaded.table.m_wImage4Sum, Sum(images[4]));
}

TEST(PackageWriter, PackageIsRecordsAroundImagesInFileOrder) {
    const PackageWriter::Images images = SmallImages();
    const PackageWriter writer(Bytes(kRecord), images);

    std::vector<std::uint8_t> expected;
    for (std::size_t k = 0; k < 6; ++k) {
        expected.insert(expected.end(), kRecord.begin(), kRecord.end());
        if (k < 5) {
            expected.insert(expected.end(), images[k].begin(), images[k].end());
        }
    }
    EXPECT_EQ(writer.Package(), expected);
}

TEST(PackageWriter, RoundTripThroughTheLoader) {
    const PackageWriter::Images images = SmallImages();
    const std::vector<std::uint8_t> executable = Executable(kWindow + 1234);
    const PackageWriter writer(Bytes("5A/V205/2022/12/01/KR/ABCD/ef01/2/"), images);
    ASSERT_TRUE(writer.Check(executable).Ok()) << writer.Check(executable).message;

    const Loaded loaded = LoadBytes(Finished(executable, writer));

    ExpectLoadsAsWritten(loaded, executable.size(), images);
    EXPECT_EQ(loaded.vid, 0xABCD);
    EXPECT_EQ(loaded.pid, 0xEF01);
    EXPECT_EQ(loaded.table.m_byCodeVersion, (std::array<std::uint8_t, 4>{'V', 2, 0, 5}));
    EXPECT_EQ(loaded.table.m_chUpdatePlan, '2');
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:V205C Code Ver:V205  2022/12/01");
}

TEST(PackageWriter, SmallestAcceptedFileFillsTheWindowExactly) {
    const PackageWriter::Images images = SmallImages();
    const std::vector<std::uint8_t> executable = Executable(kWindow - PackageSize(images));
    const PackageWriter writer(Bytes(kRecord), images);
    ASSERT_TRUE(writer.Check(executable).Ok()) << writer.Check(executable).message;

    ExpectLoadsAsWritten(LoadBytes(Finished(executable, writer)), executable.size(), images);
}

TEST(PackageWriter, LargestAcceptedPackageFillsTheWindow) {
    PackageWriter::Images images = SmallImages();
    images[2].resize(images[2].size() + kWindow - PackageSize(images), 0x61);
    const std::vector<std::uint8_t> executable = Executable(1);
    const PackageWriter writer(Bytes(kRecord), images);
    ASSERT_TRUE(writer.Check(executable).Ok()) << writer.Check(executable).message;

    ExpectLoadsAsWritten(LoadBytes(Finished(executable, writer)), executable.size(), images);
}

TEST(PackageWriter, PatternTheLoaderCannotSeeIsAllowed) {
    // One pattern far before the window, one whose "5A" lies just before the
    // window's first byte: the loader examines neither.
    const PackageWriter::Images images = SmallImages();
    std::vector<std::uint8_t> executable = Executable(2 * kWindow);
    const std::size_t windowStart = executable.size() + PackageSize(images) - kWindow;
    PutPattern(executable, 0);
    PutPattern(executable, windowStart - 1);
    const PackageWriter writer(Bytes(kRecord), images);
    ASSERT_TRUE(writer.Check(executable).Ok()) << writer.Check(executable).message;

    ExpectLoadsAsWritten(LoadBytes(Finished(executable, writer)), executable.size(), images);
}

TEST(PackageWriter, PatternStartingOnTheWindowsFirstByteIsRefused) {
    const PackageWriter::Images images = SmallImages();
    std::vector<std::uint8_t> executable = Executable(2 * kWindow);
    const std::size_t windowStart = executable.size() + PackageSize(images) - kWindow;
    PutPattern(executable, windowStart);
    const PackageWriter writer(Bytes(kRecord), images);

    const package::WriterOutcome outcome = writer.Check(executable);

    EXPECT_EQ(outcome.error, WriterError::kStrayRecord);
    EXPECT_NE(outcome.message.find("file offset " + std::to_string(windowStart) + " "),
              std::string::npos)
        << outcome.message;
    // What the writer refuses, the loader would have refused too.
    EXPECT_EQ(LoadBytes(Finished(executable, writer)).result.code, package::kErrorRecords);
}

TEST(SampleImages, ShippedSizesAndSums) {
    for (int k = 0; k < package::kImageCount; ++k) {
        const std::vector<std::uint8_t> image = SampleImages::Image(k);
        EXPECT_EQ(image.size(), SampleImages::kLengths[k]) << "image " << k;
        EXPECT_EQ(image, SampleImages::Image(k)) << "image " << k << " is not deterministic";
    }
    EXPECT_EQ(SampleImages::kLengths,
              (std::array<std::size_t, 5>{17843, 8192, 262144, 512, 138416}));
    EXPECT_EQ(Sum(SampleImages::Image(0)), 0xAE17);
    EXPECT_EQ(Sum(SampleImages::Image(4)), 0x37A1);
    EXPECT_EQ(SampleImages::kRecord, kRecord);
}

TEST(SampleImages, PassEveryRuleBetweenTheRecords) {
    PackageWriter::Images images;
    for (int k = 0; k < package::kImageCount; ++k) {
        images[k] = SampleImages::Image(k);
    }
    // An executable of zeros adds no pattern, so only the package itself is judged,
    // across every image and record boundary.
    const std::vector<std::uint8_t> executable(kWindow, 0);
    const PackageWriter writer(Bytes(SampleImages::kRecord), images);

    const package::WriterOutcome outcome = writer.Check(executable);

    EXPECT_TRUE(outcome.Ok()) << outcome.message;
    EXPECT_EQ(writer.Package().size(), 427311U);
    const Loaded loaded = LoadBytes(Finished(executable, writer));
    ExpectLoadsAsWritten(loaded, executable.size(), images);
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:E117C Code Ver:E117  2021/05/26");
}

// Each test gets a folder of its own, removed afterwards.
class PackageWriterFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = fs::temp_directory_path() / ("kr_package_writer_" + std::string(test->name()) +
                                                "_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_folder);
        std::string error;
        ASSERT_TRUE(SampleImages::WriteTo(m_folder / "sample", error)) << error;
        WriteBytes(m_folder / "bare.exe", Executable(100000));

        m_request.executable = m_folder / "bare.exe";
        m_request.recordFile = m_folder / "sample" / std::string(SampleImages::kRecordFileName);
        for (int k = 0; k < package::kImageCount; ++k) {
            m_request.images[k] = m_folder / "sample" / SampleImages::ImageFileName(k);
        }
        m_request.output = m_folder / "out.exe";
    }

    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    static void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_folder;
    package::AppendRequest m_request;
};

TEST_F(PackageWriterFiles, SampleFilesMatchTheGenerator) {
    for (int k = 0; k < package::kImageCount; ++k) {
        EXPECT_EQ(ReadBytes(m_folder / "sample" / SampleImages::ImageFileName(k)),
                  SampleImages::Image(k))
            << "image " << k;
    }
    EXPECT_EQ(ReadBytes(*m_request.recordFile), Bytes(kRecord));
}

TEST_F(PackageWriterFiles, AppendsTheSamplePackage) {
    const package::WriterOutcome outcome = PackageWriter::AppendFiles(m_request);
    ASSERT_TRUE(outcome.Ok()) << outcome.message;

    const std::vector<std::uint8_t> written = ReadBytes(m_request.output);
    ASSERT_EQ(written.size(), 100000U + 427311U);
    EXPECT_TRUE(std::equal(written.begin(), written.begin() + 100000, Executable(100000).begin()));
    StdPackageFile file(m_request.output);
    const Loaded loaded = Load(file);
    PackageWriter::Images images;
    for (int k = 0; k < package::kImageCount; ++k) {
        images[k] = SampleImages::Image(k);
    }
    ExpectLoadsAsWritten(loaded, 100000, images);
    EXPECT_EQ(loaded.table.m_wImage0Sum, 0xAE17);
    EXPECT_EQ(loaded.table.m_wImage4Sum, 0x37A1);
    EXPECT_EQ(loaded.vid, 0x10C4);
    EXPECT_EQ(loaded.pid, 0xF607);
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:E117C Code Ver:E117  2021/05/26");
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"bare.exe", "out.exe", "sample"}));
}

TEST_F(PackageWriterFiles, OutputKeepsTheExecutablesPermissions) {
    constexpr auto kRunnable = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
    fs::permissions(m_request.executable, kRunnable);

    ASSERT_TRUE(PackageWriter::AppendFiles(m_request).Ok());

    EXPECT_EQ(fs::status(m_request.output).permissions(), kRunnable);
}

TEST_F(PackageWriterFiles, RecordTextIsUsedWithoutRecordFile) {
    m_request.recordFile.reset();
    m_request.record = "5A/L116/2020/01/02/KR/10C4/F607/1/";
    ASSERT_TRUE(PackageWriter::AppendFiles(m_request).Ok());

    StdPackageFile file(m_request.output);
    const Loaded loaded = Load(file);
    ASSERT_TRUE(loaded.result.Ok());
    EXPECT_EQ(loaded.table.m_chUpdatePlan, '1');
    EXPECT_EQ(loaded.result.versionText, L"Tool Ver:L116C Code Ver:L116  2020/01/02");
}

TEST_F(PackageWriterFiles, RefusalWritesNothing) {
    m_request.recordFile.reset();
    m_request.record = "5A/E117/2021/05/26/KR/10c4/f6x7/3/";

    const package::WriterOutcome outcome = PackageWriter::AppendFiles(m_request);

    EXPECT_EQ(outcome.error, WriterError::kProductId);
    EXPECT_FALSE(fs::exists(m_request.output));
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"bare.exe", "sample"}));
}

TEST_F(PackageWriterFiles, RefusalLeavesAnExistingOutputUntouched) {
    const std::vector<std::uint8_t> previous = Bytes("the previous build");
    WriteBytes(m_request.output, previous);
    fs::resize_file(m_request.images[1], 0);

    EXPECT_EQ(PackageWriter::AppendFiles(m_request).error, WriterError::kImageEmpty);
    EXPECT_EQ(ReadBytes(m_request.output), previous);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"bare.exe", "out.exe", "sample"}));
}

TEST_F(PackageWriterFiles, SuccessReplacesAnExistingOutputWhole) {
    WriteBytes(m_request.output, Bytes("the previous build"));

    ASSERT_TRUE(PackageWriter::AppendFiles(m_request).Ok());

    EXPECT_EQ(fs::file_size(m_request.output), 100000U + 427311U);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"bare.exe", "out.exe", "sample"}));
}

TEST_F(PackageWriterFiles, PatternInTheExecutablesTailIsRefused) {
    std::vector<std::uint8_t> executable = Executable(100000);
    PutPattern(executable, 99990 - 19);
    WriteBytes(m_request.executable, executable);

    const package::WriterOutcome outcome = PackageWriter::AppendFiles(m_request);

    EXPECT_EQ(outcome.error, WriterError::kStrayRecord);
    EXPECT_NE(outcome.message.find("file offset 99971 (inside the executable)"), std::string::npos)
        << outcome.message;
    EXPECT_FALSE(fs::exists(m_request.output));
}

TEST_F(PackageWriterFiles, UnreadableInputsAreNamed) {
    package::AppendRequest request = m_request;
    request.executable = m_folder / "missing.exe";
    EXPECT_EQ(PackageWriter::AppendFiles(request).error, WriterError::kReadExecutable);

    request = m_request;
    request.recordFile = m_folder / "missing.txt";
    EXPECT_EQ(PackageWriter::AppendFiles(request).error, WriterError::kReadRecord);

    request = m_request;
    request.images[3] = m_folder / "sample";  // a folder is no image
    const package::WriterOutcome outcome = PackageWriter::AppendFiles(request);
    EXPECT_EQ(outcome.error, WriterError::kReadImage);
    EXPECT_NE(outcome.message.find("cannot read image 3 from"), std::string::npos)
        << outcome.message;
    EXPECT_FALSE(fs::exists(m_request.output));
}

TEST_F(PackageWriterFiles, OutputThatCannotBeWrittenLeavesNoPartialFile) {
    m_request.output = m_folder / "no such folder" / "out.exe";
    EXPECT_EQ(PackageWriter::AppendFiles(m_request).error, WriterError::kWriteOutput);

    // A folder in the output's place cannot be replaced by the finished file.
    m_request.output = m_folder / "sample";
    const package::WriterOutcome outcome = PackageWriter::AppendFiles(m_request);
    EXPECT_EQ(outcome.error, WriterError::kWriteOutput);
    EXPECT_NE(outcome.message.find("in place of"), std::string::npos) << outcome.message;
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"bare.exe", "sample"}));
}

TEST_F(PackageWriterFiles, DescribesWhatTheFileCarries) {
    ASSERT_TRUE(PackageWriter::AppendFiles(m_request).Ok());
    StdPackageFile file(m_request.output);
    std::string text;

    ASSERT_TRUE(package::DescribePackage(file, text)) << text;

    for (const std::string_view line : {
             "file size      527311 bytes\n",
             "signature      none\n",
             "package end    at 527311, the end of the file\n",
             "record 0       at 100000\n",
             "image 0        at 100034, 17843 bytes, sum 0xAE17\n",
             "image 1        at 117911, 8192 bytes\n",
             "image 2        at 126137, 262144 bytes\n",
             "image 3        at 388315, 512 bytes\n",
             "image 4        at 388861, 138416 bytes, sum 0x37A1\n",
             "record 5       at 527277 (trailer)\n",
             "code version   E, 1, 1, 7\n",
             "vendor ID      0x10C4\n",
             "product ID     0xF607\n",
             "update plan    3 (Chip 1, then Chip 2, then Chip 3)\n",
             "version text   Tool Ver:E117C Code Ver:E117  2021/05/26\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
    }
}

TEST(PackageWriter, ExecutableWithAnUnsignedPeHeaderIsAccepted) {
    TestPackage file{.bytes = Executable()};
    file.PutPeHeader();
    const PackageWriter writer(Bytes(kRecord), SmallImages());
    const package::WriterOutcome outcome = writer.Check(file.bytes);
    EXPECT_TRUE(outcome.Ok()) << outcome.message;
}

TEST(DescribePackage, SaysWhetherSignedAndWhereThePackageEnds) {
    TestPackage file{.bytes = Executable()};
    file.PutPeHeader();
    const PackageWriter writer(Bytes(kRecord), SmallImages());
    file.bytes = Finished(file.bytes, writer);
    const std::size_t packageEnd = file.bytes.size();
    std::string text;

    MemoryPackageFile unsignedFile(file.bytes);
    ASSERT_TRUE(package::DescribePackage(unsignedFile, text)) << text;
    for (const std::string& line : {
             "file size      " + std::to_string(packageEnd) + " bytes\n",
             std::string("signature      none\n"),
             "package end    at " + std::to_string(packageEnd) + ", the end of the file\n",
             "record 5       at " + std::to_string(packageEnd - kRecordSize) + " (trailer)\n",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
    }

    const std::size_t tableAt = file.AppendSignature(5, 4096);
    MemoryPackageFile signedFile(file.bytes);
    ASSERT_TRUE(package::DescribePackage(signedFile, text)) << text;
    for (const std::string& line : {
             "file size      " + std::to_string(tableAt + 4096) + " bytes\n",
             "signature      certificate table at " + std::to_string(tableAt) + ", 4096 bytes\n",
             "package end    at " + std::to_string(packageEnd) +
                 ", 5 bytes of padding before the certificate table\n",
             "record 5       at " + std::to_string(packageEnd - kRecordSize) + " (trailer)\n",
             "image 0        at " + std::to_string(kWindow + kRecordSize) + ", 100 bytes",
         }) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "in\n" << text;
    }

    // Signed before the package was appended: the table no longer ends the
    // file, so where the signed bytes end is unknown and nothing is shown.
    TestPackage signedFirst{.bytes = Executable()};
    signedFirst.PutPeHeader();
    signedFirst.PutSecurityEntry(100000, 512);
    signedFirst.bytes = Finished(signedFirst.bytes, writer);
    MemoryPackageFile staleSignature(signedFirst.bytes);
    EXPECT_FALSE(package::DescribePackage(staleSignature, text));
    EXPECT_EQ(text, "ISP file error 66!");
}

TEST(DescribePackage, GivesTheLoadersNumberedFailure) {
    std::vector<std::uint8_t> bytes = Executable();
    std::string text;

    MemoryPackageFile noTrailer(bytes);
    EXPECT_FALSE(package::DescribePackage(noTrailer, text));
    EXPECT_EQ(text, "ISP error 61!");

    Put(bytes, 1000, kRecord);
    Put(bytes, 1000 + kRecordSize, kRecord);
    Put(bytes, bytes.size() - kRecordSize, kRecord);
    MemoryPackageFile threeRecords(bytes);
    EXPECT_FALSE(package::DescribePackage(threeRecords, text));
    EXPECT_EQ(text, "ISP error 63!");
}

}  // namespace
