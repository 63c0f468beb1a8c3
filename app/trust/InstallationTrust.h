#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Whether the folder the tool runs from can be trusted to run its vendor
// tools as the system: no one but the system, Administrators and
// TrustedInstaller may change the program's folder, Tool, Tool\Mega or the
// two tool files, nor replace any of them through a folder above. Folders
// made under ProgramData let every user add files and folders, so a user
// could plant a program there that the next deployment runs as the system.
// A portable decision from the facts the Win32 side reads off each object.

// Who an access entry is for, as far as the rule tells them apart.
enum class Trustee {
    Trusted,       // SYSTEM, Administrators, TrustedInstaller
    CreatorOwner,  // stands for whoever creates a child; grants nothing itself
    Other,
};

struct AccessEntry {
    bool allow = true;         // a deny entry only takes rights away
    bool inheritOnly = false;  // applies to children only, not to the object
    std::uint32_t mask = 0;
    Trustee trustee = Trustee::Other;
};

struct ObjectSecurity {
    std::wstring path;
    bool read = true;  // the object could be opened and its security read
    bool ownerTrusted = false;
    bool nullDacl = false;  // no access list: everyone may do anything
    std::vector<AccessEntry> entries;
};

// Rights that change an object itself: write, append (for a folder: add a
// file or a folder), delete, delete a child, change its owner or access list;
// and the generic rights that hold them.
inline constexpr std::uint32_t kChangeRights = 0x00000002U | 0x00000004U | 0x00010000U |
                                               0x00000040U | 0x00040000U | 0x00080000U |
                                               0x40000000U | 0x10000000U;
// Rights on a folder above that let its children be replaced: delete a child,
// change the folder's owner or access list, and all rights.
inline constexpr std::uint32_t kReplaceChildRights =
    0x00000040U | 0x00040000U | 0x00080000U | 0x10000000U;

// Why the installation cannot be trusted, naming the object and the reason;
// nothing when it can. `objects` are the program's folder, Tool, Tool\Mega
// and the two tool files; `ancestors` the folders above the program's.
std::optional<std::wstring> InstallationRefusal(const std::vector<ObjectSecurity>& objects,
                                                const std::vector<ObjectSecurity>& ancestors);

// The line the run ends with when the installation is refused.
std::wstring InstallationRefusalLine(const std::wstring& refusal);
