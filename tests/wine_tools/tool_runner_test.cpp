// The vendor tools' runner against the stand-in tools, under Wine. One case
// per run, named by the first argument. The current directory is the start
// directory that run_tool_test.sh prepared, with the stand-ins in Tool\ and
// Tool\Mega\ below it (or not, for the cases of a missing tool).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

#include "framework/OwnedHandle.h"
#include "tools/HubToolText.h"
#include "tools/ToolResultText.h"
#include "tools/win32/ToolProcess.h"
#include "tools/win32/Win32ToolLauncher.h"

namespace {

// Long enough for Wine to start the interpreter and a tool on a busy machine;
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

// A launcher whose command lines come from the start directory, as the dialog builds them.
struct Run {
    ToolResults results;
    ToolEndWaiter waiter;
    Win32ToolLauncher launcher{results, false, waiter.Notice()};
    Run() { launcher.BuildToolCommands(); }

    std::wstring Hub() {
        results.m_hubToolText.Clear();
        launcher.StartHubTool();
        return waiter.Wait("hub tool") ? results.m_hubToolText.Get() : std::wstring();
    }
    std::wstring Dp() {
        results.m_dpToolText.Clear();
        launcher.StartDpTool();
        return waiter.Wait("DisplayPort tool") ? results.m_dpToolText.Get() : std::wstring();
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

void CaseCurrentDirectory() {
    UseAppVersion();
    Run run;
    const std::wstring startDir = run.launcher.ToolCommands().StartDir();
    Expect(SameFolder(startDir, CurrentDirectory()),
           "command lines built from the current directory " + Shown(startDir));
    ExpectText(run.Dp(), kDpAnswer, "DisplayPort tool's answer");
    const std::wstring afterDp = CurrentDirectory();
    Expect(SameFolder(afterDp, startDir + L"\\Tool\\Mega"),
           "the current directory is the tool's folder afterwards: " + Shown(afterDp));
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool is still found");
    ExpectText(run.Dp(), kDpAnswer, "a second DisplayPort run from inside its folder");
}

void StartDirWith(std::wstring_view characters) {
    UseAppVersion();
    Run run;
    const std::wstring startDir = run.launcher.ToolCommands().StartDir();
    Expect(startDir.find_first_of(characters) != std::wstring::npos &&
               startDir.find_first_not_of(characters) != std::wstring::npos,
           "start directory " + Shown(startDir) + " holds " + Shown(std::wstring(characters)));
    bool all = true;
    for (const wchar_t c : characters) {
        all = all && startDir.find(c) != std::wstring::npos;
    }
    Expect(all, "every one of them");
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "hub tool found");
    ExpectText(run.Dp(), kDpAnswer, "DisplayPort tool found");
}

void CaseBlankStartDir() {
    StartDirWith(L" ");
}
void CaseBlankAndParenthesesStartDir() {
    StartDirWith(L" ()");
}

void CaseNeverEndingTool() {
    // The stand-in says when it hangs, so the hub run below surely overlaps it.
    const UniqueKernelHandle hanging(
        ::CreateEventW(nullptr, TRUE, FALSE, L"Local\\KrStandInHangingForToolTest"));
    SetVariable(L"KR_STANDIN_READY_EVENT", L"Local\\KrStandInHangingForToolTest");
    SetVariable(L"KR_STANDIN_DP_MODE", L"hang");
    Run run;
    run.results.m_dpToolText.Clear();
    run.launcher.StartDpTool();
    Expect(::WaitForSingleObject(hanging.Get(), kToolWaitMs) == WAIT_OBJECT_0,
           "the DisplayPort tool runs and does not end");
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool runs meanwhile");
    ExpectText(run.results.m_dpToolText.Get(), L"", "the DisplayPort result stays empty");
    std::printf("info leaving with the DisplayPort tool still running\n");
    static_cast<void>(std::fflush(stdout));
}

void CaseMissingTools() {
    Run run;
    const std::wstring hub = run.Hub();
    Expect(hub.rfind(L"HUB FW is 0x", 0) == 0 && !Contains(hub, L"0x8720") &&
               hub != L"HUB FW is 0x0000",
           "missing hub tool: the interpreter's exit code " + Shown(hub));
    const std::wstring startDir = CurrentDirectory();
    const std::wstring dp = run.Dp();
    Expect(!Contains(dp, L"Pegasus App:"), "missing DisplayPort tool: " + Shown(dp));
    Expect(SameFolder(CurrentDirectory(), startDir),
           "without a Mega folder the current directory stays " + Shown(startDir));
}

void CaseMissingDpTool() {
    Run run;
    const std::wstring dp = run.Dp();
    Expect(!Contains(dp, L"Pegasus App:"), "missing DisplayPort tool: " + Shown(dp));
    ExpectText(run.Hub(), L"HUB FW is 0x8720", "the hub tool beside it still answers");
}

void CaseNoInterpreter() {
    constexpr std::wstring_view kNoInterpreter = L"kr-no-such-interpreter.exe /C GL352xISP.exe -f";
    ExpectText(ToolProcess::RunToolExitCode(kNoInterpreter, false), HubFirmwareUnknownText(),
               "exit-code form when nothing starts");
    Expect(!Contains(HubFirmwareUnknownText(), L"0x8720"), "which names no hub version");
    ExpectText(ToolProcess::RunToolCaptureText(kNoInterpreter, false), L"",
               "captured-text form when nothing starts");

    // A launcher that never read its start directory has nothing to run.
    ToolResults results;
    ToolEndWaiter waiter;
    Win32ToolLauncher unbuilt(results, false, waiter.Notice());
    const std::wstring startDir = CurrentDirectory();
    unbuilt.StartHubTool();
    if (waiter.Wait("hub tool")) {
        ExpectText(results.m_hubToolText.Get(), HubFirmwareUnknownText(),
                   "hub result without command lines");
    }
    results.m_dpToolText.Set(L"stale");
    unbuilt.StartDpTool();
    if (waiter.Wait("DisplayPort tool")) {
        ExpectText(results.m_dpToolText.Get(), L"", "DisplayPort result without command lines");
    }
    Expect(SameFolder(CurrentDirectory(), startDir), "the current directory is left alone");
}

void CaseShownConsole() {
    UseAppVersion();
    ToolResults results;
    ToolEndWaiter waiter;
    Win32ToolLauncher launcher(results, true, waiter.Notice());
    launcher.BuildToolCommands();
    launcher.StartHubTool();
    if (waiter.Wait("hub tool")) {
        ExpectText(results.m_hubToolText.Get(), L"HUB FW is 0x8720",
                   "hub tool in a console of its own");
    }
    launcher.StartDpTool();
    if (waiter.Wait("DisplayPort tool")) {
        ExpectText(results.m_dpToolText.Get(), kDpAnswer,
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
    {"blank_start_dir", CaseBlankStartDir},
    {"blank_parentheses_start_dir", CaseBlankAndParenthesesStartDir},
    {"never_ending_tool", CaseNeverEndingTool},
    {"missing_tools", CaseMissingTools},
    {"missing_dp_tool", CaseMissingDpTool},
    {"no_interpreter", CaseNoInterpreter},
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
