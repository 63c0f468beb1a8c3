#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// What goes over the wire, as the HID link sees it: each report out and in,
// the opening and closing of the link, a write that failed, and the
// interfaces that arrive and leave. A link tells it as it happens, on the
// thread where it happens; the trace writes it down.
class LinkTrace {
public:
    virtual ~LinkTrace() = default;

    virtual void Opened(std::wstring_view path, std::uint16_t inputLength,
                        std::uint16_t outputLength) = 0;
    virtual void Closed() = 0;
    // The bytes as they go out, report ID first.
    virtual void Sent(std::span<const std::uint8_t> report) = 0;
    virtual void WriteFailed(std::uint32_t error) = 0;
    // The bytes as they were read, as long as they were read.
    virtual void Received(std::span<const std::uint8_t> report) = 0;
    virtual void Arrived(std::wstring_view path) = 0;
    virtual void Removed(std::wstring_view path) = 0;
};
