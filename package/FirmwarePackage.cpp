#include "package/FirmwarePackage.h"

#include <cstring>
#include <memory>
#include <optional>

#include "package/CertificateTable.h"

namespace package {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::uint16_t SumBytes(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    return static_cast<std::uint16_t>(sum);
}

LoadResult Failure(int code, bool fileError = false) {
    return LoadResult{.code = code, .fileError = fileError, .versionText = {}};
}

}  // namespace

std::wstring LoadResult::LogLine() const {
    if (code == 0) {
        return {};
    }
    return (fileError ? L"ISP file error " : L"ISP error ") + std::to_wstring(code) + L"!";
}

int ParseHex4(const char* text, std::uint16_t* value) {
    unsigned result = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = HexDigitValue(text[i]);
        if (digit < 0) {
            return 1;
        }
        result = (result << 4U) | static_cast<unsigned>(digit);
    }
    *value = static_cast<std::uint16_t>(result);
    return 0;
}

bool IsRecordAt(std::span<const std::uint8_t> bytes, std::size_t position) {
    return position + kSecondMagicPos + 1 < bytes.size() && bytes[position] == '5' &&
           bytes[position + 1] == 'A' && bytes[position + kSecondMagicPos] == 'K' &&
           bytes[position + kSecondMagicPos + 1] == 'R';
}

RecordScan ScanForRecords(std::span<const std::uint8_t> window) {
    RecordScan scan;
    if (window.size() <= kSecondMagicPos + 1) {
        return scan;
    }
    // Only positions whose second magic still lies inside the window count.
    const std::size_t end = window.size() - (kSecondMagicPos + 1);
    // Jumping from one "5" to the next with memchr keeps the scan of a window
    // that is mostly executable and image bytes fast.
    for (std::size_t p = 0; p < end; ++p) {
        const void* const five = std::memchr(window.data() + p, '5', end - p);
        if (five == nullptr) {
            break;
        }
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(five) - window.data());
        if (IsRecordAt(window, p)) {
            if (scan.count < scan.first.size()) {
                scan.first[scan.count] = p;
            }
            ++scan.count;
        }
    }
    return scan;
}

std::wstring FormatVersionText(std::span<const std::uint8_t, kRecordSize> trailer) {
    // Each byte shows as the character of the same value, so a damaged date
    // shows unchanged rather than stopping the load.
    const auto ch = [&](std::size_t i) { return static_cast<wchar_t>(trailer[i]); };
    std::wstring text = L"Tool Ver:";
    for (std::size_t i = kVersionLetterPos; i < kVersionLetterPos + 4; ++i) {
        text += ch(i);
    }
    text += L"C Code Ver:";
    for (std::size_t i = kVersionLetterPos; i < kVersionLetterPos + 4; ++i) {
        text += ch(i);
    }
    text += L"  ";
    for (std::size_t i = kDatePos; i < kDatePos + kDateLength; ++i) {
        text += ch(i);
    }
    return text;
}

LoadResult LoadPackage(PackageFile& file, ImageTable& table, std::uint16_t& vid,
                       std::uint16_t& pid) {
    // A signature covers the file up to its certificate table and not the
    // table itself, so a signed file's package is what stands before the
    // table: nothing inside or after it is read, whatever it holds. Every rule
    // below reads the file as if it ended with the package.
    std::uint64_t fileSize = file.Size();
    const SignatureLookup signature = LookUpSignature(file);
    switch (signature.state) {
        case SignatureState::Unsigned:
            break;
        case SignatureState::Unreadable:
            return Failure(kErrorTrailerRead);
        case SignatureState::BadTable:
            return Failure(kErrorCertificateTable, /*fileError=*/true);
        case SignatureState::Signed: {
            const std::optional<std::uint64_t> packageEnd = PackageEndBefore(file, signature.table);
            if (!packageEnd) {
                return Failure(kErrorTrailerMagic);
            }
            fileSize = *packageEnd;
            break;
        }
    }
    table.m_dwPackageFileSize = static_cast<std::uint32_t>(fileSize);

    std::array<std::uint8_t, kRecordSize> trailer{};
    if (fileSize < kRecordSize || !file.ReadAt(fileSize - kRecordSize, trailer)) {
        return Failure(kErrorTrailerRead);
    }
    if (!IsRecordAt(trailer, 0)) {
        return Failure(kErrorTrailerMagic);
    }
    const auto* fields = reinterpret_cast<const char*>(trailer.data());
    if (ParseHex4(fields + kVidPos, &vid) != 0) {
        return Failure(kErrorVid);
    }
    if (ParseHex4(fields + kPidPos, &pid) != 0) {
        return Failure(kErrorPid);
    }

    // The window cannot start before the file, and image offsets are 32-bit.
    if (fileSize < kSearchWindowSize || fileSize > UINT32_MAX) {
        return Failure(kErrorWindowRead);
    }
    const std::uint64_t windowStart = fileSize - kSearchWindowSize;
    // Filled by the read before anything looks at it, so it is not zeroed first.
    const auto storage = std::make_unique_for_overwrite<std::uint8_t[]>(kSearchWindowSize);
    const std::span<std::uint8_t> buffer(storage.get(), kSearchWindowSize);
    if (!file.ReadAt(windowStart, buffer)) {
        return Failure(kErrorWindowRead);
    }

    const RecordScan scan = ScanForRecords(buffer);
    if (scan.count != kRecordCount) {
        return Failure(kErrorRecords);
    }
    for (int k = 0; k < kImageCount; ++k) {
        // Records closer than a record's length overlap: no image fits between them.
        const std::size_t distance = scan.first[k + 1] - scan.first[k];
        if (distance <= kRecordSize) {
            return Failure(kErrorRecords, /*fileError=*/true);
        }
        table.m_dwImageLength[k] = static_cast<std::uint32_t>(distance - kRecordSize);
    }
    for (int k = 0; k < kImageCount; ++k) {
        table.m_dwImageOffset[k] =
            static_cast<std::uint32_t>(windowStart + scan.first[k] + kRecordSize);
    }

    table.m_byCodeVersion[0] = trailer[kVersionLetterPos];
    for (std::size_t i = 1; i < 4; ++i) {
        table.m_byCodeVersion[i] = static_cast<std::uint8_t>(trailer[kVersionLetterPos + i] - '0');
    }

    const auto sumImage = [&](int image, std::uint16_t& sum) {
        const std::span<std::uint8_t> bytes(buffer.data(), table.m_dwImageLength[image]);
        if (!file.ReadAt(table.m_dwImageOffset[image], bytes)) {
            return false;
        }
        sum = SumBytes(bytes);
        return true;
    };
    if (!sumImage(0, table.m_wImage0Sum) || !sumImage(4, table.m_wImage4Sum)) {
        return Failure(kErrorRecords);
    }

    table.m_chUpdatePlan = static_cast<char>(trailer[kUpdatePlanPos]);
    return LoadResult{.code = 0, .fileError = false, .versionText = FormatVersionText(trailer)};
}

bool ReadImageBytes(PackageFile& file, const ImageTable& table, int image, std::uint32_t position,
                    std::span<std::uint8_t> out) {
    if (image < 0 || image >= kImageCount) {
        return false;
    }
    const std::uint32_t length = table.m_dwImageLength[image];
    if (position > length || out.size() > length - position) {
        return false;
    }
    return file.ReadAt(std::uint64_t{table.m_dwImageOffset[image]} + position, out);
}

}  // namespace package
