#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/PackageFile.h"

// A package file held in memory, whose n-th read can be made to fail as a
// damaged disk would. Reads are counted in 64 bits: a fuzzer keeps one file
// for millions of runs.
class MemoryPackageFile final : public PackageFile {
public:
    explicit MemoryPackageFile(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}

    std::uint64_t Size() const override { return m_bytes.size(); }

    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        ++m_reads;
        if (m_reads == m_failingRead || offset > m_bytes.size() ||
            out.size() > m_bytes.size() - offset) {
            return false;
        }
        std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
        return true;
    }

    // Counting from 1; 0 lets every read succeed.
    void FailRead(std::uint64_t number) { m_failingRead = number; }
    std::uint64_t Reads() const { return m_reads; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_failingRead = 0;
    std::uint64_t m_reads = 0;
};
