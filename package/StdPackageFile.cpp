#include "package/StdPackageFile.h"

#include <system_error>

StdPackageFile::StdPackageFile(const std::filesystem::path& path)
    : m_file(
#ifdef _WIN32
          _wfopen(path.c_str(), L"rb")
#else
          std::fopen(path.c_str(), "rb")
#endif
      ) {
    if (m_file) {
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        if (error) {
            m_file.reset();
        } else {
            m_size = size;
        }
    }
}

bool StdPackageFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!m_file || offset > m_size || out.size() > m_size - offset) {
        return false;
    }
#ifdef _WIN32
    if (_fseeki64(m_file.get(), static_cast<long long>(offset), SEEK_SET) != 0) {
        return false;
    }
#else
    if (fseeko(m_file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
        return false;
    }
#endif
    return std::fread(out.data(), 1, out.size(), m_file.get()) == out.size();
}
