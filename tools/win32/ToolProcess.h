#pragma once

#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "framework/OwnedHandle.h"
#include "tools/ToolCommandLines.h"

// How one run of a vendor tool ended: with its result, or failed (it could
// not start, or it was ended at its bound), with a line for the log that
// names the tool.
struct ToolOutcome {
    bool done = false;
    std::wstring text;  // done: the result; failed: why
};

// One run of a vendor tool: the tool's file runs as a child process, in its
// own folder, whose standard output and standard error both go into one pipe,
// read here while the child runs. The child runs in a job of its own that
// ends it and every process it started when the run's handles close, so no
// tool outlives the run or the program. Every handle of the run is closed
// when it ends.
class ToolProcess {
public:
    // No bound: the run waits for the tool as long as it takes.
    static constexpr DWORD kNoBound = INFINITE;

    // Runs the tool; its result is all it printed, converted from the
    // thread's ANSI code page (empty when it printed nothing). Blocks until
    // the child has ended, or has been ended once it ran for `boundMs`.
    static ToolOutcome RunToolCaptureText(const ToolCommand& command, bool showConsole,
                                          DWORD boundMs = kNoBound);
    // Runs the tool; its result is "HUB FW is 0x%04x" of its exit code.
    static ToolOutcome RunToolExitCode(const ToolCommand& command, bool showConsole,
                                       DWORD boundMs = kNoBound);

    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    ~ToolProcess();

private:
    // Starts the child suspended, puts it into the job, then lets it run, and
    // watches the bound from the system's wait threads, outside the worker
    // that reads the output. When it cannot start, the run reads an output
    // that has already ended and has no exit code.
    ToolProcess(const ToolCommand& command, bool showConsole, DWORD boundMs);

    // Waits for the child to end; its exit code, if there is a child, it was
    // not ended at its bound and the code can be read.
    std::optional<DWORD> WaitForExitCode() const;
    // Why a run without an exit code failed.
    std::wstring Failure() const;

    static void CALLBACK OnBound(void* context, BOOLEAN timedOut) noexcept;

    std::wstring m_name;
    DWORD m_boundMs;
    UniqueKernelHandle m_hOutputRead;
    UniqueKernelHandle m_hJob;
    UniqueKernelHandle m_hProcess;
    UniqueKernelHandle m_hThread;
    HANDLE m_hBoundWait = nullptr;
    std::atomic<bool> m_endedAtBound{false};
    // No job could hold it: the tool was ended before it ran.
    bool m_noJob = false;
};
