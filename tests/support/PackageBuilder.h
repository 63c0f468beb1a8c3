#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Lays out a package file byte by byte, the way a good writer would, so tests
// can then damage exactly the part they are about.
struct TestPackage {
    static constexpr std::string_view kShippedRecord = "5A/E117/2021/05/26/KR/10c4/f607/3/";

    std::vector<std::uint8_t> bytes;
    std::array<std::size_t, 6> recordAt{};  // file offsets of the six records
    std::array<std::size_t, 5> imageAt{};   // file offsets of the five images

    // prefix: bytes of the "executable" before the package; each image is
    // filled with a repeating byte pattern that never forms a record.
    static TestPackage Build(std::size_t prefix, const std::array<std::size_t, 5>& lengths,
                             std::string_view record = kShippedRecord) {
        TestPackage package;
        package.bytes.assign(prefix, 0x90);
        for (std::size_t k = 0; k < 6; ++k) {
            package.recordAt[k] = package.bytes.size();
            package.bytes.insert(package.bytes.end(), record.begin(), record.end());
            if (k == 5) {
                break;
            }
            package.imageAt[k] = package.bytes.size();
            for (std::size_t i = 0; i < lengths[k]; ++i) {
                package.bytes.push_back(static_cast<std::uint8_t>((i * 7 + k) % 251));
            }
        }
        return package;
    }

    // Sum of one image's bytes modulo 65,536, as the loader computes it.
    std::uint16_t Sum(std::size_t image, std::size_t length) const {
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            sum += bytes[imageAt[image] + i];
        }
        return static_cast<std::uint16_t>(sum);
    }

    void Put(std::size_t offset, std::string_view text) {
        std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    }

    void PutLe16(std::size_t offset, std::uint16_t value) {
        bytes[offset] = static_cast<std::uint8_t>(value);
        bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8U);
    }

    void PutLe32(std::size_t offset, std::uint32_t value) {
        PutLe16(offset, static_cast<std::uint16_t>(value));
        PutLe16(offset + 2, static_cast<std::uint16_t>(value >> 16U));
    }

    // Where the PE header starts and where its security entry lies, for the
    // header that PutPeHeader writes into the executable's first bytes.
    static constexpr std::size_t kPeHeaderAt = 0x80;
    static constexpr std::size_t kOptionalHeaderAt = kPeHeaderAt + 24;
    std::size_t SecurityEntryAt() const {
        return kOptionalHeaderAt + (pe32Plus ? 112 : 96) + 4 * 8;
    }
    // End of the headers: optional header and three section headers.
    std::size_t HeadersEnd() const { return kOptionalHeaderAt + (pe32Plus ? 240 : 224) + 3 * 40; }

    // The DOS stub's magic and pointer, the PE signature, a file header with
    // three sections and an optional header of the usual size for a 32- or a
    // 64-bit image with all sixteen data directories, the security entry empty.
    void PutPeHeader(bool sixtyFourBit = true) {
        pe32Plus = sixtyFourBit;
        std::fill(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(HeadersEnd()), 0);
        Put(0, "MZ");
        PutLe32(0x3C, kPeHeaderAt);
        Put(kPeHeaderAt, std::string_view("PE\0\0", 4));
        PutLe16(kPeHeaderAt + 4, sixtyFourBit ? 0x8664 : 0x14C);
        PutLe16(kPeHeaderAt + 6, 3);
        PutLe16(kPeHeaderAt + 20, pe32Plus ? 240 : 224);
        PutLe16(kOptionalHeaderAt, pe32Plus ? 0x20B : 0x10B);
        PutLe32(kOptionalHeaderAt + (pe32Plus ? 108 : 92), 16);
    }

    void PutSecurityEntry(std::uint32_t offset, std::uint32_t size) {
        PutLe32(SecurityEntryAt(), offset);
        PutLe32(SecurityEntryAt() + 4, size);
    }

    // Signs the file as a signing tool does: `padding` zero bytes, then a
    // certificate table of `size` bytes whose one entry fills it, named by the
    // header's security entry. Returns the table's offset.
    std::size_t AppendSignature(std::size_t padding, std::size_t size = 4096) {
        bytes.insert(bytes.end(), padding, 0);
        const std::size_t tableAt = bytes.size();
        bytes.resize(tableAt + size, 0x30);
        PutLe32(tableAt, static_cast<std::uint32_t>(size));
        PutLe16(tableAt + 4, 0x0200);
        PutLe16(tableAt + 6, 0x0002);
        PutSecurityEntry(static_cast<std::uint32_t>(tableAt), static_cast<std::uint32_t>(size));
        return tableAt;
    }

    bool pe32Plus = true;  // the kind of header PutPeHeader wrote last
};
