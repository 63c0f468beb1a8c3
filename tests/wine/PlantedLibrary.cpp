// A library planted beside the tool under the name of a system library, as a
// download folder may hold one. The tool must never load it. If it does, the
// library leaves a file beside itself, its own name followed by ".loaded", for
// the test to find; where it cannot, it ends the process with
// kPlantedLibraryRan, so that the test fails all the same. It exports
// nothing, so the rig also installs it as a system hid.dll that lacks every
// function the tool calls.
#include <windows.h>

#include <cwchar>

namespace {

constexpr UINT kPlantedLibraryRan = 86;
constexpr wchar_t kMarkerSuffix[] = L".loaded";

bool LeaveMarker(HINSTANCE self) noexcept {
    wchar_t path[MAX_PATH + sizeof(kMarkerSuffix) / sizeof(wchar_t)];
    const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    std::wcscpy(path + length, kMarkerSuffix);
    const HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(marker);
    return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    static_cast<void>(reserved);
    if (reason == DLL_PROCESS_ATTACH && !LeaveMarker(instance)) {
        ::ExitProcess(kPlantedLibraryRan);
    }
    return TRUE;
}
