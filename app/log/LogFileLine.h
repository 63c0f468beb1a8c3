#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/log/LogRecord.h"

// A log line as the log file keeps it: local time to the millisecond, the
// line's text, CR LF, in UTF-8 whatever the width of wchar_t.
struct LogStamp {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Text that cannot be encoded (a lone surrogate, a value past U+10FFFF)
// becomes U+FFFD, so one bad character never loses the line.
std::string Utf8(std::wstring_view text);
std::string LogFileLine(const LogStamp& stamp, std::wstring_view text);

// The line a copy of the log (a file, a console) gets for a record: a text
// record's text; for progress "NN%", at most one line per percent.
class LogCopyLines {
public:
    std::optional<std::wstring> LineFor(const LogRecord& record);

private:
    int m_lastPercent = -1;
};
