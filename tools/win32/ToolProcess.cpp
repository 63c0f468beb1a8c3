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

}  // namespace

ToolProcess::ToolProcess(const ToolCommand& command, bool showConsole) {
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
    const DWORD creationFlags =
        NORMAL_PRIORITY_CLASS | (showConsole ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW);

    PROCESS_INFORMATION process{};
    const std::lock_guard lock(g_childCreationLock);
    if (::SetHandleInformation(hWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) &&
        // The program by its full path, never looked up: no file of its name
        // in the current directory or beside this program is ever started.
        ::CreateProcessW(command.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         creationFlags, nullptr,
                         command.workingDir.empty() ? nullptr : command.workingDir.c_str(),
                         &startup, &process)) {
        m_hProcess.Reset(process.hProcess);
        m_hThread.Reset(process.hThread);
    }
    // Only the child (and whatever it starts) holds the write end now, so the
    // output ends when they have all ended. Closed under the lock: no other
    // child can inherit it.
    outputWrite.Reset();
}

std::optional<DWORD> ToolProcess::WaitForExitCode() const {
    if (!m_hProcess.IsValid() ||
        ::WaitForSingleObject(m_hProcess.Get(), INFINITE) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(m_hProcess.Get(), &exitCode)) {
        return std::nullopt;
    }
    return exitCode;
}

std::wstring ToolProcess::RunToolCaptureText(const ToolCommand& command, bool showConsole) {
    const ToolProcess run(command, showConsole);
    std::wstring text;
    if (run.m_hOutputRead.IsValid()) {
        PipeOutputReader reader(run.m_hOutputRead.Get());
        text = reader.ReadAllText();
    }
    static_cast<void>(run.WaitForExitCode());
    return text;
}

std::wstring ToolProcess::RunToolExitCode(const ToolCommand& command, bool showConsole) {
    const ToolProcess run(command, showConsole);
    if (run.m_hOutputRead.IsValid()) {
        // Nothing printed is wanted, but a child writing into a full pipe
        // would never end.
        PipeOutputReader reader(run.m_hOutputRead.Get());
        reader.Drain();
    }
    const std::optional<DWORD> exitCode = run.WaitForExitCode();
    return exitCode ? HubFirmwareText(static_cast<std::uint32_t>(*exitCode))
                    : HubFirmwareUnknownText();
}
