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

    // The dialog's result says nothing the program acts on.
    CKrEFM8SwUpgradeDlg dialog;
    static_cast<void>(dialog.DoModal());

    // The dialog was the whole program: no message loop follows.
    return FALSE;
}

int CKrEFM8SwUpgradeApp::ExitInstance() {
    m_gdiplus.Deinitialize();
    return CWinApp::ExitInstance();
}
