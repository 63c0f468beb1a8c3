#include "app/win32/CKrEFM8SwUpgradeApp.h"

#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/FlowEnding.h"
#include "app/win32/CKrEFM8SwUpgradeDlg.h"
#include "app/win32/LogOutputs.h"
#include "app/win32/SilentRunner.h"
#include "app/win32/SingleInstance.h"

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

}  // namespace

CKrEFM8SwUpgradeApp::CKrEFM8SwUpgradeApp() noexcept {
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
}

BOOL CKrEFM8SwUpgradeApp::InitInstance() {
    CWinApp::InitInstance();
    const CommandLineParse parse = ParseCommandLine(::GetCommandLineW());
    const bool silent = parse.Understood() ? parse.options->silent : parse.silentSeen;
    // The window needs no console; anything else may have something to say.
    const bool quietWindow = parse.Understood() && !silent && !parse.options->usage;
    const ConsoleOutput console = quietWindow ? ConsoleOutput::None() : ConsoleOutput();

    if (!parse.Understood()) {
        Tell(console, silent, parse.reason + L"\r\n" + std::wstring(kUsageText));
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
        m_exitCode = exit_code::kAlreadyRunning;
        return FALSE;
    }

    // The log file is opened before anything is sent to the dock.
    LogFile logFile;
    if (options.logFile) {
        if (const std::optional<std::wstring> refusal = logFile.Open(*options.logFile)) {
            Tell(console, silent,
                 L"Cannot use the log file " + *options.logFile + L": " + *refusal);
            m_exitCode = exit_code::kFailed;
            return FALSE;
        }
    }
    LogOutputs outputs(silent ? &console : nullptr, options.logFile ? &logFile : nullptr);
    if (silent) {
        SilentRunner runner(options, outputs);
        m_exitCode = runner.Run();
    } else {
        m_exitCode = RunWindow(outputs);
    }
    return FALSE;
}

int CKrEFM8SwUpgradeApp::RunWindow(LogOutputs& outputs) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    static_cast<void>(::InitCommonControlsEx(&controls));
    m_gdiplus.Initialize();

    // Closing the dialog ends the program whatever the result; only a dialog
    // that could not be shown at all makes the process end with a failure,
    // so whoever started it learns that nothing was checked or written.
    CKrEFM8SwUpgradeDlg dialog(outputs);
    const bool failed = dialog.DoModal() == -1;
    m_gdiplus.Deinitialize();
    return failed ? kExitDialogFailed : 0;
}

int CKrEFM8SwUpgradeApp::ExitInstance() {
    const int frameworkCode = CWinApp::ExitInstance();
    return m_exitCode != 0 ? m_exitCode : frameworkCode;
}
