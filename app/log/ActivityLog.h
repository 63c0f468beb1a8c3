#pragma once

#include <cstdint>
#include <string>

#include "app/log/LogRecord.h"

// The text rules of the activity log: lines joined by "\r\n", at most about
// 500 lines kept, and progress records that move the bar once the log has
// more than one line. The dialog carries the outcome out on its controls.
class ActivityLog {
public:
    static constexpr std::uint16_t kLineBreakLimit = 500;
    // Trimming looks for the first line feed from here on, so a very short
    // first line goes together with the line after it.
    static constexpr std::size_t kTrimSearchStart = 6;

    struct Outcome {
        bool textChanged = false;    // show Text() in the edit and scroll to its end
        bool progressMoved = false;  // move the bar to progress
        std::uint16_t progress = 0;
    };

    Outcome Append(const LogRecord& record);
    void Clear();

    const std::wstring& Text() const { return m_strLog; }
    std::uint16_t LineBreaks() const { return m_wLogLines; }

private:
    std::wstring m_strLog;
    std::uint16_t m_wLogLines = 0;
};
