#include "tools/win32/Win32ToolLauncher.h"

#include <mutex>
#include <utility>

#include "framework/OwnedHandle.h"
#include "tools/ToolResultText.h"
#include "tools/win32/ToolProcess.h"

// Shared by the launcher and its workers, and kept alive by the last of them:
// a worker stores its result only while the launcher is still there.
struct Win32ToolLauncher::ResultHandOver {
    std::mutex mutex;
    bool open = true;
    ToolResults* results = nullptr;
    std::function<void()> onToolEnded;
};

// What one worker runs, with its own copies of everything it needs.
struct Win32ToolLauncher::ToolRun {
    ToolMode mode;
    std::wstring command;
    bool showConsole;
    std::shared_ptr<ResultHandOver> handOver;
};

namespace {

// The process's current directory, however long it is.
std::wstring CurrentDirectory() {
    std::wstring directory;
    DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    while (size > 0) {
        directory.resize(size);
        const DWORD length = ::GetCurrentDirectoryW(size, directory.data());
        if (length < size) {
            directory.resize(length);
            return directory;
        }
        // It grew in between: try again with the size it has now.
        size = length;
    }
    return {};
}

}  // namespace

Win32ToolLauncher::Win32ToolLauncher(ToolResults& results, bool showConsole,
                                     std::function<void()> onToolEnded)
    : m_showConsole(showConsole), m_handOver(std::make_shared<ResultHandOver>()) {
    m_handOver->results = &results;
    m_handOver->onToolEnded = std::move(onToolEnded);
}

Win32ToolLauncher::~Win32ToolLauncher() {
    const std::lock_guard lock(m_handOver->mutex);
    m_handOver->open = false;
}

void Win32ToolLauncher::BuildToolCommands() {
    m_commands = ToolCommandLines(CurrentDirectory());
}

void Win32ToolLauncher::StartHubTool() {
    StartWorker(ToolMode::ExitCode, m_commands.HubToolCmd());
}

void Win32ToolLauncher::StartDpTool() {
    const std::wstring toolDir = m_commands.DpToolDir();
    if (!toolDir.empty()) {
        // A missing folder leaves the directory as it is; the tool's absolute
        // path then fails in the interpreter, which the result tells.
        static_cast<void>(::SetCurrentDirectoryW(toolDir.c_str()));
    }
    StartWorker(ToolMode::CaptureText, m_commands.DpToolCmd());
}

void Win32ToolLauncher::StartWorker(ToolMode mode, const std::wstring& command) const {
    auto run = std::make_unique<ToolRun>(ToolRun{mode, command, m_showConsole, m_handOver});
    const UniqueKernelHandle worker(
        ::CreateThread(nullptr, 0, &ToolThreadProc, run.get(), 0, nullptr));
    if (!worker.IsValid()) {
        // No worker, no result: the text stays empty, as for a tool still running.
        return;
    }
    // The worker owns its run now; nobody keeps a handle to it.
    static_cast<void>(run.release());
    static_cast<void>(::SetThreadPriority(worker.Get(), THREAD_PRIORITY_ABOVE_NORMAL));
}

DWORD WINAPI Win32ToolLauncher::ToolThreadProc(void* parameter) noexcept {
    const std::unique_ptr<ToolRun> run(static_cast<ToolRun*>(parameter));
    try {
        const bool exitCodeForm = run->mode == ToolMode::ExitCode;
        std::wstring result = exitCodeForm
                                  ? ToolProcess::RunToolExitCode(run->command, run->showConsole)
                                  : ToolProcess::RunToolCaptureText(run->command, run->showConsole);
        const std::lock_guard lock(run->handOver->mutex);
        if (run->handOver->open) {
            ToolResults& results = *run->handOver->results;
            (exitCodeForm ? results.m_hubToolText : results.m_dpToolText).Set(std::move(result));
            if (run->handOver->onToolEnded) {
                run->handOver->onToolEnded();
            }
        }
    } catch (...) {
        // Out of memory: the result text stays empty, as for a tool still running.
    }
    return 0;
}
