#include "DockSimProcess.h"

#include <vector>

#include "testbed/rig/channel/ControlRequest.h"

namespace {

// Wine starts a program in well under this even on a busy machine.
constexpr DWORD kStartMs = 30000;
constexpr DWORD kQuitMs = 10000;

std::wstring ProgramFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            const std::wstring full(path.data(), length);
            return full.substr(0, full.rfind(L'\\'));
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

std::optional<DockSimProcess> DockSimProcess::Start(const std::wstring& options) {
    const std::wstring program = ProgramFolder() + L"\\docksim.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + options;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &started)) {
        return std::nullopt;
    }
    ::CloseHandle(started.hThread);
    DockSimProcess process{UniqueKernelHandle(started.hProcess)};
    if (!rig::AwaitDockSim(kStartMs)) {
        return std::nullopt;
    }
    return process;
}

std::optional<DWORD> DockSimProcess::Quit() {
    static_cast<void>(rig::AskDockSim("quit", kQuitMs));
    DWORD exitCode = 0;
    if (::WaitForSingleObject(m_process.Get(), kQuitMs) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(m_process.Get(), &exitCode)) {
        return std::nullopt;
    }
    m_process.Reset();
    return exitCode;
}

DockSimProcess::~DockSimProcess() {
    if (m_process.IsValid()) {
        ::TerminateProcess(m_process.Get(), 1);
        ::WaitForSingleObject(m_process.Get(), kQuitMs);
    }
}
