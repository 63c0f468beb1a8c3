#include "CheckLog.h"

#include <cstdio>

void PrintLine(std::FILE* stream, std::string_view line) {
    // A lost console leaves the exit code to tell the result; nothing else to do.
    static_cast<void>(std::fwrite(line.data(), 1, line.size(), stream));
    static_cast<void>(std::fputc('\n', stream));
    static_cast<void>(std::fflush(stream));
}

void CheckLog::Check(bool passed, std::string_view what) {
    (passed ? m_passed : m_failed) += 1;
    PrintLine(stdout, std::string(passed ? "ok " : "FAIL ") + std::string(what));
}

void CheckLog::Info(std::string_view what) {
    PrintLine(stdout, "info " + std::string(what));
}

void CheckLog::Summary() const {
    PrintLine(stdout,
              std::to_string(m_passed) + " passed, " + std::to_string(m_failed) + " failed");
}

std::string Quoted(std::wstring_view text) {
    std::wstring escaped;
    for (const wchar_t c : text) {
        switch (c) {
            case L'\r':
                escaped += L"\\r";
                break;
            case L'\n':
                escaped += L"\\n";
                break;
            case L'\t':
                escaped += L"\\t";
                break;
            case L'"':
                escaped += L"\\\"";
                break;
            case L'\\':
                escaped += L"\\\\";
                break;
            default:
                escaped += c;
                break;
        }
    }
    std::string quoted(1, '"');
    quoted += Utf8(escaped);
    quoted += '"';
    return quoted;
}
