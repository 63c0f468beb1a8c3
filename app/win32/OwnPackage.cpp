#include "app/win32/OwnPackage.h"

#include "framework/ModuleFileName.h"

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
