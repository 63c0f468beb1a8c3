#include <windows.h>

#include "framework/CWinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    static_cast<void>(hInstance);
    static_cast<void>(hPrevInstance);
    static_cast<void>(lpCmdLine);
    static_cast<void>(nShowCmd);
    // Before anything can load a library: every library loaded later by
    // name, the delay-loaded ones included, comes from the system folder,
    // never from beside the program or the current directory.
    static_cast<void>(::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
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
