#pragma once

#include <cstdint>
#include <string>

// WM_USER + 3: carries one heap-allocated LogRecord from any thread to the
// dialog, which takes ownership and releases it.
inline constexpr unsigned kWmIspLog = 0x0403;

enum LogKind : std::int32_t {
    LogText = 0,      // a line of the activity log
    LogProgress = 1,  // a progress value, with the text shown when the log is nearly empty
};

struct LogRecord {
    std::wstring text;  // the line, without line break
    std::uint16_t value = 0;
    std::int32_t kind = LogText;
};
