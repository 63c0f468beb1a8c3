#pragma once

#include <cstddef>
#include <cwchar>
#include <iterator>
#include <string>

// A log line formatted the way the dock's users know it ("%6u", "0X%X", ...).
// Every line the flow formats is short; one that does not fit comes out empty.
template <typename... Args>
std::wstring FormatLogLine(const wchar_t* format, Args... args) {
    wchar_t buffer[96];
    const int length = std::swprintf(buffer, std::size(buffer), format, args...);
    return length < 0 ? std::wstring() : std::wstring(buffer, static_cast<std::size_t>(length));
}
