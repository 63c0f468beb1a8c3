#include "app/win32/LogOutputs.h"

#include <string>

namespace {

bool WriteAll(HANDLE handle, const std::string& bytes) {
    DWORD written = 0;
    return ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

LogStamp LocalStamp() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return LogStamp{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                    now.wMinute, now.wSecond, now.wMilliseconds};
}

}  // namespace

ConsoleOutput::ConsoleOutput() {
    HANDLE given = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (given == INVALID_HANDLE_VALUE) {
        given = nullptr;
    }
    if (given == nullptr && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        m_attached.Reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
        given = m_attached.IsValid() ? m_attached.Get() : nullptr;
    }
    m_handle = given;
    DWORD mode = 0;
    m_isConsole = m_handle != nullptr && ::GetConsoleMode(m_handle, &mode);
}

void ConsoleOutput::WriteLine(std::wstring_view text) const {
    if (m_handle == nullptr) {
        return;
    }
    if (m_isConsole) {
        const std::wstring line = std::wstring(text) + L"\r\n";
        DWORD written = 0;
        static_cast<void>(::WriteConsoleW(m_handle, line.data(), static_cast<DWORD>(line.size()),
                                          &written, nullptr));
        return;
    }
    static_cast<void>(WriteAll(m_handle, Utf8(text) + "\r\n"));
}

bool LogFile::Open(const std::wstring& path) {
    // Appended to, never truncated, and readable by others while it grows.
    m_file.Reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_file.IsValid();
}

void LogFile::WriteLine(std::wstring_view text) const {
    if (m_file.IsValid()) {
        static_cast<void>(WriteAll(m_file.Get(), LogFileLine(LocalStamp(), text)));
    }
}

void LogOutputs::Write(const LogRecord& record) {
    const std::optional<std::wstring> line = m_lines.LineFor(record);
    if (!line) {
        return;
    }
    if (m_file != nullptr) {
        m_file->WriteLine(*line);
    }
    if (m_console != nullptr) {
        m_console->WriteLine(*line);
    }
}

void LogOutputs::Say(std::wstring_view text) const {
    if (m_console != nullptr) {
        m_console->WriteLine(text);
    }
}
