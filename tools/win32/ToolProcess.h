#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "framework/OwnedHandle.h"
#include "tools/ToolCommandLines.h"

// One run of a vendor tool: the tool's file runs as a child process, in its
// own folder, whose standard output and standard error both go into one pipe,
// read here while the child runs. Every handle of the run is closed when it
// ends.
class ToolProcess {
public:
    // Runs the tool and returns all it printed, converted from the thread's
    // ANSI code page. Empty when it printed nothing or did not start. Blocks
    // until the child has ended.
    static std::wstring RunToolCaptureText(const ToolCommand& command, bool showConsole);
    // Runs the tool and returns "HUB FW is 0x%04x" of its exit code, or a text
    // naming no version when there is no exit code. Blocks until the child
    // has ended.
    static std::wstring RunToolExitCode(const ToolCommand& command, bool showConsole);

    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;
    ~ToolProcess() = default;

private:
    // Starts the child. When it cannot start, nothing is reported: the run
    // then reads an output that has already ended and has no exit code.
    ToolProcess(const ToolCommand& command, bool showConsole);

    // Waits for the child to end; its exit code, if there is a child and the
    // code can be read.
    std::optional<DWORD> WaitForExitCode() const;

    UniqueKernelHandle m_hOutputRead;
    UniqueKernelHandle m_hProcess;
    UniqueKernelHandle m_hThread;
};
