#include "app/log/LogFileLine.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void Append(std::string& out, char32_t c) {
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

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::string Utf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(static_cast<std::uint32_t>(text[i]));
        if (IsHighSurrogate(c) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<char32_t>(static_cast<std::uint32_t>(text[i + 1])))) {
            const auto low = static_cast<char32_t>(static_cast<std::uint32_t>(text[++i]));
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
            c = kReplacement;
        }
        Append(out, c);
    }
    return out;
}

std::optional<std::wstring> LogCopyLines::LineFor(const LogRecord& record) {
    if (record.kind != LogProgress) {
        return record.text;
    }
    if (record.value == m_lastPercent) {
        return std::nullopt;
    }
    m_lastPercent = record.value;
    return std::to_wstring(record.value) + L"%";
}

std::string LogFileLine(const LogStamp& stamp, std::wstring_view text) {
    char prefix[32];
    const int length = std::snprintf(prefix, sizeof(prefix), "%04d-%02d-%02d %02d:%02d:%02d.%03d ",
                                     stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                     stamp.second, stamp.millisecond);
    std::string line(prefix, length > 0 ? static_cast<std::size_t>(length) : 0);
    line += Utf8(text);
    line += "\r\n";
    return line;
}
