#pragma once

#include <cstdint>

// What the firmware package tells the rest of the program, process-wide: the
// USB ids that the device search looks for, and whether the package loaded.
// Written once by the package load during the dialog's initialisation.
extern std::uint16_t g_wPackageVid;
extern std::uint16_t g_wPackagePid;
extern std::int32_t g_bPackageLoaded;
