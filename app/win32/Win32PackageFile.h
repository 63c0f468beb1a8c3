#pragma once

#include <windows.h>

#include <string>

#include "framework/OwnedHandle.h"
#include "package/PackageFile.h"

// The running executable, which carries the firmware package, opened for
// reading with shared read access. Image bytes are read on demand by absolute
// offset; each read moves the one file pointer first.
class Win32PackageFile final : public PackageFile {
public:
    bool Open(const std::wstring& path);
    void Close() noexcept { m_hFile.Reset(); }
    bool IsOpen() const noexcept { return m_hFile.IsValid(); }

    std::uint64_t Size() const override;
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    UniqueFileHandle m_hFile;
};
