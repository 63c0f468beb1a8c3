#include "tools/win32/ToolProcess.h"

#include <cstdint>
#include <mutex>
#include <vector>

#include "tools/HubToolText.h"
#include "tools/win32/PipeOutputReader.h"

namespace {

// A child inherits every inheritable handle of this process. Were two tools
// started at once, each would also hold the other's pipe, and one that never
// ends would keep the other's output open for ever. So a pipe's write end is
// inheritable only while its own child is created, one creation at a time.
std::mutex g_childCreationLock;

// A job that ends its processes when its last handle closes. Its handle is
// not inheritable, so no tool keeps it open.
HANDLE CreateToolJob() {
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        return nullptr;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof(limits))) {
        ::CloseHandle(job);
        return nullptr;
    }
    return job;
}

}  // namespace

ToolProcess::ToolProcess(const ToolCommand& command, bool showConsole, DWORD boundMs)
    : m_name(command.name), m_boundMs(boundMs) {
    if (command.program.empty()) {
        return;
    }
    HANDLE hRead = nullptr;
    HANDLE hWrite = nullptr;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof(security);
    security.bInheritHandle = FALSE;
    if (!::CreatePipe(&hRead, &hWrite, &security, 0)) {
        return;
    }
    m_hOutputRead.Reset(hRead);
    UniqueKernelHandle outputWrite(hWrite);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = showConsole ? SW_SHOWNORMAL : SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = hWrite;
    startup.hStdError = hWrite;

    // The creation call may write into the command line, so it gets a copy,
    // as long as the command is.
    std::vector<wchar_t> commandLine(command.commandLine.begin(), command.commandLine.end());
    commandLine.push_back(L'\0');
    const DWORD creationFlags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED |
                                (showConsole ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW);

    PROCESS_INFORMATION process{};
    {
        const std::lock_guard lock(g_childCreationLock);
        if (::SetHandleInformation(hWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
            // The program by its full path, never looked up: no file of its
            // name in the current directory or beside this program is ever
            // started.
            ::CreateProcessW(command.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                             creationFlags, nullptr,
                             command.workingDir.empty() ? nullptr : command.workingDir.c_str(),
                             &startup, &process)) {
            m_hProcess.Reset(process.hProcess);
            m_hThread.Reset(process.hThread);
        }
        // Only the child (and whatever it starts) holds the write end now, so
        // the output ends when they have all ended. Closed under the lock: no
        // other child can inherit it.
        outputWrite.Reset();
    }
    if (!m_hProcess.IsValid()) {
        return;
    }
    // In the job before it runs a single instruction, so everything it starts
    // is in the job too. Outside one, what it starts could not be ended at
    // the bound and could hold the output open for ever: it does not run.
    m_hJob.Reset(CreateToolJob());
    if (!m_hJob.IsValid() || !::AssignProcessToJobObject(m_hJob.Get(), m_hProcess.Get())) {
        m_hJob.Reset();
        m_noJob = true;
        static_cast<void>(::TerminateProcess(m_hProcess.Get(), 1));
        return;
    }
    static_cast<void>(::ResumeThread(m_hThread.Get()));
    if (m_boundMs != kNoBound &&
        !::RegisterWaitForSingleObject(&m_hBoundWait, m_hProcess.Get(), &ToolProcess::OnBound, this,
                                       m_boundMs, WT_EXECUTEONLYONCE)) {
        m_hBoundWait = nullptr;
    }
}

ToolProcess::~ToolProcess() {
    if (m_hBoundWait != nullptr) {
        // Waits for a callback under way: it uses this run's handles.
        static_cast<void>(::UnregisterWaitEx(m_hBoundWait, INVALID_HANDLE_VALUE));
    }
}

void CALLBACK ToolProcess::OnBound(void* context, BOOLEAN timedOut) noexcept {
    auto* const run = static_cast<ToolProcess*>(context);
    if (timedOut == FALSE) {
        return;  // the tool ended in time
    }
    run->m_endedAtBound = true;
    // The job ends the tool and all it started, so the output ends too.
    if (!::TerminateJobObject(run->m_hJob.Get(), 1)) {
        static_cast<void>(::TerminateProcess(run->m_hProcess.Get(), 1));
    }
}

std::optional<DWORD> ToolProcess::WaitForExitCode() const {
    if (!m_hProcess.IsValid() || m_noJob ||
        ::WaitForSingleObject(m_hProcess.Get(), INFINITE) != WAIT_OBJECT_0 || m_endedAtBound) {
        return std::nullopt;
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(m_hProcess.Get(), &exitCode)) {
        return std::nullopt;
    }
    return exitCode;
}

std::wstring ToolProcess::Failure() const {
    if (!m_hProcess.IsValid()) {
        return m_name + L" could not be started";
    }
    if (m_noJob) {
        return m_name +
               L" was not started: it could not join a job, so what it starts could "
               L"not be ended with it";
    }
    if (m_endedAtBound) {
        return m_name + L" did not end within " + std::to_wstring(m_boundMs / 1000) +
               L" s and was ended with all it started";
    }
    return m_name + L" ended without an exit code";
}

ToolOutcome ToolProcess::RunToolCaptureText(const ToolCommand& command, bool showConsole,
                                            DWORD boundMs) {
    const ToolProcess run(command, showConsole, boundMs);
    std::wstring text;
    if (run.m_hOutputRead.IsValid()) {
        PipeOutputReader reader(run.m_hOutputRead.Get());
        text = reader.ReadAllText();
    }
    if (!run.WaitForExitCode()) {
        return ToolOutcome{.done = false, .text = run.Failure()};
    }
    return ToolOutcome{.done = true, .text = std::move(text)};
}

ToolOutcome ToolProcess::RunToolExitCode(const ToolCommand& command, bool showConsole,
                                         DWORD boundMs) {
    const ToolProcess run(command, showConsole, boundMs);
    if (run.m_hOutputRead.IsValid()) {
        // Nothing printed is wanted, but a child writing into a full pipe
        // would never end.
        PipeOutputReader reader(run.m_hOutputRead.Get());
        reader.Drain();
    }
    const std::optional<DWORD> exitCode = run.WaitForExitCode();
    if (!exitCode) {
        return ToolOutcome{.done = false, .text = run.Failure()};
    }
    return ToolOutcome{.done = true,
                       .text = HubFirmwareText(static_cast<std::uint32_t>(*exitCode))};
}
