#include "app/win32/Win32PackageFile.h"

#include <algorithm>

#include "package/ExtendedLengthPath.h"

bool Win32PackageFile::Open(const std::wstring& path) {
    m_hFile.Reset(::CreateFileW(package::ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    return m_hFile.IsValid();
}

std::uint64_t Win32PackageFile::Size() const {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_hFile.Get(), &size)) {
        return 0;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool Win32PackageFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(m_hFile.Get(), position, nullptr, FILE_BEGIN)) {
        return false;
    }
    // ReadFile takes 32-bit counts; read in pieces, and any short piece fails.
    std::size_t done = 0;
    while (done < out.size()) {
        const auto wanted =
            static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 0x40000000));
        DWORD read = 0;
        if (!::ReadFile(m_hFile.Get(), out.data() + done, wanted, &read, nullptr) ||
            read != wanted) {
            return false;
        }
        done += read;
    }
    return true;
}
