#pragma once

#include <windows.h>

// The process-wide application object. wWinMain runs InitInstance, in which
// a dialog-based program shows its dialog, and then ExitInstance, whose
// result is the process's exit code. There is no message loop besides the
// modal dialog's, so InitInstance's result only says whether the
// initialisation succeeded.
class CWinApp {
public:
    // Windows may restart the program after it was closed for an update or
    // after it stopped responding.
    static constexpr DWORD kRestartManagerSupportRestart = 0x01;

    CWinApp() noexcept;
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The one application object of the process.
    static CWinApp* GetApp() noexcept;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    DWORD m_dwRestartManagerSupportFlags = 0;
};
