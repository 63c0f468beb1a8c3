#include "framework/CWinApp.h"

namespace {
CWinApp* g_pApp = nullptr;
}  // namespace

CWinApp::CWinApp() noexcept {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    g_pApp = nullptr;
}

CWinApp* CWinApp::GetApp() noexcept {
    return g_pApp;
}

BOOL CWinApp::InitInstance() {
    if ((m_dwRestartManagerSupportFlags & kRestartManagerSupportRestart) != 0) {
        // The result is of no interest: without it the program simply is not restarted.
        static_cast<void>(::RegisterApplicationRestart(nullptr, 0));
    }
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}
