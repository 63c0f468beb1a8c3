#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "package/FirmwarePackage.h"
#include "package/PackageFile.h"

// The loader over arbitrary file contents. Small inputs are placed at the end
// of a file just longer than the search window, so the fuzzer reaches the
// record scan and the sums instead of stopping at the size check; the first
// byte chooses which read, if any, fails.
namespace {

// A file over bytes that the harness keeps between inputs, so each input
// costs only its own bytes.
class ViewPackageFile final : public PackageFile {
public:
    ViewPackageFile(std::span<const std::uint8_t> bytes, int failingRead)
        : m_bytes(bytes), m_failingRead(failingRead) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (++m_reads == m_failingRead || offset > m_bytes.size() ||
            out.size() > m_bytes.size() - offset) {
            return false;
        }
        std::memcpy(out.data(), m_bytes.data() + offset, out.size());
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    int m_failingRead;
    int m_reads = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> padded(package::kSearchWindowSize + 7, 0);
    if (size == 0) {
        return 0;
    }
    const int failingRead = data[0] % 6;
    ++data;
    --size;
    std::span<const std::uint8_t> bytes(data, size);
    std::size_t copied = 0;
    if ((failingRead & 1) == 0) {
        copied = std::min(size, padded.size());
        std::memcpy(padded.data() + padded.size() - copied, data + size - copied, copied);
        bytes = padded;
    }
    ViewPackageFile file(bytes, failingRead > 4 ? 0 : failingRead);

    package::ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    const package::LoadResult result = package::LoadPackage(file, table, vid, pid);
    if (result.Ok()) {
        // A loaded table must describe images that lie inside the file.
        for (int k = 0; k < package::kImageCount; ++k) {
            if (table.m_dwImageLength[k] == 0 ||
                std::uint64_t{table.m_dwImageOffset[k]} + table.m_dwImageLength[k] > file.Size()) {
                __builtin_trap();
            }
        }
    } else if (result.LogLine().empty()) {
        __builtin_trap();
    }
    // The padding is all zeros again for the next input.
    std::memset(padded.data() + padded.size() - copied, 0, copied);
    return 0;
}
