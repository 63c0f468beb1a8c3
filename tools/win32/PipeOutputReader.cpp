#include "tools/win32/PipeOutputReader.h"

std::optional<std::size_t> PipeOutputReader::ReadChunk(std::span<char> buffer) {
    DWORD read = 0;
    // The read fails once every process holding the write end has ended.
    if (!::ReadFile(m_hPipeRead, buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                    nullptr)) {
        return std::nullopt;
    }
    return read;
}

std::wstring PipeOutputReader::DecodeChunk(std::span<const char> chunk) {
    // A chunk is at most kChunkBytes long, well within an int.
    const int length = static_cast<int>(chunk.size());
    const int needed = ::MultiByteToWideChar(CP_THREAD_ACP, 0, chunk.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(needed), L'\0');
    const int written =
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, chunk.data(), length, text.data(), needed);
    text.resize(static_cast<std::size_t>(written > 0 ? written : 0));
    return text;
}
