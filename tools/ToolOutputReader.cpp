#include "tools/ToolOutputReader.h"

#include <array>

std::wstring ToolOutputReader::ReadAllText() {
    std::wstring text;
    std::array<char, kChunkBytes> buffer{};
    while (const std::optional<std::size_t> length = ReadChunk(buffer)) {
        if (*length > 0 && text.size() < m_keptCharLimit) {
            text += DecodeChunk(std::span<const char>(buffer.data(), *length));
        }
    }
    return text;
}

void ToolOutputReader::Drain() {
    std::array<char, kChunkBytes> buffer{};
    while (ReadChunk(buffer)) {
    }
}
