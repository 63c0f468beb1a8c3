#include "app/win32/EventReport.h"

#include <windows.h>

#include "app/outcome/Announcements.h"
#include "framework/ModuleFileName.h"

namespace {

constexpr wchar_t kSource[] = L"DockFirmwareUpdate";
constexpr wchar_t kSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\DockFirmwareUpdate";

// Event Viewer finds the events' texts in the message table of the file the
// source names: this executable. Only an administrator may name it; for
// anyone else the events still carry their strings.
void RegisterSource() {
    const std::wstring self = ModuleFileName();
    if (self.empty()) {
        return;
    }
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    wchar_t registered[MAX_PATH * 4] = {};
    DWORD bytes = sizeof(registered) - sizeof(wchar_t);
    const bool same =
        ::RegQueryValueExW(key, L"EventMessageFile", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(registered), &bytes) == ERROR_SUCCESS &&
        ::lstrcmpiW(registered, self.c_str()) == 0;
    if (!same) {
        const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
        static_cast<void>(::RegSetValueExW(
            key, L"EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(self.c_str()),
            static_cast<DWORD>((self.size() + 1) * sizeof(wchar_t))));
        static_cast<void>(::RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(&types), sizeof(types)));
    }
    ::RegCloseKey(key);
}

WORD TypeOf(EventType type) {
    switch (type) {
        case EventType::Information:
            return EVENTLOG_INFORMATION_TYPE;
        case EventType::Warning:
            return EVENTLOG_WARNING_TYPE;
        case EventType::Error:
            break;
    }
    return EVENTLOG_ERROR_TYPE;
}

}  // namespace

std::optional<std::wstring> ReportEndingEvent(int code, const std::vector<std::wstring>& lines) {
    const std::optional<EndingEvent> event = EventOf(code);
    if (!event) {
        return std::nullopt;
    }
    RegisterSource();
    HANDLE source = ::RegisterEventSourceW(nullptr, kSource);
    if (source == nullptr) {
        return L"Cannot report to the event log (error " + std::to_wstring(::GetLastError()) + L")";
    }
    std::vector<LPCWSTR> strings;
    strings.reserve(lines.size());
    for (const std::wstring& line : lines) {
        strings.push_back(line.c_str());
    }
    // The message's whole id: its severity bits are those of success.
    const BOOL reported =
        ::ReportEventW(source, TypeOf(event->type), 0, event->id, nullptr,
                       static_cast<WORD>(strings.size()), 0, strings.data(), nullptr);
    const DWORD error = ::GetLastError();
    ::DeregisterEventSource(source);
    if (!reported) {
        return L"Cannot report to the event log (error " + std::to_wstring(error) + L")";
    }
    return std::nullopt;
}
