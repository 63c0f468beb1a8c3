#include "CheckLog.h"

#include <cstdio>

void PrintLine(std::FILE* stream, std::string_view line) {
    // A lost console leaves the exit code to tell the result; nothing else to do.
    static_cast<void>(std::fwrite(line.data(), 1, line.size(), stream));
    static_cast<void>(std::fputc('\n', stream));
    static_cast<void>(std::fflush(stream));
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

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

std::string Utf8(std::wstring_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            const auto low = static_cast<char32_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
    return out;
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
