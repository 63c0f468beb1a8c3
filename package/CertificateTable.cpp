#include "package/CertificateTable.h"

#include <array>
#include <cstddef>
#include <span>

#include "package/FirmwarePackage.h"

namespace package {
namespace {

// The parts of the PE format the signature lookup reads, at their offsets.
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetPos = 0x3C;  // e_lfanew
constexpr std::size_t kSignatureSize = 4;          // "PE\0\0"
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionCountPos = kSignatureSize + 2;
constexpr std::size_t kOptionalHeaderSizePos = kSignatureSize + 16;
constexpr std::size_t kOptionalHeaderPos = kSignatureSize + kFileHeaderSize;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
// Inside the optional header: the directory count and the directories follow
// the fields whose width differs between 32- and 64-bit images.
constexpr std::size_t kDirectoryCountPos32 = 92;
constexpr std::size_t kDirectoryCountPos64 = 108;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::size_t kDirectoryEntrySize = 8;
// The longest stretch read at once: signature, file header, the 64-bit
// optional header up to and including the security entry.
constexpr std::size_t kHeaderReadSize =
    kOptionalHeaderPos + kDirectoryCountPos64 + 4 + (kSecurityDirectory + 1) * kDirectoryEntrySize;

std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8U));
}

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 8U) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 16U) |
           (static_cast<std::uint32_t>(bytes[at + 3]) << 24U);
}

enum class Read { Done, Outside, Failed };

// Reads `out.size()` bytes at `offset` only when they lie inside the file.
Read ReadInside(PackageFile& file, std::uint64_t fileSize, std::uint64_t offset,
                std::span<std::uint8_t> out) {
    if (offset > fileSize || out.size() > fileSize - offset) {
        return Read::Outside;
    }
    return file.ReadAt(offset, out) ? Read::Done : Read::Failed;
}

struct SecurityEntry {
    CertificateTable table;
    std::uint64_t headersEnd = 0;  // the first byte after the section headers
};

struct HeaderRead {
    bool failed = false;                 // a read of the header failed
    std::optional<SecurityEntry> entry;  // the entry as the header gives it, unchecked
};

// The security entry as the header gives it, unchecked; no entry when the
// file's header is not a PE header that has one.
HeaderRead ReadEntry(PackageFile& file, std::uint64_t fileSize) {
    std::array<std::uint8_t, kDosHeaderSize> dos{};
    const Read dosRead = ReadInside(file, fileSize, 0, dos);
    if (dosRead != Read::Done || dos[0] != 'M' || dos[1] != 'Z') {
        return HeaderRead{.failed = dosRead == Read::Failed, .entry = std::nullopt};
    }
    const std::uint64_t peAt = Le32(dos, kNewHeaderOffsetPos);

    std::array<std::uint8_t, kHeaderReadSize> header{};
    // A 32-bit image's header is shorter; the file may end right after it.
    const std::uint64_t available = peAt <= fileSize ? fileSize - peAt : 0;
    const std::size_t readSize =
        available < kHeaderReadSize ? static_cast<std::size_t>(available) : kHeaderReadSize;
    if (readSize < kOptionalHeaderPos + 2) {
        return {};
    }
    if (const Read headerRead = ReadInside(file, fileSize, peAt, std::span(header).first(readSize));
        headerRead != Read::Done) {
        return HeaderRead{.failed = headerRead == Read::Failed, .entry = std::nullopt};
    }
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) {
        return {};
    }
    const std::uint16_t magic = Le16(header, kOptionalHeaderPos);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        return {};
    }
    const std::size_t countPos = magic == kMagicPe32 ? kDirectoryCountPos32 : kDirectoryCountPos64;
    const std::size_t entryPos = countPos + 4 + kSecurityDirectory * kDirectoryEntrySize;
    const std::size_t optionalHeaderSize = Le16(header, kOptionalHeaderSizePos);
    // The entry must lie inside the optional header as the file header sizes
    // it, inside what was read, and among the directories the header counts.
    if (optionalHeaderSize < entryPos + kDirectoryEntrySize ||
        readSize < kOptionalHeaderPos + entryPos + kDirectoryEntrySize ||
        Le32(header, kOptionalHeaderPos + countPos) <= kSecurityDirectory) {
        return {};
    }
    const CertificateTable table{.offset = Le32(header, kOptionalHeaderPos + entryPos),
                                 .size = Le32(header, kOptionalHeaderPos + entryPos + 4)};
    if (table.offset == 0 && table.size == 0) {
        return {};
    }
    return HeaderRead{
        .failed = false,
        .entry = SecurityEntry{
            .table = table,
            .headersEnd = peAt + kOptionalHeaderPos + optionalHeaderSize +
                          std::uint64_t{Le16(header, kSectionCountPos)} * kSectionHeaderSize}};
}

}  // namespace

std::optional<CertificateTable> ReadSecurityEntry(PackageFile& file) {
    const HeaderRead header = ReadEntry(file, file.Size());
    if (!header.entry) {
        return std::nullopt;
    }
    return header.entry->table;
}

SignatureLookup LookUpSignature(PackageFile& file) {
    const std::uint64_t fileSize = file.Size();
    const HeaderRead header = ReadEntry(file, fileSize);
    if (header.failed) {
        return SignatureLookup{.state = SignatureState::Unreadable, .table = {}};
    }
    if (!header.entry) {
        return {};
    }
    const CertificateTable& table = header.entry->table;
    // Not a table a signing tool wrote at the end of this file: an entry
    // pointing into the headers or outside the file, one that does not end
    // the file, or one too short for a certificate entry. The table's own
    // bytes are not read: what they hold is the signature's business.
    if (table.size < kCertificateHeaderSize || table.offset < header.entry->headersEnd ||
        table.offset > fileSize || table.size != fileSize - table.offset) {
        return SignatureLookup{.state = SignatureState::BadTable, .table = table};
    }
    return SignatureLookup{.state = SignatureState::Signed, .table = table};
}

std::optional<std::uint64_t> PackageEndBefore(PackageFile& file, const CertificateTable& table) {
    // The bytes just before the table: the padding, if any, and the trailer.
    constexpr std::size_t kTail = kRecordSize + kMaxSignaturePadding;
    if (table.offset < kRecordSize) {
        return std::nullopt;
    }
    const std::size_t tailSize =
        table.offset < kTail ? static_cast<std::size_t>(table.offset) : kTail;
    std::array<std::uint8_t, kTail> tail{};
    const std::span<std::uint8_t> bytes = std::span(tail).first(tailSize);
    if (!file.ReadAt(table.offset - tailSize, bytes)) {
        return std::nullopt;
    }
    // Nearest the table first: a trailer whose last byte is zero is taken
    // whole rather than read as one byte of padding.
    for (std::size_t padding = 0; padding <= kMaxSignaturePadding; ++padding) {
        if (padding > 0 && bytes[tailSize - padding] != 0) {
            break;
        }
        if (tailSize < padding + kRecordSize) {
            break;
        }
        if (IsRecordAt(bytes, tailSize - padding - kRecordSize)) {
            return table.offset - padding;
        }
    }
    return std::nullopt;
}

}  // namespace package
