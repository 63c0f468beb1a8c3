#include "tools/win32/Win32ToolLauncher.h"

#include <cstdint>
#include <mutex>
#include <utility>

#include "framework/ModuleFileName.h"
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
    ToolCommand command;
    bool showConsole;
    DWORD boundMs;
    std::uint64_t ticket;
    std::shared_ptr<ResultHandOver> handOver;
};

Win32ToolLauncher::Win32ToolLauncher(ToolResults& results, bool showConsole,
                                     std::function<void()> onToolEnded, DWORD boundMs)
    : m_showConsole(showConsole),
      m_boundMs(boundMs),
      m_handOver(std::make_shared<ResultHandOver>()),
      m_commands(ModuleFileName()) {
    m_handOver->results = &results;
    m_handOver->onToolEnded = std::move(onToolEnded);
}

Win32ToolLauncher::~Win32ToolLauncher() {
    {
        const std::lock_guard lock(m_handOver->mutex);
        m_handOver->open = false;
    }
    const ULONGLONG deadline = ::GetTickCount64() + kWorkerEndMs;
    for (const UniqueKernelHandle& worker : m_workers) {
        const ULONGLONG now = ::GetTickCount64();
        static_cast<void>(::WaitForSingleObject(
            worker.Get(), now < deadline ? static_cast<DWORD>(deadline - now) : 0));
    }
}

std::optional<MissingTool> Win32ToolLauncher::StartHubTool() {
    return StartWorker(ToolMode::ExitCode, m_commands.HubToolCmd());
}

std::optional<MissingTool> Win32ToolLauncher::StartDpTool() {
    return StartWorker(ToolMode::CaptureText, m_commands.DpToolCmd());
}

std::optional<MissingTool> Win32ToolLauncher::StartWorker(ToolMode mode,
                                                          const ToolCommand& command) {
    std::optional<MissingTool> missing;
    const DWORD attributes = command.program.empty()
                                 ? INVALID_FILE_ATTRIBUTES
                                 : ::GetFileAttributesW(command.program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        missing = MissingTool{.name = command.name, .path = command.program};
    }
    // Run all the same: the run fails at once, and its result says the tool
    // could not be started, as for any tool that cannot start.
    ToolResultText& result = mode == ToolMode::ExitCode ? m_handOver->results->m_hubToolText
                                                        : m_handOver->results->m_dpToolText;
    const std::uint64_t ticket = result.Begin();
    auto run = std::make_unique<ToolRun>(
        ToolRun{mode, command, m_showConsole, m_boundMs, ticket, m_handOver});
    UniqueKernelHandle worker(::CreateThread(nullptr, 0, &ToolThreadProc, run.get(), 0, nullptr));
    if (!worker.IsValid()) {
        result.Fail(ticket, command.name + L" could not be started: no worker thread");
        return missing;
    }
    // The worker owns its run now.
    static_cast<void>(run.release());
    static_cast<void>(::SetThreadPriority(worker.Get(), THREAD_PRIORITY_ABOVE_NORMAL));
    std::erase_if(m_workers, [](const UniqueKernelHandle& ended) {
        return ::WaitForSingleObject(ended.Get(), 0) == WAIT_OBJECT_0;
    });
    m_workers.push_back(std::move(worker));
    return missing;
}

DWORD WINAPI Win32ToolLauncher::ToolThreadProc(void* parameter) noexcept {
    const std::unique_ptr<ToolRun> run(static_cast<ToolRun*>(parameter));
    const bool exitCodeForm = run->mode == ToolMode::ExitCode;
    ToolOutcome outcome;
    try {
        outcome =
            exitCodeForm
                ? ToolProcess::RunToolExitCode(run->command, run->showConsole, run->boundMs)
                : ToolProcess::RunToolCaptureText(run->command, run->showConsole, run->boundMs);
    } catch (...) {
        // Out of memory: the run failed, with no line to tell why, and whoever
        // waits for its end still learns of it.
        outcome = ToolOutcome{};
    }
    const std::lock_guard lock(run->handOver->mutex);
    if (run->handOver->open) {
        ToolResults& results = *run->handOver->results;
        ToolResultText& result = exitCodeForm ? results.m_hubToolText : results.m_dpToolText;
        if (outcome.done) {
            result.Finish(run->ticket, std::move(outcome.text));
        } else {
            result.Fail(run->ticket, std::move(outcome.text));
        }
        if (run->handOver->onToolEnded) {
            run->handOver->onToolEnded();
        }
    }
    return 0;
}
