#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The file that carries the firmware package: the running executable in the
// product, any file in tests and in the package writer. Image bytes are always
// read on demand by absolute offset, so nothing of the images stays in memory.
class PackageFile {
public:
    virtual ~PackageFile() = default;

    virtual std::uint64_t Size() const = 0;

    // Reads exactly out.size() bytes starting at the absolute file offset.
    // A short read counts as a failure: bytes that were not read are never used.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};
