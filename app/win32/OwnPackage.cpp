#include "app/win32/OwnPackage.h"

#include <windows.h>

std::wstring ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

package::LoadResult LoadOwnPackage(Win32PackageFile& file, package::ImageTable& images,
                                   PackageIdentity& identity) {
    package::LoadResult result{.code = package::kErrorOpen, .fileError = false, .versionText = {}};
    if (file.Open(ModuleFileName())) {
        result = package::LoadPackage(file, images, identity.m_wPackageVid, identity.m_wPackagePid);
    }
    identity.m_bPackageLoaded = result.Ok();
    if (!result.Ok()) {
        file.Close();
    }
    return result;
}
