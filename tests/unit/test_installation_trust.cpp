#include <gtest/gtest.h>

#include "app/trust/InstallationTrust.h"

// The folder the tool runs from as the system: only the system,
// Administrators and TrustedInstaller may change it, its Tool folders, the
// tools, or the folders above.
namespace {

constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kReadExecute = 0x001200A9;
constexpr std::uint32_t kAddFileAndFolder = 0x00000006;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kDeleteChild = 0x00000040;

constexpr AccessEntry kSystemFull{true, false, kFullControl, Trustee::Trusted};
constexpr AccessEntry kAdminsFull{true, false, kFullControl, Trustee::Trusted};
constexpr AccessEntry kUsersRead{true, false, kReadExecute, Trustee::Other};
constexpr AccessEntry kCreatorOwnerFull{true, true, kGenericAll, Trustee::CreatorOwner};

ObjectSecurity Object(std::wstring path, bool ownerTrusted, std::vector<AccessEntry> entries) {
    return ObjectSecurity{.path = std::move(path),
                          .read = true,
                          .ownerTrusted = ownerTrusted,
                          .nullDacl = false,
                          .entries = std::move(entries)};
}

}  // namespace

TEST(InstallationTrust, OnlyAFolderNoUserCanChangeRunsToolsAsTheSystem) {
    // As Program Files and an agent's cache are made.
    const ObjectSecurity programFiles =
        Object(L"C:\\Program Files\\Dock", true,
               {kSystemFull, kAdminsFull, kUsersRead, kCreatorOwnerFull});
    const ObjectSecurity agentCache =
        Object(L"C:\\Windows\\IMECache\\x", true, {kSystemFull, kAdminsFull});
    const ObjectSecurity root = Object(L"C:\\", true, {kSystemFull, kAdminsFull, kUsersRead});
    const struct {
        const char* name;
        ObjectSecurity object;
        std::vector<ObjectSecurity> ancestors;
        const wchar_t* refusal;  // nullptr: trusted
    } rows[] = {
        {"Program Files", programFiles, {root}, nullptr},
        {"an agent's cache", agentCache, {root}, nullptr},
        // ProgramData: Users may add files and folders to it and its subfolders.
        {"a folder made under ProgramData",
         Object(L"C:\\ProgramData\\Dock", true,
                {kSystemFull, kAdminsFull, kUsersRead,
                 AccessEntry{true, false, kAddFileAndFolder, Trustee::Other}, kCreatorOwnerFull}),
         {root},
         L"C:\\ProgramData\\Dock: users may change or add to it"},
        {"a user's own folder",
         Object(L"C:\\Users\\anna\\Dock", false, {kSystemFull}),
         {root},
         L"C:\\Users\\anna\\Dock: not owned by the system, Administrators or TrustedInstaller"},
        {"write for users on the children only",
         Object(L"C:\\Dock", true,
                {kSystemFull, AccessEntry{true, true, kFullControl, Trustee::Other}}),
         {root},
         nullptr},
        {"a deny entry, which only takes rights away",
         Object(L"C:\\Dock", true,
                {kSystemFull, AccessEntry{false, false, kFullControl, Trustee::Other}}),
         {root},
         nullptr},
        {"no access list",
         ObjectSecurity{.path = L"C:\\Dock",
                        .read = true,
                        .ownerTrusted = true,
                        .nullDacl = true,
                        .entries = {}},
         {root},
         L"C:\\Dock: it has no access list, so everyone may change it"},
        {"a folder above that lets users delete what it holds",
         agentCache,
         {Object(L"C:\\Tools", true,
                 {kSystemFull, AccessEntry{true, false, kDeleteChild, Trustee::Other}}),
          root},
         L"C:\\Tools: users may replace what it holds"},
        {"a folder above a user owns",
         agentCache,
         {Object(L"C:\\Users\\anna", false, {kSystemFull}), root},
         L"C:\\Users\\anna: not owned by the system, Administrators or TrustedInstaller"},
    };
    for (const auto& row : rows) {
        const std::optional<std::wstring> refusal =
            InstallationRefusal({row.object}, row.ancestors);
        EXPECT_EQ(refusal, row.refusal ? std::optional<std::wstring>(row.refusal) : std::nullopt)
            << row.name;
    }
    EXPECT_EQ(InstallationRefusalLine(L"C:\\ProgramData\\Dock: users may change or add to it"),
              L"The tool's folder can be changed by users (C:\\ProgramData\\Dock: users may "
              L"change or add to it). Copy the tool with its Tool folder into a folder that only "
              L"administrators can change, such as Program Files.");
}
