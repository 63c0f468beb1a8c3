#pragma once

#include "controls/win32/CGDIpInitializer.h"
#include "framework/CWinApp.h"

// The process: prepares the common controls and GDI+, runs the main dialog
// modally and ends when it closes.
class CKrEFM8SwUpgradeApp : public CWinApp {
public:
    CKrEFM8SwUpgradeApp() noexcept;
    ~CKrEFM8SwUpgradeApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // The process's exit code when the main dialog could not be created.
    static constexpr int kExitDialogFailed = 1;

private:
    bool m_dialogFailed = false;
    // Constructed without starting GDI+; InitInstance starts it.
    CGDIpInitializer m_gdiplus{FALSE};
};
