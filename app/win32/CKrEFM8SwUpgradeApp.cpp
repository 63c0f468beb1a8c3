#include "app/win32/CKrEFM8SwUpgradeApp.h"

#include <windows.h>

#include <commctrl.h>

#include "app/win32/CKrEFM8SwUpgradeDlg.h"

namespace {
CKrEFM8SwUpgradeApp theApp;
}  // namespace

CKrEFM8SwUpgradeApp::CKrEFM8SwUpgradeApp() noexcept {
    m_dwRestartManagerSupportFlags = kRestartManagerSupportRestart;
}

BOOL CKrEFM8SwUpgradeApp::InitInstance() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    static_cast<void>(::InitCommonControlsEx(&controls));

    CWinApp::InitInstance();
    m_gdiplus.Initialize();

    // Closing the dialog ends the program whatever the result; only a dialog
    // that could not be shown at all makes the process end with a failure,
    // so whoever started it learns that nothing was checked or written.
    CKrEFM8SwUpgradeDlg dialog;
    m_dialogFailed = dialog.DoModal() == -1;

    // The dialog was the whole program: no message loop follows.
    return FALSE;
}

int CKrEFM8SwUpgradeApp::ExitInstance() {
    m_gdiplus.Deinitialize();
    const int exitCode = CWinApp::ExitInstance();
    return m_dialogFailed ? kExitDialogFailed : exitCode;
}
