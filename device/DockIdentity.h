#pragma once

#include <cstdint>

// Who the dock's microcontroller is on the bus. The tool takes the vendor and
// product it looks for from the package it carries; the simulated dock, the
// rig and the tests play the model the sample package is built for.
namespace device {

inline constexpr std::uint16_t kDockVendorId = 0x10C4;
inline constexpr std::uint16_t kDockProductId = 0xF607;
// The release number the tool asks for.
inline constexpr std::uint16_t kDockRelease = 0x0100;
// The microcontroller answers on its vendor-defined collection.
inline constexpr std::uint16_t kDockUsagePage = 0xFF00;
inline constexpr std::uint16_t kDockUsage = 0x0002;

}  // namespace device
