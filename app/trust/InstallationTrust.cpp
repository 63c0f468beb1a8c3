#include "app/trust/InstallationTrust.h"

namespace {

// Whether an entry lets someone else than the trusted ones use `rights` on
// the object itself.
bool GrantsOthers(const AccessEntry& entry, std::uint32_t rights) {
    return entry.allow && !entry.inheritOnly && entry.trustee == Trustee::Other &&
           (entry.mask & rights) != 0;
}

std::optional<std::wstring> ObjectRefusal(const ObjectSecurity& object, std::uint32_t rights,
                                          const wchar_t* whatOthersMay) {
    if (!object.read) {
        return object.path + L": its owner and access list cannot be read";
    }
    if (!object.ownerTrusted) {
        return object.path + L": not owned by the system, Administrators or TrustedInstaller";
    }
    if (object.nullDacl) {
        return object.path + L": it has no access list, so everyone may change it";
    }
    for (const AccessEntry& entry : object.entries) {
        if (GrantsOthers(entry, rights)) {
            return object.path + whatOthersMay;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::wstring> InstallationRefusal(const std::vector<ObjectSecurity>& objects,
                                                const std::vector<ObjectSecurity>& ancestors) {
    for (const ObjectSecurity& object : objects) {
        if (std::optional<std::wstring> refusal =
                ObjectRefusal(object, kChangeRights, L": users may change or add to it")) {
            return refusal;
        }
    }
    for (const ObjectSecurity& ancestor : ancestors) {
        // The root of a share may not tell; what it holds says enough. An
        // owner may always rewrite the access list, and with it replace what
        // the folder holds.
        if (!ancestor.read) {
            continue;
        }
        if (std::optional<std::wstring> refusal = ObjectRefusal(
                ancestor, kReplaceChildRights, L": users may replace what it holds")) {
            return refusal;
        }
    }
    return std::nullopt;
}

std::wstring InstallationRefusalLine(const std::wstring& refusal) {
    return L"The tool's folder can be changed by users (" + refusal +
           L"). Copy the tool with its Tool folder into a folder that only administrators can "
           L"change, such as Program Files.";
}
