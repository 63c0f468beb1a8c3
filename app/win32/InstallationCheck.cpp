#include "app/win32/InstallationCheck.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>

#include "app/trust/InstallationTrust.h"
#include "framework/ModuleFileName.h"
#include "tools/ToolCommandLines.h"

namespace {

constexpr wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsTrustedInstaller(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) {
        return false;
    }
    const bool trusted = std::wstring_view(text) == kTrustedInstaller;
    ::LocalFree(text);
    return trusted;
}

Trustee TrusteeOf(PSID sid) {
    if (::IsWellKnownSid(sid, WinLocalSystemSid) ||
        ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsTrustedInstaller(sid)) {
        return Trustee::Trusted;
    }
    return ::IsWellKnownSid(sid, WinCreatorOwnerSid) ? Trustee::CreatorOwner : Trustee::Other;
}

// The owner and access list of what `handle` is open on.
void ReadSecurity(HANDLE handle, ObjectSecurity& object) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                          &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        object.read = false;
        return;
    }
    object.ownerTrusted = owner != nullptr && TrusteeOf(owner) == Trustee::Trusted;
    object.nullDacl = dacl == nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) {
            continue;
        }
        const auto* header = static_cast<const ACE_HEADER*>(raw);
        const bool allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
                           header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        const bool deny = header->AceType == ACCESS_DENIED_ACE_TYPE ||
                          header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE;
        if (!allow && !deny) {
            continue;
        }
        // The allowed and denied entries share one layout.
        auto* const entry = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        object.entries.push_back(
            AccessEntry{.allow = allow,
                        .inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0,
                        .mask = entry->Mask,
                        .trustee = TrusteeOf(reinterpret_cast<PSID>(&entry->SidStart))});
    }
    ::LocalFree(descriptor);
}

// The folder above `path`, or empty at a root ("C:\", "\\server\share\").
std::wstring Parent(const std::wstring& path) {
    std::wstring trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == L'\\') {
        trimmed.pop_back();
    }
    const std::size_t slash = trimmed.find_last_of(L'\\');
    if (slash == std::wstring::npos) {
        return {};
    }
    const std::wstring parent = trimmed.substr(0, slash + 1);
    // "\\server\share\" and "\\" are no folders one can hold.
    if (parent.size() <= 2 ||
        (parent.starts_with(L"\\\\") && std::count(parent.begin(), parent.end(), L'\\') < 4)) {
        return {};
    }
    return parent;
}

}  // namespace

std::optional<std::wstring> InstallationCheck::Refusal() {
    const std::wstring program = ModuleFileName();
    const ToolCommandLines tools(program);
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
    const std::wstring objectPaths[] = {folder, tools.HubToolCmd().workingDir,
                                        tools.DpToolCmd().workingDir, tools.HubToolCmd().program,
                                        tools.DpToolCmd().program};
    const auto read = [this](const std::wstring& path, bool hold) {
        ObjectSecurity object{
            .path = path, .read = true, .ownerTrusted = false, .nullDacl = false, .entries = {}};
        // Not through a link at the end, and no one may write or delete it
        // while the tool holds it.
        UniqueFileHandle handle(
            ::CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!handle.IsValid()) {
            object.read = false;
            return object;
        }
        ReadSecurity(handle.Get(), object);
        if (hold) {
            m_held.push_back(std::move(handle));
        }
        return object;
    };
    std::vector<ObjectSecurity> objects;
    for (const std::wstring& path : objectPaths) {
        objects.push_back(read(path, /*hold=*/true));
    }
    std::vector<ObjectSecurity> ancestors;
    for (std::wstring above = Parent(folder); !above.empty(); above = Parent(above)) {
        ancestors.push_back(read(above, /*hold=*/false));
    }
    return InstallationRefusal(objects, ancestors);
}
