#pragma once

#include "controls/win32/CGDIpInitializer.h"
#include "framework/CWinApp.h"

// The process: reads its command line, then either runs the main dialog
// modally or, with /s, the silent runner, and ends with their exit code.
class CKrEFM8SwUpgradeApp : public CWinApp {
public:
    CKrEFM8SwUpgradeApp() noexcept = default;
    ~CKrEFM8SwUpgradeApp() override = default;

    BOOL InitInstance() override;
    int ExitInstance() override;

private:
    int RunWindow(class LogOutputs& outputs, class TraceWriter* trace);

    int m_exitCode = 0;
    // Constructed without starting GDI+; the window starts it.
    CGDIpInitializer m_gdiplus{FALSE};
};
