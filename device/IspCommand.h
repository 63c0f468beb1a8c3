#pragma once

#include <array>
#include <cstdint>

#include "device/IspReport.h"

// One builder per command: each returns the whole 64-byte report as it goes
// out, report ID, signature, parameters and trailer included. Every byte the
// command does not use is 0x00.
namespace device {

// The microcontroller's flash is erased in pages of this size.
inline constexpr std::uint32_t kChip3PageSize = 512;

// Pages that an image of this length covers, rounded up and kept to the 8 bits
// the erase command carries.
std::uint8_t Chip3PageCount(std::uint32_t image0Length);

// Chip 3, in the bootloader: the sum, the low 16 bits of the length and the
// code version (letter, then three digit values) of the image just written.
IspReport BuildFinishCommand(std::uint16_t image0Sum, std::uint32_t image0Length,
                             const std::array<std::uint8_t, 4>& codeVersion);
IspReport BuildJumpIspCommand();
IspReport BuildEraseCommand(std::uint32_t image0Length);
IspReport BuildChecksumCommand(std::uint32_t image0Length);

// Mode and version queries.
IspReport BuildDeviceStatusCommand();
IspReport BuildDeviceVersionCommand();

// Chip 1, the power-delivery controller, through the application.
IspReport BuildTiInitialCommand();
IspReport BuildTiEraseCommand();
IspReport BuildTiStatusCommand();
IspReport BuildTiChecksumCommand(std::uint32_t image4Length);
IspReport BuildTiEndCommand();

// Chip 2, the DisplayPort controller, through the application.
IspReport BuildMegachipInitialCommand();

}  // namespace device
