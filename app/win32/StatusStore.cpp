#include "app/win32/StatusStore.h"

#include <windows.h>

#include "framework/OwnedHandle.h"

namespace {

constexpr wchar_t kRecordKey[] = L"SOFTWARE\\DockFirmwareUpdate";

bool TokenIsElevated(HANDLE token) {
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
           elevation.TokenIsElevated != 0;
}

bool TokenIsLocalSystem(HANDLE token) {
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer);
    return ::IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}

std::wstring ErrorText(const wchar_t* what, LSTATUS status) {
    return std::wstring(what) + L": error " + std::to_wstring(status);
}

}  // namespace

RecordScope ProcessScope() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return RecordScope::User;
    }
    const UniqueKernelHandle token(raw);
    return ScopeOf(TokenIsElevated(token.Get()), TokenIsLocalSystem(token.Get()));
}

bool ProcessIsLocalSystem() {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) {
        return false;
    }
    const UniqueKernelHandle token(raw);
    return TokenIsLocalSystem(token.Get());
}

std::wstring UtcNow() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return Iso8601Utc(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

std::optional<std::wstring> WriteStatusRecord(RecordScope scope, const StatusRecord& record) {
    const bool machine = scope == RecordScope::Machine;
    const std::wstring where = std::wstring(machine ? L"HKLM\\" : L"HKCU\\") + kRecordKey;
    HKEY key = nullptr;
    // The 64-bit view: where a detection rule of a 64-bit host looks.
    const LSTATUS created = ::RegCreateKeyExW(
        machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, kRecordKey, 0, nullptr,
        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
    if (created != ERROR_SUCCESS) {
        return ErrorText((L"Cannot write the status record under " + where).c_str(), created);
    }
    LSTATUS status = ERROR_SUCCESS;
    for (const StatusRecord::Value& value : record.strings) {
        const auto bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
        status = ::RegSetValueExW(key, value.name.c_str(), 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(value.text.c_str()), bytes);
        if (status != ERROR_SUCCESS) {
            break;
        }
    }
    if (status == ERROR_SUCCESS) {
        const DWORD code = record.lastExitCode;
        status = ::RegSetValueExW(key, L"LastExitCode", 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&code), sizeof(code));
    }
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return ErrorText((L"Cannot write the status record under " + where).c_str(), status);
    }
    return std::nullopt;
}
