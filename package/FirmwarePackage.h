#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "package/PackageFile.h"

// The firmware package appended to the executable: five images, each opened by
// a 34-byte ASCII header record, and a trailer record that ends the file. All
// of it lies in the file's last 512 KiB, the search window.
namespace package {

inline constexpr std::size_t kRecordSize = 34;
inline constexpr std::uint32_t kSearchWindowSize = 0x80000;
inline constexpr int kImageCount = 5;
inline constexpr int kRecordCount = kImageCount + 1;

// Byte positions inside a header record.
inline constexpr std::size_t kMagicPos = 0;          // "5A"
inline constexpr std::size_t kVersionLetterPos = 3;  // E, L or V
inline constexpr std::size_t kVersionDigitsPos = 4;  // three decimal digits
inline constexpr std::size_t kDatePos = 8;           // "yyyy/mm/dd"
inline constexpr std::size_t kDateLength = 10;
inline constexpr std::size_t kSecondMagicPos = 19;  // "KR"
inline constexpr std::size_t kVidPos = 22;
inline constexpr std::size_t kPidPos = 27;
inline constexpr std::size_t kUpdatePlanPos = 32;

// Numbered failures of the load, as the log shows them.
inline constexpr int kErrorOpen = 59;
inline constexpr int kErrorTrailerRead = 60;
inline constexpr int kErrorTrailerMagic = 61;
inline constexpr int kErrorWindowRead = 62;
inline constexpr int kErrorRecords = 63;
inline constexpr int kErrorVid = 64;
inline constexpr int kErrorPid = 65;
// The header names a certificate table that does not lie inside the file and
// end it: no signing tool writes one, so where the package ends is unknown.
inline constexpr int kErrorCertificateTable = 66;

// Where the images lie in the file and what the device is told about them.
// Filled once by the load and read-only afterwards.
struct ImageTable {
    // The file's size as the package sees it: up to the trailer's last byte,
    // which is the file's end unless the file is signed: then the package
    // stands before the certificate table.
    std::uint32_t m_dwPackageFileSize = 0;
    std::array<std::uint32_t, kImageCount> m_dwImageOffset{};
    std::array<std::uint32_t, kImageCount> m_dwImageLength{};
    std::uint16_t m_wImage0Sum = 0;
    std::uint16_t m_wImage4Sum = 0;
    // Letter, then the three version digits as values (the digit "1" is 1).
    std::array<std::uint8_t, 4> m_byCodeVersion{};
    char m_chUpdatePlan = 0;
};

struct LoadResult {
    int code = 0;            // 0 when the package loaded, else the failure's number
    bool fileError = false;  // the failure reads "ISP file error" rather than "ISP error"
    std::wstring versionText;

    bool Ok() const { return code == 0; }
    // "ISP error 63!", "ISP file error 63!", ...; empty when the load worked.
    std::wstring LogLine() const;
};

// Four ASCII hexadecimal digits, most significant first, either case. Returns 0
// and writes the value, or 1 and leaves the value untouched.
int ParseHex4(const char* text, std::uint16_t* value);

// Whether a window position starts a header record: "5A" at 0-1 and "KR" at 19-20.
bool IsRecordAt(std::span<const std::uint8_t> bytes, std::size_t position);

struct RecordScan {
    std::size_t count = 0;                          // every match in the window
    std::array<std::size_t, kRecordCount> first{};  // positions of the first six
};
RecordScan ScanForRecords(std::span<const std::uint8_t> window);

// Loads the package from an open file. The vendor and product IDs are written
// as soon as each is parsed, so a later failure leaves the earlier one set.
LoadResult LoadPackage(PackageFile& file, ImageTable& table, std::uint16_t& vid,
                       std::uint16_t& pid);

// The version label's text from a trailer record:
// "Tool Ver:E117C Code Ver:E117  2021/05/26" for the shipped package.
std::wstring FormatVersionText(std::span<const std::uint8_t, kRecordSize> trailer);

// Reads bytes of one image by position; refuses any read that would leave the
// image, so no caller can send bytes of a neighbouring record or image.
bool ReadImageBytes(PackageFile& file, const ImageTable& table, int image, std::uint32_t position,
                    std::span<std::uint8_t> out);

}  // namespace package
