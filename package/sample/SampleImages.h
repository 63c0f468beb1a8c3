#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "package/FirmwarePackage.h"

namespace package {

// The sample package the build appends: images of the shipped sizes whose
// byte sums are those the shipped images give the device (image 0 and image
// 4), under the shipped record. The bytes are pseudo-random from fixed seeds,
// so every build produces the same package.
class SampleImages {
public:
    static constexpr std::string_view kRecord = "5A/E117/2021/05/26/KR/10c4/f607/3/";
    static constexpr std::array<std::size_t, kImageCount> kLengths{17843, 8192, 262144, 512,
                                                                   138416};
    // Only images 0 and 4 have sums the device is told about.
    static constexpr std::array<std::optional<std::uint16_t>, kImageCount> kSums{
        0xAE17, std::nullopt, std::nullopt, std::nullopt, 0x37A1};

    static constexpr std::string_view kRecordFileName = "record.txt";
    static std::string ImageFileName(int image);  // "image0.bin" ... "image4.bin"

    static std::vector<std::uint8_t> Image(int image);

    // Writes the five images and the record file into the folder; on failure
    // returns false and names what could not be written.
    static bool WriteTo(const std::filesystem::path& folder, std::string& error);
};

}  // namespace package
