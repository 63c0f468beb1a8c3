#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/FirmwarePackage.h"
#include "tests/support/MemoryPackageFile.h"

// The loader over arbitrary file contents. Small inputs are placed at the end
// of a file just longer than the search window, so the fuzzer reaches the
// record scan and the sums instead of stopping at the size check; the first
// byte chooses which read, if any, fails.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int failingRead = data[0] % 6;
    ++data;
    --size;
    std::vector<std::uint8_t> bytes;
    if ((failingRead & 1) != 0) {
        bytes.assign(data, data + size);
    } else {
        bytes.assign(package::kSearchWindowSize + 7, 0);
        const std::size_t copied = std::min(size, bytes.size());
        std::memcpy(bytes.data() + bytes.size() - copied, data + size - copied, copied);
    }
    MemoryPackageFile file(std::move(bytes));
    file.FailRead(failingRead > 4 ? 0 : failingRead);

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
    return 0;
}
