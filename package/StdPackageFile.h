#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

#include "package/PackageFile.h"

// A package file over the C library's streams, for the package writer and for
// native tests. The product itself reads through its Windows file handle.
class StdPackageFile final : public PackageFile {
public:
    // Opens the file for reading; IsOpen() tells whether it worked.
    explicit StdPackageFile(const std::filesystem::path& path);

    bool IsOpen() const { return m_file != nullptr; }
    std::uint64_t Size() const override { return m_size; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    struct Closer {
        void operator()(std::FILE* file) const { (void)std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> m_file;
    std::uint64_t m_size = 0;
};
