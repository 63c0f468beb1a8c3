#include "app/win32/ConsoleNotice.h"

#include <windows.h>

#include <wtsapi32.h>

#include <optional>

#include "app/outcome/Announcements.h"
#include "framework/SystemLibrary.h"

namespace {

// The notice closes by itself: the run does not wait, and a screen left
// alone for the afternoon does not keep it for ever.
constexpr DWORD kNoticeSeconds = 900;

DWORD ByteLength(std::wstring_view text) {
    return static_cast<DWORD>(text.size() * sizeof(wchar_t));
}

}  // namespace

std::wstring SendConsoleNotice(std::wstring_view text) {
    const SystemLibrary wtsapi(L"wtsapi32.dll");
    decltype(&::WTSQuerySessionInformationW) query = nullptr;
    decltype(&::WTSFreeMemory) freeMemory = nullptr;
    decltype(&::WTSSendMessageW) sendMessage = nullptr;
    if (!wtsapi.Find("WTSQuerySessionInformationW", query) ||
        !wtsapi.Find("WTSFreeMemory", freeMemory) || !wtsapi.Find("WTSSendMessageW", sendMessage)) {
        return L"No notice at the console: wtsapi32.dll cannot be used.";
    }

    const DWORD console = ::WTSGetActiveConsoleSessionId();
    const std::optional<std::uint32_t> session =
        console == 0xFFFFFFFF ? std::nullopt : std::optional<std::uint32_t>(console);
    std::wstring user;
    if (session) {
        LPWSTR name = nullptr;
        DWORD bytes = 0;
        if (query(WTS_CURRENT_SERVER_HANDLE, console, WTSUserName, &name, &bytes) &&
            name != nullptr) {
            user = name;
        }
        if (name != nullptr) {
            freeMemory(name);
        }
    }
    if (const std::optional<std::wstring> refusal = NoticeRefusal(session, user)) {
        return L"No notice at the console: " + *refusal + L".";
    }

    std::wstring title(kNoticeTitle);
    std::wstring body(text);
    DWORD response = 0;
    if (!sendMessage(WTS_CURRENT_SERVER_HANDLE, console, title.data(), ByteLength(title),
                     body.data(), ByteLength(body), MB_OK | MB_ICONINFORMATION, kNoticeSeconds,
                     &response, FALSE)) {
        return L"The notice to the console's session " + std::to_wstring(console) + L" (" + user +
               L") failed (error " + std::to_wstring(::GetLastError()) + L").";
    }
    return L"Notice sent to the console's session " + std::to_wstring(console) + L" (" + user +
           L").";
}
