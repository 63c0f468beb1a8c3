#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "package/FirmwarePackage.h"
#include "package/PackageFile.h"

namespace package {

// Why a package was refused. Each broken rule has its own value, so a build
// script or a test can tell them apart without reading the message.
enum class WriterError {
    kNone,
    kRecordLength,       // the record is not exactly 34 bytes
    kRecordMagic,        // bytes 0-1 are not "5A"
    kRecordSecondMagic,  // bytes 19-20 are not "KR"
    kVendorId,           // bytes 22-25 are not four hexadecimal digits
    kProductId,          // bytes 27-30 are not four hexadecimal digits
    kImageEmpty,         // an image has no bytes
    kPackageTooLarge,    // records and images do not fit in the search window
    kFileTooShort,       // executable and package together are smaller than the window
    kStrayRecord,        // the record pattern occurs where no record is
    kExecutableSigned,   // the executable already names a certificate table
    kReadExecutable,     // the executable could not be read
    kReadRecord,         // the record file could not be read
    kReadImage,          // an image file could not be read
    kWriteOutput,        // the output could not be written or put in place
};

struct WriterOutcome {
    WriterError error = WriterError::kNone;
    std::string message;  // one line naming the broken rule; empty when all is well

    bool Ok() const { return error == WriterError::kNone; }
};

// What `AppendFiles` reads and where it writes.
struct AppendRequest {
    std::filesystem::path executable;
    std::string record;                               // the 34-byte header record as text...
    std::optional<std::filesystem::path> recordFile;  // ...or read from this file instead
    std::array<std::filesystem::path, kImageCount> images;
    std::filesystem::path output;
};

// Builds a firmware package from one header record and five images, and checks
// that the loader will find exactly what was meant: the same complete record
// in all six places, every image where it was put, and nothing else that looks
// like a record anywhere in the file's last 512 KiB.
class PackageWriter {
public:
    using Images = std::array<std::vector<std::uint8_t>, kImageCount>;

    PackageWriter(std::vector<std::uint8_t> record, Images images);

    // Every rule the loader relies on, checked for this package appended to
    // this executable. Nothing is written; the first broken rule is reported.
    WriterOutcome Check(std::span<const std::uint8_t> executable) const;

    // Record, image 0, record, ..., image 4, record: the bytes to append.
    const std::vector<std::uint8_t>& Package() const { return m_package; }

    // Reads the executable, the record and the images, checks them, then
    // writes the finished file beside the output and renames it into place,
    // so the output is either the complete new file or left as it was.
    static WriterOutcome AppendFiles(const AppendRequest& request);

private:
    // Where an offset inside the package lies: "record 2", "image 3", ...
    std::string ElementAt(std::size_t packageOffset) const;
    WriterOutcome CheckRecord() const;
    WriterOutcome CheckNoStrayRecord(std::span<const std::uint8_t> executable) const;

    std::vector<std::uint8_t> m_record;
    std::array<std::size_t, kImageCount> m_imageLengths{};
    std::array<std::size_t, kRecordCount> m_recordOffsets{};  // inside the package
    std::vector<std::uint8_t> m_package;
};

// Runs the loader over a finished file and describes what it carries: whether
// it is signed and where the package ends, where the records and images lie, the image lengths, the
// two sums, the code version, the device IDs, the update plan and the version text. Returns false
// with the loader's numbered failure as the text when the loader refuses it.
bool DescribePackage(PackageFile& file, std::string& text);

}  // namespace package
