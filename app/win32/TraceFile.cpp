#include "app/win32/TraceFile.h"

#include <windows.h>

std::unique_ptr<TraceFile> TraceFile::Open(const std::wstring& path, std::wstring& refusal) {
    std::unique_ptr<TraceFile> trace(new TraceFile());
    if (std::optional<std::wstring> reason = trace->m_file->Open(path)) {
        refusal = std::move(*reason);
        return nullptr;
    }
    return trace;
}

TraceFile::~TraceFile() {
    m_writer.End(ConsoleQueue::kDrainTimeout);
}

std::uint64_t TraceFile::MillisecondsSinceStart() {
    static const ULONGLONG start = ::GetTickCount64();
    return ::GetTickCount64() - start;
}

std::wstring TraceFile::WindowsVersion() {
    // GetVersionEx answers what the manifest declares; the kernel's own
    // call answers what runs.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto getVersion =
        ntdll == nullptr ? nullptr
                         : reinterpret_cast<RtlGetVersionFunction>(
                               reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (getVersion == nullptr || getVersion(&info) != 0) {
        return L"unknown";
    }
    return std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) +
           L"." + std::to_wstring(info.dwBuildNumber);
}
