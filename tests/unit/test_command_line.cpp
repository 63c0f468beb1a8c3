#include <gtest/gtest.h>

#include <string>

#include "app/command/CommandLine.h"
#include "app/outcome/Announcements.h"
#include "app/outcome/ExitCodes.h"

namespace {

// One command line as GetCommandLineW() hands it over, and what it must give.
// A row whose reason is set expects "not understood", with the reason naming
// the part at fault; the other rows expect these options.
struct Row {
    const wchar_t* line;
    bool silent;
    bool checkOnly;
    bool usage;
    const wchar_t* logFile;  // nullptr: no /l
    bool silentSeen;
    // The exit code while another instance runs: 6, or 1618 with /codes=msi;
    // a line not understood ends with 87 first.
    int running;
    const wchar_t* reason;  // nullptr: understood
};

// clang-format off
constexpr Row kRows[] = {
    // line                                                     silent check  usage  logFile                silentSeen running reason
    // The window, whatever the program's path looks like.
    {L"",                                                       false, false, false, nullptr,               false, 6,    nullptr},
    {L"Kr.exe",                                                 false, false, false, nullptr,               false, 6,    nullptr},
    {L"\"C:\\Program Files\\Dock\\KrEFM8SwUpgrade.exe\"",       false, false, false, nullptr,               false, 6,    nullptr},
    {L"\"C:\\x /s\\Kr.exe\"",                                   false, false, false, nullptr,               false, 6,    nullptr},
    // Every switch, either case, / or -, program path quoted with blanks.
    {L"\"C:\\Program Files\\Dock\\KrEFM8SwUpgrade.exe\" /s",    true,  false, false, nullptr,               true, 6,    nullptr},
    {L"\"C:\\Tools\\\" /s",                                     true,  false, false, nullptr,               true, 6,    nullptr},
    {L"C:\\Dock\\Kr.exe /S",                                    true,  false, false, nullptr,               true, 6,    nullptr},
    {L"Kr.exe -s",                                              true,  false, false, nullptr,               true, 6,    nullptr},
    {L"Kr.exe /s /c",                                           true,  true,  false, nullptr,               true, 6,    nullptr},
    {L"Kr.exe -C   -S",                                         true,  true,  false, nullptr,               true, 6,    nullptr},
    {L"Kr.exe /?",                                              false, false, true,  nullptr,               false, 6,    nullptr},
    {L"Kr.exe -h",                                              false, false, true,  nullptr,               false, 6,    nullptr},
    {L"Kr.exe /H",                                              false, false, true,  nullptr,               false, 6,    nullptr},
    {L"Kr.exe /? /s",                                           true,  false, true,  nullptr,               true, 6,    nullptr},
    {L"Kr.exe /? /c",                                           false, true,  true,  nullptr,               false, 6,    nullptr},
    {L"Kr.exe /l=C:\\logs\\update.log",                         false, false, false, L"C:\\logs\\update.log", false, 6,    nullptr},
    {L"Kr.exe -L=C:\\Logs\\Update.LOG",                         false, false, false, L"C:\\Logs\\Update.LOG", false, 6,    nullptr},
    {L"Kr.exe\t/s\t\t/l=C:\\a",                                 true,  false, false, L"C:\\a",              true, 6,    nullptr},
    // Blanks in the log path: quoted around the value or around the switch.
    {L"Kr.exe /s /l=\"C:\\a b\\log.txt\"",                      true,  false, false, L"C:\\a b\\log.txt",   true, 6,    nullptr},
    {L"Kr.exe /s \"/l=C:\\a b\\log.txt\"",                      true,  false, false, L"C:\\a b\\log.txt",   true, 6,    nullptr},
    {L"Kr.exe /l=C:\\a\" \"b",                                  false, false, false, L"C:\\a b",            false, 6,    nullptr},
    {L"Kr.exe /l=\"C:\\x /s\\log.txt\"",                        false, false, false, L"C:\\x /s\\log.txt",   true, 6,    nullptr},
    {L"Kr.exe /l=C:\\a b\\log.txt",                             false, false, false, nullptr,               false, 87,   L"b\\log.txt"},
    // Backslashes: plain unless before a quote; 2n give n and a quote that
    // groups, 2n+1 give n and a literal quote; "" inside quotes is one quote.
    // A quote that reaches a file name is refused, the reason shows the split.
    {L"Kr.exe /l=C:\\a\\\\b\\\\\\c",                            false, false, false, L"C:\\a\\\\b\\\\\\c",  false, 6,    nullptr},
    {L"Kr.exe /l=\"C:\\logs\\\\\" /s",                          true,  false, false, L"C:\\logs\\",         true, 6,    nullptr},
    {L"Kr.exe /l=a\\\"b",                                       false, false, false, nullptr,               false, 87,   L"quote: /l=a\"b"},
    {L"Kr.exe /l=\"a\\\\\\\"b\"",                               false, false, false, nullptr,               false, 87,   L"quote: /l=a\\\"b"},
    {L"Kr.exe /l=\"a\"\"b\"",                                   false, false, false, nullptr,               false, 87,   L"quote: /l=a\"b"},
    // Installer exit codes, with /s and without /c only.
    {L"Kr.exe /s /codes=msi",                                   true,  false, false, nullptr,               true,  1618, nullptr},
    {L"Kr.exe -CODES=MSI /S /l=C:\\a",                           true,  false, false, L"C:\\a",              true,  1618, nullptr},
    {L"Kr.exe /codes=msi",                                      false, false, false, nullptr,               false, 87,   L"/codes=msi only with /s"},
    {L"Kr.exe /s /c /codes=msi",                                false, false, false, nullptr,               true,  87,   L"/codes=msi only with /s"},
    {L"Kr.exe /s /codes=wix",                                   false, false, false, nullptr,               true,  87,   L"/codes=wix"},
    {L"Kr.exe /s /codes",                                       false, false, false, nullptr,               true,  87,   L"/codes"},
    // No notice at the console, with /s only.
    {L"Kr.exe /s /NoNotice",                                    true,  false, false, nullptr,               true,  6,    nullptr},
    {L"Kr.exe /nonotice",                                       false, false, false, nullptr,               false, 87,   L"/nonotice only with /s"},
    // Not understood; /s anywhere still counts.
    {L"Kr.exe /c",                                              false, false, false, nullptr,               false, 87,   L"/c"},
    {L"Kr.exe /s /x",                                           false, false, false, nullptr,               true,  87,   L"/x"},
    {L"Kr.exe /x -S",                                           false, false, false, nullptr,               true,  87,   L"/x"},
    {L"Kr.exe update /s",                                       false, false, false, nullptr,               true,  87,   L"update"},
    {L"Kr.exe /silent",                                         false, false, false, nullptr,               true,  87,   L"/silent"},
    {L"Kr.exe /s/c",                                            false, false, false, nullptr,               true,  87,   L"/s/c"},
    {L"Kr.exe /",                                               false, false, false, nullptr,               false, 87,   L"/"},
    {L"Kr.exe \"\"",                                            false, false, false, nullptr,               false, 87,   L"empty"},
    {L"Kr.exe /s /l:C:\\log.txt",                               false, false, false, nullptr,               true,  87,   L"/l:C:\\log.txt"},
    {L"Kr.exe /l=\"C:\\logs\\\" /s",                            false, false, false, nullptr,               true,  87,   L"quote: /l=C:\\logs\" /s"},
    {L"Kr.exe /l=\"C:\\logs\\\" \"/s\"",                        false, false, false, nullptr,               true,  87,   L"quote: /l=C:\\logs\" /s"},
    {L"Kr.exe /l",                                              false, false, false, nullptr,               false, 87,   L"/l"},
    {L"Kr.exe /s /l=",                                          false, false, false, nullptr,               true,  87,   L"/l="},
    {L"Kr.exe /l=\"\"",                                         false, false, false, nullptr,               false, 87,   L"/l="},
    {L"Kr.exe /s=1",                                            false, false, false, nullptr,               true,  87,   L"/s=1"},
    {L"Kr.exe /s /c=yes",                                       false, false, false, nullptr,               true,  87,   L"/c=yes"},
    {L"Kr.exe /? /h=x",                                         false, false, false, nullptr,               false, 87,   L"/h=x"},
    {L"Kr.exe /s /S",                                           false, false, false, nullptr,               true,  87,   L"repeated switch: /S"},
    {L"Kr.exe -s /c /s",                                        false, false, false, nullptr,               true,  87,   L"repeated switch: /s"},
    {L"Kr.exe /? /h",                                           false, false, false, nullptr,               false, 87,   L"repeated switch: /h"},
    {L"Kr.exe /l=a -l=b",                                       false, false, false, nullptr,               false, 87,   L"repeated switch: -l=b"},
};
// clang-format on

TEST(CommandLine, EveryLineOfTheTable) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "command line: " << row.line);
        const CommandLineParse parse = ParseCommandLine(row.line);
        EXPECT_EQ(parse.silentSeen, row.silentSeen);
        EXPECT_EQ(ExitCodeFor(parse, exit_code::kAlreadyRunning), row.running);
        // Another instance's start is reported as a warning; a line not
        // understood reports nothing.
        EXPECT_EQ(
            EventOf(parse.Understood() ? exit_code::kAlreadyRunning : exit_code::kBadCommandLine),
            parse.Understood() ? std::optional(EndingEvent{1006, EventType::Warning})
                               : std::nullopt);
        if (row.reason != nullptr) {
            EXPECT_FALSE(parse.Understood());
            EXPECT_NE(parse.reason.find(row.reason), std::wstring::npos) << parse.reason;
            EXPECT_EQ(parse.reason.find_first_of(L"\r\n"), std::wstring::npos);
            continue;
        }
        ASSERT_TRUE(parse.Understood()) << parse.reason;
        EXPECT_TRUE(parse.reason.empty());
        CommandLineOptions expected{
            .silent = row.silent,
            .checkOnly = row.checkOnly,
            .usage = row.usage,
            .installerCodes = row.running == 1618,
            .noNotice = std::wstring_view(row.line).find(L"NoNotice") != std::wstring_view::npos,
            .logFile = std::nullopt,
            .traceFile = std::nullopt};
        if (row.logFile != nullptr) {
            expected.logFile = row.logFile;
        }
        EXPECT_EQ(*parse.options, expected);
    }
}

// Where no one can see a window, only a silent line may start: anything else
// would wait for ever for a person.
TEST(CommandLine, NoWindowOrBoxWhereNoOneCanSeeIt) {
    const struct {
        const wchar_t* line;
        bool visible;
        bool refused;
    } cases[] = {
        {L"Kr.exe", true, false},          {L"Kr.exe", false, true},
        {L"Kr.exe /?", false, true},       {L"Kr.exe /l=a.log", false, true},
        {L"Kr.exe /s", false, false},      {L"Kr.exe /x /S", false, false},
        {L"Kr.exe /silent", false, false},
    };
    for (const auto& c : cases) {
        const CommandLineParse parse = ParseCommandLine(c.line);
        EXPECT_EQ(InvisibleWindowRefusal(parse, c.visible).has_value(), c.refused)
            << testing::PrintToString(std::wstring(c.line)) << (c.visible ? " visible" : "");
    }
}

// A trace is asked for as a log file is, in the window and silently.
TEST(CommandLine, ATraceFileIsNamedAsALogFileIs) {
    const struct {
        const wchar_t* line;
        const wchar_t* traceFile;  // nullptr: not understood
    } rows[] = {
        {L"Kr.exe /trace=C:\\t.txt", L"C:\\t.txt"},
        {L"Kr.exe /s \"/TRACE=C:\\a b\\t.txt\" /l=x.log", L"C:\\a b\\t.txt"},
        {L"Kr.exe /s /trace=", nullptr},
        {L"Kr.exe /s /trace=\"C:\\Logs\\\" /c", nullptr},
        {L"Kr.exe /trace=a /trace=b", nullptr},
    };
    for (const auto& row : rows) {
        const CommandLineParse parse = ParseCommandLine(row.line);
        ASSERT_EQ(parse.Understood(), row.traceFile != nullptr) << parse.reason;
        if (row.traceFile != nullptr) {
            EXPECT_EQ(parse.options->traceFile, row.traceFile);
        }
    }
}

TEST(CommandLine, ALineNotUnderstoodStillNamesItsLogFile) {
    EXPECT_EQ(ParseCommandLine(L"Kr.exe /s /x /l=C:\\a.log").logFileSeen, L"C:\\a.log");
    EXPECT_EQ(ParseCommandLine(L"Kr.exe /s /x /l=").logFileSeen, std::nullopt);
    EXPECT_EQ(ParseCommandLine(L"Kr.exe /s /l=C:\\a.log").logFileSeen, std::nullopt)
        << "understood: the options name it";
}

// The usage is what a deployment script's author reads: every switch and
// every exit code the runner can end with.
TEST(CommandLine, UsageListsEverySwitchAndExitCode) {
    for (const wchar_t* entry : {L"  /s ", L"  /c ", L"  /codes=msi ", L"  /nonotice ",
                                 L"  /l=FILE ", L"  /trace=FILE ", L"  /?, /h "}) {
        EXPECT_NE(kUsageText.find(entry), std::wstring_view::npos) << entry;
    }
    for (const int code : {exit_code::kUpdateApplies, exit_code::kFailed, exit_code::kRestartNeeded,
                           exit_code::kNothingToDo, exit_code::kNoDock, exit_code::kNotApplicable,
                           exit_code::kAlreadyRunning, exit_code::kBadCommandLine}) {
        const std::wstring entry = L"\r\n  " + std::to_wstring(code) + L" ";
        EXPECT_NE(kUsageText.find(entry), std::wstring_view::npos) << code;
    }
}

}  // namespace
