#pragma once

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
};
