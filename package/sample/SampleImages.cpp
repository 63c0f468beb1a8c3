#include "package/sample/SampleImages.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <span>
#include <system_error>

namespace package {
namespace {

// No image byte is the first byte of the record pattern, so no pattern can
// start inside an image, whatever record or image lies next to it.
constexpr std::uint8_t kPatternStart = '5';

// Moves the byte sum to the target by changing the last bytes as little as
// needed, each staying a byte and none becoming the pattern's first byte.
void AdjustSum(std::vector<std::uint8_t>& bytes, std::uint16_t target) {
    std::uint32_t sum = 0;
    for (const std::uint8_t byte : bytes) {
        sum += byte;
    }
    // The short way round the 16-bit circle: up or down by at most 32768.
    int remaining = static_cast<std::uint16_t>(target - sum);
    if (remaining > 0x8000) {
        remaining -= 0x10000;
    }
    for (auto byte = bytes.rbegin(); remaining != 0 && byte != bytes.rend(); ++byte) {
        const int value = *byte;
        int change =
            remaining > 0 ? std::min(remaining, 0xFF - value) : std::max(remaining, -value);
        if (value + change == kPatternStart) {
            change += change > 0 ? -1 : 1;
        }
        *byte = static_cast<std::uint8_t>(value + change);
        remaining -= change;
    }
}

bool WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace

std::string SampleImages::ImageFileName(int image) {
    return "image" + std::to_string(image) + ".bin";
}

std::vector<std::uint8_t> SampleImages::Image(int image) {
    // The Mersenne Twister's output is fixed by the C++ standard, so the same
    // seed gives the same bytes with every compiler and library.
    std::mt19937 generator(0x4B520000U + static_cast<std::uint32_t>(image));
    std::vector<std::uint8_t> bytes(kLengths[image]);
    for (std::uint8_t& byte : bytes) {
        do {
            byte = static_cast<std::uint8_t>(generator() & 0xFFU);
        } while (byte == kPatternStart);
    }
    if (const auto sum = kSums[image]) {
        AdjustSum(bytes, *sum);
    }
    return bytes;
}

bool SampleImages::WriteTo(const std::filesystem::path& folder, std::string& error) {
    std::error_code created;
    std::filesystem::create_directories(folder, created);
    if (created) {
        error = "cannot create the folder '" + folder.string() + "': " + created.message();
        return false;
    }
    for (int k = 0; k < kImageCount; ++k) {
        const std::filesystem::path path = folder / ImageFileName(k);
        if (!WriteFile(path, Image(k))) {
            error = "cannot write '" + path.string() + "'";
            return false;
        }
    }
    const std::filesystem::path recordPath = folder / kRecordFileName;
    const auto* record = reinterpret_cast<const std::uint8_t*>(kRecord.data());
    if (!WriteFile(recordPath, std::span(record, kRecord.size()))) {
        error = "cannot write '" + recordPath.string() + "'";
        return false;
    }
    return true;
}

}  // namespace package
