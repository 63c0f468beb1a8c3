#pragma once

#include <cstdint>

// What the firmware package tells the device checks: the USB ids that the
// device search looks for, and whether the package loaded. Each front end
// fills its own from the package it loaded and gives it to its flow.
struct PackageIdentity {
    std::uint16_t m_wPackageVid = 0;
    std::uint16_t m_wPackagePid = 0;
    bool m_bPackageLoaded = false;
};
