#include "package/PackageIdentity.h"

std::uint16_t g_wPackageVid = 0;
std::uint16_t g_wPackagePid = 0;
std::int32_t g_bPackageLoaded = 0;
