#include "testbed/vendor_tools/StandInAnswer.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

// About 61 bytes a line: 20,000 lines make more than 1 MB.
constexpr unsigned long kDefaultFloodLines = 20000;
constexpr std::size_t kJunkBytes = std::size_t{64} * 1024;
constexpr std::string_view kFloodLineText =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\r\n";

// The number in the base, at least `digits` digits, zero-padded.
std::string PaddedNumber(unsigned long number, int base, int digits) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number, base);
    std::string text(buffer.data(), result.ptr);
    if (static_cast<int>(text.size()) < digits) {
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    }
    return text;
}

}  // namespace

std::optional<StandInMode> ReadStandInMode(const char* variable) {
    const char* const value = std::getenv(variable);
    if (value == nullptr || std::strcmp(value, "normal") == 0) {
        return StandInMode::Normal;
    }
    struct Name {
        const char* text;
        StandInMode mode;
    };
    static constexpr Name kNames[] = {
        {"silent", StandInMode::Silent}, {"flood", StandInMode::Flood},
        {"stderr", StandInMode::StdErr}, {"notoken", StandInMode::NoToken},
        {"junk", StandInMode::Junk},     {"hang", StandInMode::Hang},
    };
    for (const Name& name : kNames) {
        if (std::strcmp(value, name.text) == 0) {
            return name.mode;
        }
    }
    return std::nullopt;
}

unsigned long ReadStandInNumber(const char* variable, unsigned long fallback) {
    const char* const value = std::getenv(variable);
    if (value == nullptr || *value == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long number = std::strtoul(value, &end, 0);
    return *end == '\0' ? number : fallback;
}

void UseBinaryStandardStreams() {
    static_cast<void>(_setmode(_fileno(stdout), _O_BINARY));
    static_cast<void>(_setmode(_fileno(stderr), _O_BINARY));
}

void Emit(std::FILE* stream, std::string_view text) {
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
}

void FlushAll() {
    static_cast<void>(std::fflush(nullptr));
}

std::string HexNumber(unsigned long number, int digits) {
    std::string text = PaddedNumber(number, 16, digits);
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

void WriteFloodLines(std::FILE* stream) {
    const unsigned long lines = ReadStandInNumber("KR_STANDIN_FLOOD_LINES", kDefaultFloodLines);
    for (unsigned long line = 1; line <= lines; ++line) {
        Emit(stream, PaddedNumber(line, 10, 7) + " ");
        Emit(stream, kFloodLineText);
    }
}

void WriteJunk(std::FILE* stream) {
    std::string junk(kJunkBytes, '\0');
    for (std::size_t i = 0; i < kJunkBytes; ++i) {
        junk[i] = static_cast<char>((i * 37 + 11) & 0xFFU);
    }
    Emit(stream, junk);
}

void HangForever() {
    FlushAll();
    if (const char* const eventName = std::getenv("KR_STANDIN_READY_EVENT")) {
        if (HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, eventName)) {
            ::SetEvent(ready);
            ::CloseHandle(ready);
        }
    }
    for (;;) {
        ::Sleep(INFINITE);
    }
}
