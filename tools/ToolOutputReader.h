#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

// Reads what a vendor tool prints, chunk by chunk, for as long as the tool
// writes. Reading while the tool runs is what keeps a talkative tool from
// stalling on a full pipe, also when nothing it prints is wanted.
class ToolOutputReader {
public:
    static constexpr std::size_t kChunkBytes = 1024;
    // Text kept from one run at most; a tool that prints without end is still
    // read to its end, but what comes past this is dropped.
    static constexpr std::size_t kKeptCharLimit = std::size_t{16} * 1024 * 1024;

    explicit ToolOutputReader(std::size_t keptCharLimit = kKeptCharLimit)
        : m_keptCharLimit(keptCharLimit) {}
    virtual ~ToolOutputReader() = default;
    ToolOutputReader(const ToolOutputReader&) = delete;
    ToolOutputReader& operator=(const ToolOutputReader&) = delete;

    // Reads to the end of the output and returns the chunks, each decoded by
    // itself, in the order they were read.
    std::wstring ReadAllText();
    // Reads to the end of the output and keeps nothing.
    void Drain();

protected:
    // Reads the next chunk into `buffer`: how many bytes it holds (possibly
    // none), or nothing once the output has ended or cannot be read.
    virtual std::optional<std::size_t> ReadChunk(std::span<char> buffer) = 0;
    // The text of one chunk's bytes; never called for an empty chunk.
    virtual std::wstring DecodeChunk(std::span<const char> chunk) = 0;

private:
    std::size_t m_keptCharLimit;
};
