#include "app/win32/CKrEFM8SwUpgradeApp.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "app/command/CommandLine.h"
#include "app/outcome/ExitCodes.h"
#include "app/trust/InstallationTrust.h"
#include "app/win32/CKrEFM8SwUpgradeDlg.h"
#include "app/win32/DefaultLog.h"
#include "app/win32/EventReport.h"
#include "app/win32/FlowCore.h"
#include "app/win32/InstallationCheck.h"
#include "app/win32/LogOutputs.h"
#include "app/win32/SilentRunner.h"
#include "app/win32/SingleInstance.h"
#include "app/win32/StatusStore.h"
#include "app/win32/TraceFile.h"

namespace {

CKrEFM8SwUpgradeApp theApp;

constexpr wchar_t kCaption[] = L"DOCK Firmware Update Tool";

// Text for whoever started the tool: on the console it was started from, else
// in a box, unless /s forbids anything that waits for a person.
void Tell(const ConsoleOutput& console, bool silent, const std::wstring& text) {
    if (console.Present()) {
        console.WriteLine(text);
    } else if (!silent) {
        ::MessageBoxW(nullptr, text.c_str(), kCaption, MB_OK);
    }
}

// A line for the log file a refused start names, when it names one that can
// be kept: whoever reads only the log learns why nothing happened.
void TellLogFile(const std::optional<std::wstring>& path, const std::wstring& line) {
    LogFile file;
    if (path && !file.Open(*path)) {
        file.WriteLine(line);
    }
}

// A start that ends before any check: the record says Failed, so no older
// Current outlives it, and the event is reported. `say` gets the lines of
// what could not be done; the default exit code is returned.
template <typename Say>
int EndBeforeAnyCheck(const Say& say) {
    const Conclusion conclusion = RunOutcome::BeforeAnyCheck(Audience{});
    for (const std::wstring& line : CarryOut(conclusion)) {
        say(line);
    }
    return conclusion.code;
}

// Whether a person could see a window this process shows: not in session 0,
// where services run (an interactive service's window station is visible,
// but no one logs on there), and not on the window station of a service.
bool WindowStationVisible() {
    DWORD session = 0;
    if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == 0) {
        return false;
    }
    USEROBJECTFLAGS flags{};
    const HWINSTA station = ::GetProcessWindowStation();
    if (station == nullptr ||
        !::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), nullptr)) {
        return true;  // unknown: as on any desktop
    }
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

BOOL CKrEFM8SwUpgradeApp::InitInstance() {
    const CommandLineParse parse = ParseCommandLine(::GetCommandLineW());
    const bool silent = parse.Silent();
    if (silent) {
        // No box of the system's either: a missing disk or a crash ends the
        // run instead of waiting for a person who is not there.
        static_cast<void>(::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                         SEM_NOOPENFILEERRORBOX));
    } else {
        // Only a window the user sees is brought back after an update of Windows.
        m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
    }
    CWinApp::InitInstance();
    const std::optional<std::wstring> invisible =
        InvisibleWindowRefusal(parse, WindowStationVisible());
    // The window needs no console; anything else may have something to say.
    const bool quietWindow = parse.Understood() && !silent && !parse.options->usage && !invisible;
    const ConsoleOutput console = quietWindow ? ConsoleOutput::None() : ConsoleOutput();

    if (invisible) {
        Tell(console, /*silent=*/true, *invisible);
        TellLogFile(parse.Understood() ? parse.options->logFile : parse.logFileSeen, *invisible);
        m_exitCode = exit_code::kBadCommandLine;
        return FALSE;
    }
    if (!parse.Understood()) {
        Tell(console, silent, parse.reason + L"\r\n" + std::wstring(kUsageText));
        if (silent) {
            TellLogFile(parse.logFileSeen, L"The command line is not understood: " + parse.reason);
        }
        m_exitCode = exit_code::kBadCommandLine;
        return FALSE;
    }
    const CommandLineOptions& options = *parse.options;
    if (options.usage) {
        Tell(console, silent, std::wstring(kUsageText));
        m_exitCode = 0;
        return FALSE;
    }

    const SingleInstance instance;
    if (!instance.Held()) {
        Tell(console, silent,
             L"Another DOCK Firmware Update Tool is running; try again when it has ended.");
        // The administrator learns of it; the record belongs to the run that
        // holds the lock.
        if (const std::optional<std::wstring> failure =
                ReportEndingEvent(exit_code::kAlreadyRunning,
                                  {L"code=" + std::to_wstring(exit_code::kAlreadyRunning)})) {
            Tell(console, silent, *failure);
        }
        m_exitCode = ExitCodeFor(parse, exit_code::kAlreadyRunning);
        return FALSE;
    }

    // As the system, the vendor tools run only from a folder no user can
    // change; it stays held until the process ends.
    InstallationCheck installation;
    const std::optional<std::wstring> untrusted =
        ProcessIsLocalSystem() ? installation.Refusal() : std::nullopt;

    // The log file is opened before anything is sent to the dock.
    LogFile logFile;
    if (options.logFile) {
        if (const std::optional<std::wstring> refusal = logFile.Open(*options.logFile)) {
            Tell(console, silent,
                 L"Cannot use the log file " + *options.logFile + L": " + *refusal);
            m_exitCode = ExitCodeFor(parse, EndBeforeAnyCheck([&](const std::wstring& line) {
                                         Tell(console, silent, line);
                                     }));
            return FALSE;
        }
    }
    // Without /l a silent run still leaves its trace on the machine.
    std::optional<std::wstring> noDefaultLog;
    if (silent && !options.logFile) {
        if (const std::optional<std::wstring> refusal = OpenDefaultLog(ProcessScope(), logFile)) {
            noDefaultLog = L"The default log cannot be used (" + *refusal +
                           L"): the log goes to the console only.";
        }
    }
    LogOutputs outputs(silent ? &console : nullptr, logFile.IsOpen() ? &logFile : nullptr);
    if (noDefaultLog) {
        outputs.Write(LogRecord{*noDefaultLog, 0, LogText});
    }
    const auto writeLine = [&outputs](const std::wstring& line) {
        outputs.Write(LogRecord{line, 0, LogText});
    };
    if (untrusted) {
        const std::wstring line = InstallationRefusalLine(*untrusted);
        // Silently the outputs hold the console; the window's person sees a box.
        if (!silent) {
            Tell(console, silent, line);
        }
        writeLine(line);
        m_exitCode = ExitCodeFor(parse, EndBeforeAnyCheck(writeLine));
        return FALSE;
    }
    // A trace is for support: one that cannot be kept is said, and the run
    // goes on as it would without it.
    std::unique_ptr<TraceFile> trace;
    if (options.traceFile) {
        std::wstring refusal;
        trace = TraceFile::Open(*options.traceFile, refusal);
        if (!trace) {
            writeLine(L"Cannot use the trace file " + *options.traceFile + L": " + refusal +
                      L"; no trace is kept.");
        }
    }
    TraceWriter* const traceWriter = trace ? &trace->Writer() : nullptr;
    if (silent) {
        SilentRunner runner(options, outputs, traceWriter);
        m_exitCode = ExitCodeFor(parse, runner.Run());
    } else {
        m_exitCode = RunWindow(outputs, traceWriter);
    }
    return FALSE;
}

int CKrEFM8SwUpgradeApp::RunWindow(LogOutputs& outputs, TraceWriter* trace) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    static_cast<void>(::InitCommonControlsEx(&controls));
    m_gdiplus.Initialize();

    // Closing the dialog ends the program whatever the result; only a dialog
    // that could not be shown at all makes the process end with a failure,
    // so whoever started it learns that nothing was checked or written.
    CKrEFM8SwUpgradeDlg dialog(outputs, trace);
    const bool failed = dialog.DoModal() == -1;
    m_gdiplus.Deinitialize();
    if (!failed) {
        return 0;
    }
    return EndBeforeAnyCheck([&outputs](const std::wstring& line) {
        outputs.Write(LogRecord{line, 0, LogText});
    });
}

int CKrEFM8SwUpgradeApp::ExitInstance() {
    const int frameworkCode = CWinApp::ExitInstance();
    return m_exitCode != 0 ? m_exitCode : frameworkCode;
}
