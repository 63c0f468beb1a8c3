#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "package/CertificateTable.h"
#include "package/FirmwarePackage.h"
#include "package/PackageFile.h"

// The loader over arbitrary file contents. The first byte chooses the layout
// and which read, if any, fails. Small inputs are placed at the end of a file
// longer than the search window, so the fuzzer reaches the record scan and the
// sums instead of stopping at the size check; in the header layout the input's
// first bytes also become the file's first bytes, where the PE header and its
// security entry lie, so signed layouts are reached as well.
namespace {

// A file over bytes that the harness keeps between inputs, so each input
// costs only its own bytes.
class ViewPackageFile final : public PackageFile {
public:
    ViewPackageFile(std::span<const std::uint8_t> bytes, unsigned failingRead)
        : m_bytes(bytes), m_failingRead(failingRead) {}
    std::uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (++m_reads == m_failingRead || offset > m_bytes.size() ||
            out.size() > m_bytes.size() - offset) {
            return false;
        }
        std::memcpy(out.data(), m_bytes.data() + offset, out.size());
        m_readEnd = std::max(m_readEnd, offset + out.size());
        return true;
    }
    // One past the last byte any read has returned.
    std::uint64_t ReadEnd() const { return m_readEnd; }

private:
    std::span<const std::uint8_t> m_bytes;
    unsigned m_failingRead;
    unsigned m_reads = 0;
    std::uint64_t m_readEnd = 0;
};

}  // namespace

// Layouts chosen by bits 4-5 of the first byte; bits 0-3 name the read that
// fails, counting from 1 (0: none).
enum class Layout { kTail, kWholeFile, kHeaderAndTail };
constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kPaddedSize = package::kSearchWindowSize + 1024;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> padded(kPaddedSize, 0);
    if (size == 0) {
        return 0;
    }
    const unsigned failingRead = data[0] & 0x0FU;
    const auto layout = static_cast<Layout>((data[0] >> 4U) % 3U);
    ++data;
    --size;
    std::span<const std::uint8_t> bytes(data, size);
    std::size_t head = 0;
    std::size_t tail = 0;
    if (layout != Layout::kWholeFile) {
        if (layout == Layout::kHeaderAndTail) {
            head = std::min(size, kHeaderBytes);
            std::memcpy(padded.data(), data, head);
        }
        tail = std::min(size - head, padded.size() - head);
        std::memcpy(padded.data() + padded.size() - tail, data + size - tail, tail);
        bytes = padded;
    }
    ViewPackageFile file(bytes, failingRead);

    package::ImageTable table;
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    const package::LoadResult result = package::LoadPackage(file, table, vid, pid);
    // A signed file is read only up to its certificate table, whatever the
    // table holds and whether or not the load succeeds.
    ViewPackageFile again(bytes, 0);
    const package::SignatureLookup signature = package::LookUpSignature(again);
    if (signature.state == package::SignatureState::Signed &&
        file.ReadEnd() > signature.table.offset) {
        __builtin_trap();
    }
    if (result.Ok()) {
        // A loaded table describes images that lie inside the package, and the
        // package ends an unsigned file or stands right before the table of a
        // signed one.
        const std::uint64_t packageEnd = table.m_dwPackageFileSize;
        if (packageEnd > file.Size()) {
            __builtin_trap();
        }
        for (int k = 0; k < package::kImageCount; ++k) {
            if (table.m_dwImageLength[k] == 0 ||
                std::uint64_t{table.m_dwImageOffset[k]} + table.m_dwImageLength[k] > packageEnd) {
                __builtin_trap();
            }
        }
        if (signature.state == package::SignatureState::Signed
                ? packageEnd > signature.table.offset ||
                      signature.table.offset - packageEnd > package::kMaxSignaturePadding
                : packageEnd != file.Size()) {
            __builtin_trap();
        }
    } else if (result.LogLine().empty()) {
        __builtin_trap();
    }
    // The padded file is all zeros again for the next input.
    std::memset(padded.data(), 0, head);
    std::memset(padded.data() + padded.size() - tail, 0, tail);
    return 0;
}
