// A program planted under the name of a system program (cmd.exe) beside the
// tool, in its Tool folder or in Tool\Mega, as a shared download folder may
// hold one. The tool must never start it. If it does, the program leaves a
// file beside itself, its own name followed by ".ran", for the test to find,
// and ends with kPlantedProgramRan, so that a tool result built from its
// exit code names no hub version either.
#include <windows.h>

#include <cwchar>

namespace {

constexpr int kPlantedProgramRan = 86;
constexpr wchar_t kMarkerSuffix[] = L".ran";

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH + sizeof(kMarkerSuffix) / sizeof(wchar_t)];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        std::wcscpy(path + length, kMarkerSuffix);
        const HANDLE marker = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (marker != INVALID_HANDLE_VALUE) {
            ::CloseHandle(marker);
        }
    }
    return kPlantedProgramRan;
}
