#pragma once

#include <windows.h>

#include "tools/ToolOutputReader.h"

// Reads a tool's output from the read end of its pipe, which the caller owns.
// The tools print in the system's ANSI code page; each chunk is converted
// from the calling thread's code page.
class PipeOutputReader final : public ToolOutputReader {
public:
    explicit PipeOutputReader(HANDLE hPipeRead) noexcept : m_hPipeRead(hPipeRead) {}

protected:
    std::optional<std::size_t> ReadChunk(std::span<char> buffer) override;
    std::wstring DecodeChunk(std::span<const char> chunk) override;

private:
    HANDLE m_hPipeRead;
};
