#include <windows.h>

#include "framework/CWinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    static_cast<void>(hInstance);
    static_cast<void>(hPrevInstance);
    static_cast<void>(lpCmdLine);
    static_cast<void>(nShowCmd);
    CWinApp* const app = CWinApp::GetApp();
    if (app == nullptr) {
        return 1;
    }
    try {
        static_cast<void>(app->InitInstance());
        return app->ExitInstance();
    } catch (...) {
        return 1;
    }
}
