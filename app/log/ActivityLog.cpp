#include "app/log/ActivityLog.h"

ActivityLog::Outcome ActivityLog::Append(const LogRecord& record) {
    if (!m_strLog.empty()) {
        if (record.kind == LogProgress) {
            if (m_wLogLines != 0) {
                return Outcome{
                    .textChanged = false, .progressMoved = true, .progress = record.value};
            }
            // With one line in the log the progress text becomes the second line.
            m_strLog += L"\r\n";
            ++m_wLogLines;
        } else if (m_wLogLines < kLineBreakLimit) {
            m_strLog += L"\r\n";
            ++m_wLogLines;
        } else {
            m_strLog += L"\r\n";
            // There is always a line feed from the search start on: one was just appended.
            const std::size_t lineFeed = m_strLog.find(L'\n', kTrimSearchStart);
            m_strLog.erase(0, lineFeed);
        }
    }
    m_strLog += record.text;
    return Outcome{.textChanged = true, .progressMoved = false, .progress = 0};
}

void ActivityLog::Clear() {
    m_strLog.clear();
    m_wLogLines = 0;
}
