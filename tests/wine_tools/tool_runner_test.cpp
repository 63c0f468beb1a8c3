// The vendor tools' runner against the stand-in tools, under Wine. One case
// per run, named by the first argument. run_tool_test.sh put this program in
// a folder of its own with the stand-ins in Tool\ and Tool\Mega\ beside it
// (or not, for the cases of a missing tool), and started it from another
// folder.
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "framework/OwnedHandle.h"
#include "tools/HubToolText.h"
#include "tools/ToolResultText.h"
#include "tools/win32/ToolProcess.h"
#include "tools/win32/Win32ToolLauncher.h"

namespace {

// Long enough for Wine to start a tool on a busy machine;
// reaching it fails the case instead of hanging it.
constexpr DWORD kToolWaitMs = 60000;

int g_failures = 0;

std::string Narrow(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

// Texts in failure messages: control characters made visible, long ones cut.
std::string Shown(std::wstring_view text) {
    constexpr std::size_t kShownChars = 160;
    std::wstring shown;
    for (const wchar_t c : text.substr(0, kShownChars)) {
        shown += c == L'\r'   ? std::wstring(L"\\r")
                 : c == L'\n' ? std::wstring(L"\\n")
                              : std::wstring(1, c);
    }
    if (text.size() > kShownChars) {
        shown += L"... (" + std::to_wstring(text.size()) + L" characters)";
    }
    std::string quoted(1, '"');
    quoted += Narrow(shown);
    quoted += '"';
    return quoted;
}

void Expect(bool condition, const std::string& what) {
    std::printf("%s %s\n", condition ? "ok" : "FAIL", what.c_str());
    if (!condition) {
        ++g_failures;
    }
}

void ExpectText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
    Expect(actual == expected,
           what + ": " + Shown(actual) +
               (actual == expected ? "" : " (expected " + Shown(expected) + ")"));
}

bool Contains(const std::wstring& text, std::wstring_view part) {
    return text.find(part) != std::wstring::npos;
}

void SetVariable(const wchar_t* name, const wchar_t* value) {
    ::SetEnvironmentVariableW(name, value);
}

std::wstring CurrentDirectory() {
    wchar_t buffer[4 * MAX_PATH] = {};
    const DWORD length = ::GetCurrentDirectoryW(static_cast<DWORD>(std::size(buffer)), buffer);
    return std::wstring(buffer, length < std::size(buffer) ? length : 0);
}

bool SameFolder(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b}) {
        while (!path->empty() && path->back() == L'\\') {
            path->pop_back();
        }
    }
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Tells the test when a worker has stored its result.
class ToolEndWaiter {
public:
    std::function<void()> Notice() const {
        HANDLE ended = m_hEnded.Get();
        return [ended] { ::SetEvent(ended); };
    }
    bool Wait(const char* tool) const {
        const bool ended = ::WaitForSingleObject(m_hEnded.Get(), kToolWaitMs) == WAIT_OBJECT_0;
        Expect(ended, std::string("the ") + tool + " worker stored its result");
        return ended;
    }

private:
    UniqueKernelHandle m_hEnded{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// The healthy answers of the stand-ins, with a version chosen here.
constexpr const wchar_t* kAppVersion = L"9.87.654 wine test";
const std::wstring kAppVersionLine = std::wstring(L"Pegasus App: ") + kAppVersion + L"\r\n";
const std::wstring kDpAnswer = L"MCDP ISP tool (stand-in)\r\nChip: MCDP2900\r\n" + kAppVersionLine;

void UseAppVersion() {
    SetVariable(L"KR_STANDIN_DP_VERSION", kAppVersion);
}

// A result as one text: what the tool gave when it ended, else its state
// and, when it failed, why.
std::wstring Shown(const ToolResult& result) {
    switch (result.state) {
        case ToolResult::State::Done:
            return result.text;
        case ToolResult::State::Failed:
            return L"failed: " + result.text;
        case ToolResult::State::Running:
            return L"running";
        case ToolResult::State::NotRun:
            break;
    }
    return L"not run";
}

// A launcher of the tools beside this program, as the front ends have it.
struct Run {
    ToolResults results;
    ToolEndWaiter waiter;
    Win32ToolLauncher launcher{results, false, waiter.Notice()};
    // What the last start said of the tool's file.
    std::optional<MissingTool> missing;

    std::wstring Hub() {
        missing = launcher.StartHubTool();
        return waiter.Wait("hub tool") ? Shown(results.m_hubToolText.Get()) : std::wstring();
    }
    std::wstring Dp() {
        missing = launcher.StartDpTool();
        return waiter.Wait("DisplayPort tool") ? Shown(results.m_dpToolText.Get()) : std::wstring();
    }
};

void HubExitCode(const wchar_t* exitCode, const wchar_t* expected) {
    SetVariable(L"KR_STANDIN_HUB_EXIT_CODE", exitCode);
    Run run;
    ExpectText(run.Hub(), expected, "hub tool ending with " + Narrow(exitCode));
}

void CaseHubExit8720() {
    HubExitCode(L"0x8720", L"HUB FW is 0x8720");
}
void CaseHubExit18720() {
    HubExitCode(L"0x18720", L"HUB FW is 0x8720");
}
void CaseHubExit26() {
    HubExitCode(L"26", L"HUB FW is 0x001a");
}

void CaseHubFlood() {
    // More than a pipe holds, printed before the tool can end.
    SetVariable(L"KR_STANDIN_HUB_MODE", L"flood");
    Run run;
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "hub tool printing more than 1 MB");
}

void CaseDpAnswer() {
    UseAppVersion();
    Run run;
    ExpectText(run.Dp(), kDpAnswer, "DisplayPort tool's whole answer");
}

void CaseDpLongOutput() {
    UseAppVersion();
    SetVariable(L"KR_STANDIN_DP_MODE", L"flood");
    constexpr int kLines = 20000;
    SetVariable(L"KR_STANDIN_FLOOD_LINES", std::to_wstring(kLines).c_str());
    std::wstring expected;
    for (int line = 1; line <= kLines; ++line) {
        wchar_t number[16] = {};
        static_cast<void>(std::swprintf(number, std::size(number), L"%07d ", line));
        expected += number;
        expected += L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\r\n";
    }
    expected += kDpAnswer;
    Run run;
    const std::wstring text = run.Dp();
    Expect(expected.size() > std::size_t{1024} * 1024, "the expected output is longer than 1 MB");
    Expect(text.size() == expected.size(), "output of " + std::to_string(expected.size()) +
                                               " bytes returned as " + std::to_string(text.size()) +
                                               " characters");
    const std::size_t mismatch =
        std::mismatch(text.begin(), text.end(), expected.begin(), expected.end()).first -
        text.begin();
    Expect(text == expected,
           "every line once and in order (first difference at " + std::to_string(mismatch) + ")");
}

void CaseDpStdErr() {
    UseAppVersion();
    SetVariable(L"KR_STANDIN_DP_MODE", L"stderr");
    Run run;
    ExpectText(run.Dp(),
               L"MCDP ISP tool (stand-in)\r\nChip: MCDP2900\r\n" + kAppVersionLine +
                   L"End of chip information\r\n",
               "standard error captured between standard output's lines");
}

void CaseDpSilent() {
    SetVariable(L"KR_STANDIN_DP_MODE", L"silent");
    Run run;
    ExpectText(run.Dp(), L"", "DisplayPort tool printing nothing");
}

void CaseDpNoToken() {
    SetVariable(L"KR_STANDIN_DP_MODE", L"notoken");
    Run run;
    const std::wstring text = run.Dp();
    Expect(!text.empty() && !Contains(text, L"Pegasus App:"),
           "answer without the version line: " + Shown(text));
}

void CaseDpJunk() {
    UseAppVersion();
    SetVariable(L"KR_STANDIN_DP_MODE", L"junk");
    Run run;
    const std::wstring text = run.Dp();
    Expect(text.size() > std::size_t{32} * 1024,
           "64 KiB of bytes of every value give " + std::to_string(text.size()) + " characters");
    Expect(text.size() >= kDpAnswer.size() &&
               text.compare(text.size() - kDpAnswer.size(), kDpAnswer.size(), kDpAnswer) == 0,
           "the answer after the junk is read whole");
}

// The folder this program lies in, with its trailing separator.
std::wstring ProgramFolder() {
    wchar_t path[4 * MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring folder(path, length < std::size(path) ? length : 0);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

void CaseCurrentDirectory() {
    UseAppVersion();
    Run run;
    const std::wstring programDir = run.launcher.ToolCommands().ProgramDir();
    const std::wstring startDir = CurrentDirectory();
    Expect(SameFolder(programDir, ProgramFolder()),
           "command lines built from the program's folder " + Shown(programDir));
    Expect(!SameFolder(programDir, startDir),
           "which is not the current directory " + Shown(startDir));
    ExpectText(run.Dp(), kDpAnswer, "DisplayPort tool's answer");
    Expect(SameFolder(CurrentDirectory(), startDir),
           "the current directory is left alone: " + Shown(CurrentDirectory()));
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool is found");
    ExpectText(run.Dp(), kDpAnswer, "a second DisplayPort run");
}

void ProgramDirWith(std::wstring_view characters) {
    UseAppVersion();
    Run run;
    const std::wstring programDir = run.launcher.ToolCommands().ProgramDir();
    Expect(programDir.find_first_of(characters) != std::wstring::npos &&
               programDir.find_first_not_of(characters) != std::wstring::npos,
           "program folder " + Shown(programDir) + " holds " + Shown(std::wstring(characters)));
    bool all = true;
    for (const wchar_t c : characters) {
        all = all && programDir.find(c) != std::wstring::npos;
    }
    Expect(all, "every one of them");
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "hub tool found");
    ExpectText(run.Dp(), kDpAnswer, "DisplayPort tool found");
}

void CaseBlankProgramDir() {
    ProgramDirWith(L" ");
}
void CaseBlankAndParenthesesProgramDir() {
    ProgramDirWith(L" ()");
}

void CaseNeverEndingTool() {
    // The stand-in says when it hangs, so the hub run below surely overlaps it.
    const UniqueKernelHandle hanging(
        ::CreateEventW(nullptr, TRUE, FALSE, L"Local\\KrStandInHangingForToolTest"));
    SetVariable(L"KR_STANDIN_READY_EVENT", L"Local\\KrStandInHangingForToolTest");
    SetVariable(L"KR_STANDIN_DP_MODE", L"hang");
    Run run;
    run.launcher.StartDpTool();
    Expect(::WaitForSingleObject(hanging.Get(), kToolWaitMs) == WAIT_OBJECT_0,
           "the DisplayPort tool runs and does not end");
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool runs meanwhile");
    ExpectText(Shown(run.results.m_dpToolText.Get()), L"running",
               "the DisplayPort tool is still running");
    std::printf("info leaving with the DisplayPort tool still running\n");
    static_cast<void>(std::fflush(stdout));
}

// Processes of this name still running in the prefix.
int ProcessesNamed(std::wstring_view name) {
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
         more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, name.data(), static_cast<int>(name.size()),
                                   TRUE) == CSTR_EQUAL) {
            ++count;
        }
    }
    return count;
}

void CaseToolEndedAtItsBound() {
    SetVariable(L"KR_STANDIN_HUB_MODE", L"hang");
    ToolResults results;
    ToolEndWaiter waiter;
    constexpr DWORD kBoundMs = 2000;
    Win32ToolLauncher launcher(results, false, waiter.Notice(), kBoundMs);
    static_cast<void>(launcher.StartHubTool());
    if (waiter.Wait("hub tool")) {
        ExpectText(
            Shown(results.m_hubToolText.Get()),
            L"failed: GL352xISP.exe did not end within 2 s and was ended with all it started",
            "a hub tool that never ends");
    }
    Expect(ProcessesNamed(L"GL352xISP.exe") == 0, "no hub tool is left running");
}

// A missing tool is named by where it was looked for, and its result says it
// did not run, as for any tool that cannot start.
void ExpectMissing(const Run& run, std::wstring_view name, std::wstring_view subFolder) {
    const std::wstring expected = ProgramFolder() + std::wstring(subFolder) + std::wstring(name);
    Expect(run.missing && run.missing->name == name && SameFolder(run.missing->path, expected),
           "missing " + Narrow(name) + " named at " +
               Shown(run.missing ? run.missing->path : L"(nothing)"));
}

void CaseMissingTools() {
    Run run;
    ExpectText(run.Hub(), L"failed: GL352xISP.exe could not be started", "missing hub tool");
    ExpectMissing(run, L"GL352xISP.exe", L"Tool\\");
    ExpectText(run.Dp(), L"failed: McdpIsp.exe could not be started", "missing DisplayPort tool");
    ExpectMissing(run, L"McdpIsp.exe", L"Tool\\Mega\\");
}

void CaseMissingDpTool() {
    Run run;
    ExpectText(run.Dp(), L"failed: McdpIsp.exe could not be started", "missing DisplayPort tool");
    ExpectMissing(run, L"McdpIsp.exe", L"Tool\\Mega\\");
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool beside it still answers");
    Expect(!run.missing, "and is not named missing");
}

void CaseNoSuchProgram() {
    const ToolCommand nothing{.name = L"GL352xISP.exe",
                              .program = ProgramFolder() + L"kr-no-such-tool.exe",
                              .commandLine = L"kr-no-such-tool.exe -f",
                              .workingDir = ProgramFolder()};
    const auto shown = [](const ToolOutcome& outcome) {
        return (outcome.done ? L"done: " : L"failed: ") + outcome.text;
    };
    ExpectText(shown(ToolProcess::RunToolExitCode(nothing, false)),
               L"failed: GL352xISP.exe could not be started", "exit-code form when nothing starts");
    ExpectText(shown(ToolProcess::RunToolCaptureText(nothing, false)),
               L"failed: GL352xISP.exe could not be started",
               "captured-text form when nothing starts");
    ExpectText(shown(ToolProcess::RunToolExitCode(ToolCommand{}, false)),
               L"failed:  could not be started", "nor when no program is named");
}

void CaseShownConsole() {
    UseAppVersion();
    ToolResults results;
    ToolEndWaiter waiter;
    Win32ToolLauncher launcher(results, true, waiter.Notice());
    launcher.StartHubTool();
    if (waiter.Wait("hub tool")) {
        ExpectText(Shown(results.m_hubToolText.Get()), L"HUB FW is 0x8720",
                   "hub tool in a console of its own");
    }
    launcher.StartDpTool();
    if (waiter.Wait("DisplayPort tool")) {
        ExpectText(Shown(results.m_dpToolText.Get()), kDpAnswer,
                   "DisplayPort output still reaches the pipe");
    }
}

struct TestCase {
    const char* name;
    void (*run)();
};

constexpr TestCase kCases[] = {
    {"hub_exit_8720", CaseHubExit8720},
    {"hub_exit_18720", CaseHubExit18720},
    {"hub_exit_26", CaseHubExit26},
    {"hub_flood", CaseHubFlood},
    {"dp_answer", CaseDpAnswer},
    {"dp_long_output", CaseDpLongOutput},
    {"dp_stderr", CaseDpStdErr},
    {"dp_silent", CaseDpSilent},
    {"dp_no_token", CaseDpNoToken},
    {"dp_junk", CaseDpJunk},
    {"current_directory", CaseCurrentDirectory},
    {"blank_program_dir", CaseBlankProgramDir},
    {"blank_parentheses_program_dir", CaseBlankAndParenthesesProgramDir},
    {"never_ending_tool", CaseNeverEndingTool},
    {"tool_ended_at_its_bound", CaseToolEndedAtItsBound},
    {"missing_tools", CaseMissingTools},
    {"missing_dp_tool", CaseMissingDpTool},
    {"no_such_program", CaseNoSuchProgram},
    {"shown_console", CaseShownConsole},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        for (const TestCase& testCase : kCases) {
            if (std::string_view(argv[1]) == testCase.name) {
                try {
                    testCase.run();
                } catch (...) {
                    Expect(false, "the case ran without an exception");
                }
                return g_failures == 0 ? 0 : 1;
            }
        }
    }
    static_cast<void>(std::fputs("usage: wine_tools_test CASE\ncases:", stderr));
    for (const TestCase& testCase : kCases) {
        static_cast<void>(std::fprintf(stderr, " %s", testCase.name));
    }
    static_cast<void>(std::fputs("\n", stderr));
    return 2;
}
