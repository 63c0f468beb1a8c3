#include "app/win32/LogOutputs.h"

#include <string>

#include "app/log/LogFilePath.h"

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

namespace {

// The path made full (a relative one keeps meaning the current folder) and
// long (no 8.3 short names), as the system's final path spells it.
std::wstring FullLongPath(const std::wstring& path) {
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD fullLength =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (fullLength == 0 || fullLength >= full.size()) {
        return path;
    }
    full.resize(fullLength);
    std::wstring longPath(::GetLongPathNameW(full.c_str(), nullptr, 0), L'\0');
    const DWORD longLength =
        ::GetLongPathNameW(full.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    if (longLength == 0 || longLength >= longPath.size()) {
        return full;
    }
    longPath.resize(longLength);
    return longPath;
}

// The path the system reached the open file by, without its volume.
std::wstring FinalPath(HANDLE file) {
    constexpr DWORD kFlags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    std::wstring path(::GetFinalPathNameByHandleW(file, nullptr, 0, kFlags), L'\0');
    const DWORD length =
        ::GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()), kFlags);
    path.resize(length < path.size() ? length : 0);
    return path;
}

}  // namespace

std::optional<std::wstring> LogFile::Open(const std::wstring& path) {
    if (std::optional<std::wstring> refusal = LogPathRefusal(path)) {
        return refusal;
    }
    // Appended to, never truncated, and readable by others while it grows. A
    // link at the end of the path is opened itself, not followed, and a pipe's
    // server learns nothing it could act as this process with.
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                                            SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                        nullptr));
    if (!file.IsValid()) {
        return L"it cannot be opened (error " + std::to_wstring(::GetLastError()) + L")";
    }
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;

    OpenedLogFile opened;
    opened.onDisk = ::GetFileType(file.Get()) == FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION information{};
    if (opened.onDisk && ::GetFileInformationByHandle(file.Get(), &information)) {
        opened.directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        opened.reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        opened.links = information.nNumberOfLinks;
    } else {
        opened.onDisk = false;
    }
    opened.givenPath = FullLongPath(path);
    opened.finalPath = FinalPath(file.Get());
    if (std::optional<std::wstring> refusal = OpenedLogFileRefusal(opened)) {
        if (created) {
            // Through the handle: the name may lead elsewhere by now.
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            static_cast<void>(::SetFileInformationByHandle(file.Get(), FileDispositionInfo,
                                                           &disposition, sizeof(disposition)));
        }
        return refusal;
    }
    m_file = std::move(file);
    return std::nullopt;
}

void LogFile::WriteLine(std::wstring_view text) const {
    if (m_file.IsValid()) {
        static_cast<void>(WriteAll(m_file.Get(), LogFileLine(LocalStamp(), text)));
    }
}

void LogFile::WriteText(std::wstring_view text) const {
    if (m_file.IsValid()) {
        static_cast<void>(WriteAll(m_file.Get(), Utf8(text) + "\r\n"));
    }
}

LogOutputs::LogOutputs(const ConsoleOutput* console, const LogFile* file) : m_file(file) {
    if (console != nullptr && console->Present()) {
        m_console = std::make_unique<ConsoleQueue>(
            [console](const std::wstring& line) { console->WriteLine(line); });
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
    if (m_console) {
        static_cast<void>(m_console->Post(*line));
    }
}

void LogOutputs::Say(std::wstring_view text) {
    if (m_console) {
        static_cast<void>(m_console->PostAndWait(std::wstring(text), kSayTimeout));
    }
}
