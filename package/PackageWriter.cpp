#include "package/PackageWriter.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "package/CertificateTable.h"
#include "package/StdPackageFile.h"

namespace package {
namespace {

constexpr std::size_t kPatternReach = kSecondMagicPos + 1;  // last byte a record match looks at

WriterOutcome Refuse(WriterError error, std::string message) {
    return WriterOutcome{.error = error, .message = std::move(message)};
}

// Record bytes, or text made of them, as they may be shown on one line.
template <typename Characters>
std::string Printable(const Characters& characters) {
    std::string text;
    for (const auto character : characters) {
        text += (character >= 0x20 && character < 0x7F) ? static_cast<char>(character) : '?';
    }
    return text;
}

std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

// The executable in memory, so the signature lookup reads it as the loader
// reads a file.
class BytesPackageFile final : public PackageFile {
public:
    explicit BytesPackageFile(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset) {
            return false;
        }
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
};

bool ReadWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    StdPackageFile file(path);
    if (!file.IsOpen()) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.Size()));
    return file.ReadAt(0, bytes);
}

bool WriteFinishedFile(const std::filesystem::path& path, std::span<const std::uint8_t> executable,
                       std::span<const std::uint8_t> package) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto write = [&out](std::span<const std::uint8_t> bytes) {
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    };
    write(executable);
    write(package);
    out.close();
    return !out.fail();
}

std::string Hex16(std::uint16_t value) {
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text += "0123456789ABCDEF"[(value >> shift) & 0xFU];
    }
    return text;
}

const char* UpdatePlanMeaning(char plan) {
    switch (plan) {
        case '3':
            return "Chip 1, then Chip 2, then Chip 3";
        case '2':
            return "Chip 2, then Chip 3";
        default:
            return "Chip 3 only";
    }
}

}  // namespace

PackageWriter::PackageWriter(std::vector<std::uint8_t> record, Images images)
    : m_record(std::move(record)) {
    for (int k = 0; k < kRecordCount; ++k) {
        m_recordOffsets[k] = m_package.size();
        m_package.insert(m_package.end(), m_record.begin(), m_record.end());
        if (k < kImageCount) {
            m_imageLengths[k] = images[k].size();
            m_package.insert(m_package.end(), images[k].begin(), images[k].end());
        }
    }
}

WriterOutcome PackageWriter::CheckRecord() const {
    if (m_record.size() != kRecordSize) {
        return Refuse(WriterError::kRecordLength,
                      "the record is " + std::to_string(m_record.size()) +
                          " bytes long; a header record is exactly 34 bytes");
    }
    const std::span<const std::uint8_t> record(m_record);
    if (record[kMagicPos] != '5' || record[kMagicPos + 1] != 'A') {
        return Refuse(WriterError::kRecordMagic,
                      "the record must start with \"5A\" (bytes 0-1 read \"" +
                          Printable(record.subspan(kMagicPos, 2)) + "\")");
    }
    if (record[kSecondMagicPos] != 'K' || record[kSecondMagicPos + 1] != 'R') {
        return Refuse(WriterError::kRecordSecondMagic,
                      "the record must carry \"KR\" at bytes 19-20 (they read \"" +
                          Printable(record.subspan(kSecondMagicPos, 2)) + "\")");
    }
    const auto* fields = reinterpret_cast<const char*>(m_record.data());
    std::uint16_t id = 0;
    if (ParseHex4(fields + kVidPos, &id) != 0) {
        return Refuse(WriterError::kVendorId, "the vendor ID at record bytes 22-25 (\"" +
                                                  Printable(record.subspan(kVidPos, 4)) +
                                                  "\") is not four hexadecimal digits");
    }
    if (ParseHex4(fields + kPidPos, &id) != 0) {
        return Refuse(WriterError::kProductId, "the product ID at record bytes 27-30 (\"" +
                                                   Printable(record.subspan(kPidPos, 4)) +
                                                   "\") is not four hexadecimal digits");
    }
    return {};
}

WriterOutcome PackageWriter::Check(std::span<const std::uint8_t> executable) const {
    // A signature covers the bytes it was made over; bytes appended after it
    // push its table away from the end, and the result is neither signed nor
    // a package the loader can find behind the table.
    BytesPackageFile file(executable);
    if (const std::optional<CertificateTable> signature = ReadSecurityEntry(file)) {
        return Refuse(WriterError::kExecutableSigned,
                      "the executable is already signed (certificate table at " +
                          std::to_string(signature->offset) + ", " +
                          std::to_string(signature->size) +
                          " bytes); append the package to the unsigned executable first, "
                          "then sign the finished file");
    }
    if (WriterOutcome outcome = CheckRecord(); !outcome.Ok()) {
        return outcome;
    }
    for (int k = 0; k < kImageCount; ++k) {
        if (m_imageLengths[k] == 0) {
            // Two records side by side would leave the loader no length to derive.
            return Refuse(WriterError::kImageEmpty, "image " + std::to_string(k) +
                                                        " is empty; every image needs at least 1 "
                                                        "byte");
        }
    }
    if (m_package.size() > kSearchWindowSize) {
        return Refuse(WriterError::kPackageTooLarge,
                      "the package is " + std::to_string(m_package.size()) +
                          " bytes; six records and five images must fit in the file's last "
                          "524288 bytes");
    }
    const std::size_t fileSize = executable.size() + m_package.size();
    if (fileSize < kSearchWindowSize) {
        return Refuse(WriterError::kFileTooShort,
                      "the finished file would be " + std::to_string(fileSize) +
                          " bytes (executable " + std::to_string(executable.size()) + ", package " +
                          std::to_string(m_package.size()) + "); it must be at least 524288 bytes");
    }
    return CheckNoStrayRecord(executable);
}

std::string PackageWriter::ElementAt(std::size_t packageOffset) const {
    int k = kRecordCount - 1;
    while (packageOffset < m_recordOffsets[k]) {  // record 0 starts at 0 and stops the walk
        --k;
    }
    const bool inRecord = packageOffset < m_recordOffsets[k] + kRecordSize;
    return (inRecord ? "record " : "image ") + std::to_string(k);
}

WriterOutcome PackageWriter::CheckNoStrayRecord(std::span<const std::uint8_t> executable) const {
    // The loader's window: the executable's last bytes, then the whole package.
    const std::size_t executableInWindow = kSearchWindowSize - m_package.size();
    const std::size_t windowStart = executable.size() - executableInWindow;
    std::vector<std::uint8_t> window(executable.begin() + static_cast<std::ptrdiff_t>(windowStart),
                                     executable.end());
    window.insert(window.end(), m_package.begin(), m_package.end());

    const auto where = [&](std::size_t windowOffset) {
        return windowOffset < executableInWindow ? std::string("the executable")
                                                 : ElementAt(windowOffset - executableInWindow);
    };
    std::size_t nextRecord = 0;
    for (std::size_t p = 0; p + kPatternReach < window.size(); ++p) {
        if (!IsRecordAt(window, p)) {
            continue;
        }
        if (nextRecord < kRecordCount && p == executableInWindow + m_recordOffsets[nextRecord]) {
            ++nextRecord;
            continue;
        }
        const std::string first = where(p);
        const std::string last = where(p + kPatternReach);
        std::string message = "record pattern found at file offset ";
        message += std::to_string(windowStart + p);
        if (first == last) {
            message += " (inside " + first;
        } else {
            message += " (from " + first;
            message += " into " + last;
        }
        message += "); the loader would count it as a seventh record";
        return Refuse(WriterError::kStrayRecord, std::move(message));
    }
    return {};
}

WriterOutcome PackageWriter::AppendFiles(const AppendRequest& request) {
    std::vector<std::uint8_t> executable;
    if (!ReadWholeFile(request.executable, executable)) {
        return Refuse(WriterError::kReadExecutable,
                      "cannot read the executable " + Quoted(request.executable));
    }
    std::vector<std::uint8_t> record(request.record.begin(), request.record.end());
    if (request.recordFile && !ReadWholeFile(*request.recordFile, record)) {
        return Refuse(WriterError::kReadRecord,
                      "cannot read the record file " + Quoted(*request.recordFile));
    }
    Images images;
    for (int k = 0; k < kImageCount; ++k) {
        if (!ReadWholeFile(request.images[k], images[k])) {
            return Refuse(WriterError::kReadImage, "cannot read image " + std::to_string(k) +
                                                       " from " + Quoted(request.images[k]));
        }
    }

    const PackageWriter writer(std::move(record), std::move(images));
    if (WriterOutcome outcome = writer.Check(executable); !outcome.Ok()) {
        return outcome;
    }

    std::filesystem::path partial = request.output;
    partial += ".partial";
    std::error_code error;
    if (!WriteFinishedFile(partial, executable, writer.Package())) {
        std::filesystem::remove(partial, error);
        return Refuse(WriterError::kWriteOutput, "cannot write " + Quoted(partial));
    }
    // The finished file is the executable with more bytes: it keeps the
    // executable's permissions, so a program that ran before still runs.
    const std::filesystem::perms permissions =
        std::filesystem::status(request.executable, error).permissions();
    if (!error) {
        std::filesystem::permissions(partial, permissions | std::filesystem::perms::owner_write,
                                     error);
    }
    if (error) {
        const std::string reason = error.message();
        std::filesystem::remove(partial, error);
        return Refuse(WriterError::kWriteOutput, "cannot give " + Quoted(partial) +
                                                     " the executable's permissions: " + reason);
    }
    std::filesystem::rename(partial, request.output, error);
    if (error) {
        const std::string reason = error.message();
        std::filesystem::remove(partial, error);
        return Refuse(WriterError::kWriteOutput, "cannot put " + Quoted(partial) + " in place of " +
                                                     Quoted(request.output) + ": " + reason);
    }
    return {};
}

bool DescribePackage(PackageFile& file, std::string& text) {
    ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    const LoadResult result = LoadPackage(file, table, vid, pid);
    if (!result.Ok()) {
        text = Printable(result.LogLine());
        return false;
    }

    const auto line = [&text](const std::string& label, const std::string& value) {
        text += label;
        text.append(label.size() < 15 ? 15 - label.size() : 1, ' ');
        text += value + "\n";
    };
    text.clear();
    const std::uint64_t packageEnd = table.m_dwPackageFileSize;
    line("file size", std::to_string(file.Size()) + " bytes");
    const SignatureLookup signature = LookUpSignature(file);
    if (signature.state == SignatureState::Signed) {
        // The loader read only what stands before the table.
        const std::uint64_t tableAt = signature.table.offset;
        line("signature", "certificate table at " + std::to_string(tableAt) + ", " +
                              std::to_string(signature.table.size) + " bytes");
        line("package end", "at " + std::to_string(packageEnd) + ", " +
                                std::to_string(tableAt - packageEnd) +
                                " bytes of padding before the certificate table");
    } else {
        line("signature", "none");
        line("package end", "at " + std::to_string(packageEnd) + ", the end of the file");
    }
    for (int k = 0; k < kImageCount; ++k) {
        line("record " + std::to_string(k),
             "at " + std::to_string(table.m_dwImageOffset[k] - kRecordSize));
        std::string image = "at " + std::to_string(table.m_dwImageOffset[k]) + ", " +
                            std::to_string(table.m_dwImageLength[k]) + " bytes";
        if (k == 0) {
            image += ", sum " + Hex16(table.m_wImage0Sum);
        } else if (k == kImageCount - 1) {
            image += ", sum " + Hex16(table.m_wImage4Sum);
        }
        line("image " + std::to_string(k), image);
    }
    line("record 5",
         "at " + std::to_string(table.m_dwPackageFileSize - kRecordSize) + " (trailer)");
    const auto& version = table.m_byCodeVersion;
    line("code version", Printable(std::span(version).first(1)) + ", " +
                             std::to_string(version[1]) + ", " + std::to_string(version[2]) + ", " +
                             std::to_string(version[3]));
    line("vendor ID", Hex16(vid));
    line("product ID", Hex16(pid));
    const auto plan = static_cast<std::uint8_t>(table.m_chUpdatePlan);
    line("update plan",
         Printable(std::span(&plan, 1)) + " (" + UpdatePlanMeaning(table.m_chUpdatePlan) + ")");
    line("version text", Printable(result.versionText));
    return true;
}

}  // namespace package
