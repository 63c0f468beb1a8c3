#include <gtest/gtest.h>

#include <string>

#include "app/log/LogFilePath.h"

TEST(LogFilePath, PathsThatNameADeviceAreRefusedBeforeAnythingIsOpened) {
    const struct {
        const wchar_t* path;
        bool refused;
    } cases[] = {
        {L"update.log", false},
        {L"C:\\Logs\\update.log", false},
        {L"\\\\server\\share\\Logs\\update.log", false},
        {L"\\\\?\\C:\\Logs\\update.log", false},
        {L"Logs/nullable.log", false},
        {L"C:\\console\\com10.log", false},
        {L"NUL", true},
        {L"nul.txt", true},
        {L"C:\\Logs\\COM1.log", true},
        {L"COM9", true},
        {L"lpt1 .log", true},
        {L"C:\\aux\\update.log", true},
        {L"Logs/Con/x.log", true},
        {L"CONOUT$", true},
        {L"\\\\.\\pipe\\x", true},
        {L"//./pipe/x", true},
        {L"\\\\.\\C:\\Logs\\update.log", true},
        {L"\\\\?\\GLOBALROOT\\Device\\Null", true},
        {L"C:\\Logs\\update.log:hidden", true},
        // The verbatim prefixes name a file only before a drive or UNC.
        {L"\\??\\C:\\Logs\\update.log", false},
        {L"\\\\?\\UNC\\server\\share\\update.log", false},
        {L"\\\\?\\pipe\\x", true},
        {L"\\\\?\\PhysicalDrive0", true},
        {L"\\??\\GLOBALROOT\\Device\\Null", true},
        {L"//?/Volume{0}/x.log", true},
        // Port 0 and the superscript digits one to three are devices too.
        {L"COM0", true},
        {L"C:\\Logs\\LPT0.log", true},
        {L"COM\u00B9.log", true},
        {L"lpt\u00B3", true},
        {L"COM\u2074.log", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogPathRefusal(c.path).has_value(), c.refused)
            << testing::PrintToString(std::wstring(c.path));
    }
    EXPECT_EQ(LogPathRefusal(L"C:\\Logs\\COM1.log"), L"\"COM1.log\" is the name of a device");
}

TEST(LogFilePath, AnOpenFileIsKeptOnlyWhenPlainAndReachedByThePathGiven) {
    const OpenedLogFile plain{.onDisk = true,
                              .directory = false,
                              .reparsePoint = false,
                              .links = 1,
                              .givenPath = L"C:\\Logs\\update.log",
                              .finalPath = L"\\\\?\\C:\\logs\\UPDATE.log"};
    const struct {
        const char* name;
        OpenedLogFile file;
        bool refused;
    } cases[] = {
        {"plain file", plain, false},
        {"on a share reached through a mapped drive",
         [&] {
             OpenedLogFile f = plain;
             f.givenPath = L"Z:\\Logs\\update.log";
             f.finalPath = L"\\\\?\\UNC\\server\\share\\Logs\\update.log";
             return f;
         }(),
         false},
        {"a pipe or a console",
         [&] {
             OpenedLogFile f = plain;
             f.onDisk = false;
             return f;
         }(),
         true},
        {"a folder",
         [&] {
             OpenedLogFile f = plain;
             f.directory = true;
             return f;
         }(),
         true},
        {"a symbolic link",
         [&] {
             OpenedLogFile f = plain;
             f.reparsePoint = true;
             return f;
         }(),
         true},
        {"a second hard link",
         [&] {
             OpenedLogFile f = plain;
             f.links = 2;
             return f;
         }(),
         true},
        {"a junction on the way",
         [&] {
             OpenedLogFile f = plain;
             f.finalPath = L"\\\\?\\C:\\Windows\\System32\\update.log";
             return f;
         }(),
         true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenedLogFileRefusal(c.file).has_value(), c.refused) << c.name;
    }
}

// Where the status record and the default log go, when a full log is set
// aside, and which existing folder of it may hold it.
TEST(LogFilePath, TheDefaultLogsPlaceRotationAndFolder) {
    EXPECT_EQ(ScopeOf(false, false), RecordScope::User);
    EXPECT_EQ(ScopeOf(true, false), RecordScope::Machine);
    EXPECT_EQ(ScopeOf(false, true), RecordScope::Machine);

    for (const auto& [size, rotates] : {std::pair{0ULL, false}, std::pair{1048575ULL, false},
                                        std::pair{1048576ULL, true}, std::pair{5000000ULL, true}}) {
        EXPECT_EQ(LogRotatesAt(size), rotates) << size;
    }

    using S = RecordScope;
    const struct {
        S scope;
        LogFolderFacts facts;
        const wchar_t* refusal;  // nullptr: used
    } folders[] = {
        {S::Machine,
         {.reparsePoint = false, .ownerTrusted = true, .othersMayWrite = false},
         nullptr},
        {S::Machine,
         {.reparsePoint = true, .ownerTrusted = true, .othersMayWrite = false},
         L"link"},
        {S::Machine,
         {.reparsePoint = false, .ownerTrusted = false, .othersMayWrite = false},
         L"owned"},
        {S::Machine,
         {.reparsePoint = false, .ownerTrusted = true, .othersMayWrite = true},
         L"write"},
        {S::User, {.reparsePoint = false, .ownerTrusted = false, .othersMayWrite = true}, nullptr},
        {S::User, {.reparsePoint = true, .ownerTrusted = false, .othersMayWrite = false}, L"link"},
    };
    for (const auto& f : folders) {
        const std::optional<std::wstring> refusal = LogFolderRefusal(f.scope, f.facts);
        ASSERT_EQ(refusal.has_value(), f.refusal != nullptr);
        if (refusal) {
            EXPECT_NE(refusal->find(f.refusal), std::wstring::npos) << *refusal;
        }
    }
}
