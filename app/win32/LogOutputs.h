#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/log/ConsoleQueue.h"
#include "app/log/LogFileLine.h"
#include "framework/OwnedHandle.h"

// Where the tool writes text for whoever started it: the standard output it
// was given (a pipe or file when the starter redirected it), else the console
// of the process that started it. A program started from a desktop icon or a
// deployment service has neither, and writes nowhere.
class ConsoleOutput {
public:
    ConsoleOutput();
    // Writes nowhere: for a front end that has nothing to say on a console.
    static ConsoleOutput None() { return ConsoleOutput(Absent{}); }
    bool Present() const { return m_handle != nullptr; }
    void WriteLine(std::wstring_view text) const;

private:
    struct Absent {};
    explicit ConsoleOutput(Absent /*absent*/) {}

    HANDLE m_handle = nullptr;  // not owned: the process's standard output or console
    bool m_isConsole = false;
    UniqueFileHandle m_attached;  // the starter's console, when attached to it
};

// The log file that support or a deployment system asks for with /l=FILE:
// every line of the log appended with the local time, in UTF-8.
class LogFile {
public:
    // Opens FILE for appending, created when missing, and keeps it only when
    // it is a plain file on a disk reached by the path as given. Otherwise the
    // reason, and a file this open created is deleted again.
    std::optional<std::wstring> Open(const std::wstring& path);
    bool IsOpen() const { return m_file.IsValid(); }
    void WriteLine(std::wstring_view text) const;
    // A line as it stands, with no time stamp: a trace's.
    void WriteText(std::wstring_view text) const;

private:
    UniqueFileHandle m_file;
};

// The copies of the log a front end keeps besides its window (or instead of
// it): the log file when one was asked for, and the console when there is one.
// The console is written on a thread of its own: when nobody reads it, its
// log and progress lines are dropped, and the flow goes on.
class LogOutputs {
public:
    // How long a line that scripts read waits for the console.
    static constexpr std::chrono::milliseconds kSayTimeout{10000};

    LogOutputs(const ConsoleOutput* console, const LogFile* file);
    void Write(const LogRecord& record);
    // A line that is not part of the log, for the console only (a check's
    // summary, which scripts read).
    void Say(std::wstring_view text);

private:
    const LogFile* m_file;
    std::unique_ptr<ConsoleQueue> m_console;
    LogCopyLines m_lines;
};
