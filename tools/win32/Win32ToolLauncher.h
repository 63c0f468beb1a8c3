#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/OwnedHandle.h"
#include "tools/ToolCommandLines.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolResultText.h"
#include "tools/win32/ToolProcess.h"

// Starts the vendors' version tools, found beside the running program, each
// on a worker thread of its own that leaves the tool's result in the results
// it was given. The flow never waits for a worker: one whose tool never ends
// waits alone, and the process may end while it does (its job then ends the
// tool).
class Win32ToolLauncher final : public ToolLauncher {
public:
    // Which form of a run a worker uses.
    enum class ToolMode {
        CaptureText = 0,  // the result is everything the tool printed
        ExitCode = 1,     // the result is a line built from the tool's exit code
    };

    // showConsole: each tool starts in a console window of its own, shown
    // (it stays empty: the output comes here); otherwise with no window.
    // onToolEnded: called on a worker once its result has been stored,
    // unless this launcher has been destroyed by then.
    // boundMs: how long a tool may run before it is ended and its run fails.
    Win32ToolLauncher(ToolResults& results, bool showConsole,
                      std::function<void()> onToolEnded = {},
                      DWORD boundMs = ToolProcess::kNoBound);
    // From here on no worker stores a result or calls onToolEnded: a worker
    // that outlives its launcher touches nothing of the program's, even while
    // the process ends. So the owner must destroy the launcher before the
    // results it was given. Workers whose tool has ended are given up to
    // kWorkerEndMs to finish, so that none is still tearing itself down while
    // the process ends; one whose tool never ends is not waited for longer.
    // onToolEnded must not destroy the launcher.
    ~Win32ToolLauncher() override;
    Win32ToolLauncher(const Win32ToolLauncher&) = delete;
    Win32ToolLauncher& operator=(const Win32ToolLauncher&) = delete;

    // The tools beside this program, whatever the current directory is.
    const ToolCommandLines& ToolCommands() const { return m_commands; }

    std::optional<MissingTool> StartHubTool() override;
    std::optional<MissingTool> StartDpTool() override;

private:
    struct ResultHandOver;
    struct ToolRun;

    static constexpr DWORD kWorkerEndMs = 1000;

    std::optional<MissingTool> StartWorker(ToolMode mode, const ToolCommand& command);
    static DWORD WINAPI ToolThreadProc(void* parameter) noexcept;

    bool m_showConsole;
    DWORD m_boundMs;
    std::shared_ptr<ResultHandOver> m_handOver;
    ToolCommandLines m_commands;
    // The workers that may still run.
    std::vector<UniqueKernelHandle> m_workers;
};
