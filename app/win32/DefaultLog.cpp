#include "app/win32/DefaultLog.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

namespace {

// Owned by Administrators whoever of them (or the system) creates it, full
// control for the system and Administrators, reading for users; nothing
// inherited from %ProgramData%, where users may create folders of their own.
constexpr wchar_t kProtectedFolder[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

constexpr ACCESS_MASK kWriteAccess = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                     FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE |
                                     WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool TrustedSid(PSID sid) {
    return ::IsWellKnownSid(sid, WinLocalSystemSid) ||
           ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

bool OthersMayWrite(const ACL* dacl) {
    if (dacl == nullptr) {
        return true;  // no list at all: everyone may do anything
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(const_cast<ACL*>(dacl), i, &ace)) {
            return true;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWriteAccess) != 0 && !TrustedSid(sid) &&
            !::IsWellKnownSid(sid, WinCreatorOwnerSid)) {
            return true;
        }
    }
    return false;
}

LogFolderFacts FactsOf(const std::wstring& folder) {
    LogFolderFacts facts;
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    facts.reparsePoint =
        attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        facts.othersMayWrite = true;
        return facts;
    }
    facts.ownerTrusted = owner != nullptr && TrustedSid(owner);
    facts.othersMayWrite = OthersMayWrite(dacl);
    ::LocalFree(descriptor);
    return facts;
}

// Creates the folder, protected when machine-wide; an existing one must pass.
std::optional<std::wstring> UseFolder(RecordScope scope, const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (scope == RecordScope::Machine &&
        !::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolder, SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return L"its access list cannot be made (error " + std::to_wstring(::GetLastError()) + L")";
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    const bool created =
        ::CreateDirectoryW(folder.c_str(), descriptor != nullptr ? &attributes : nullptr) != 0;
    const DWORD error = ::GetLastError();
    ::LocalFree(descriptor);
    if (created) {
        return std::nullopt;
    }
    if (error != ERROR_ALREADY_EXISTS) {
        return folder + L" cannot be created (error " + std::to_wstring(error) + L")";
    }
    if (std::optional<std::wstring> refusal = LogFolderRefusal(scope, FactsOf(folder))) {
        return folder + L": " + *refusal;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> OpenDefaultLog(RecordScope scope, LogFile& file) {
    wchar_t root[MAX_PATH] = {};
    const int where = scope == RecordScope::Machine ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA;
    if (FAILED(::SHGetFolderPathW(nullptr, where, nullptr, SHGFP_TYPE_CURRENT, root))) {
        return std::wstring(scope == RecordScope::Machine ? L"%ProgramData%" : L"%LOCALAPPDATA%") +
               L" is not known";
    }
    std::wstring folder = root;
    for (const std::wstring_view name : kDefaultLogFolders) {
        folder += L'\\';
        folder += name;
        if (std::optional<std::wstring> refusal = UseFolder(scope, folder)) {
            return refusal;
        }
    }
    const std::wstring path = folder + L'\\' + std::wstring(kDefaultLogFile);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        LogRotatesAt((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow)) {
        const std::wstring previous = folder + L'\\' + std::wstring(kPreviousLogFile);
        static_cast<void>(::MoveFileExW(path.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING));
    }
    if (std::optional<std::wstring> refusal = file.Open(path)) {
        return path + L": " + *refusal;
    }
    return std::nullopt;
}
