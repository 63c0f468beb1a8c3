#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/log/ConsoleQueue.h"
#include "app/trace/TraceWriter.h"
#include "app/win32/LogOutputs.h"

// The trace /trace=FILE asks for: opened by the rules of the log file, and
// written by a thread of its own through a bounded queue, so that neither a
// slow disk nor a stalled share ever holds the flow up.
class TraceFile {
public:
    // The trace, or why FILE cannot take one.
    static std::unique_ptr<TraceFile> Open(const std::wstring& path, std::wstring& refusal);
    // Says any lines the queue refused, and gives the queue its drain time.
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    TraceWriter& Writer() { return m_writer; }

    // The Windows version as RtlGetVersion gives it: "10.0.19045".
    static std::wstring WindowsVersion();

private:
    TraceFile() = default;

    // A whole run is some 15,000 lines, written faster than the flow makes
    // them; the queue holds a long stall of the disk.
    static constexpr std::size_t kCapacity = 8192;

    // Shared with the writing thread, which may outlive the trace in a
    // write that never returns.
    std::shared_ptr<LogFile> m_file = std::make_shared<LogFile>();
    ConsoleQueue m_queue{[file = m_file](const std::wstring& line) { file->WriteText(line); },
                         kCapacity};
    TraceWriter m_writer{&MillisecondsSinceStart, m_queue};

    static std::uint64_t MillisecondsSinceStart();
};
