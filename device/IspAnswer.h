#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "device/IspReport.h"

// Reading the microcontroller's answers. Each decoder takes the bytes as they
// were read, looks only at bytes 1 to 8 and refuses an answer too short to
// hold what it asks for, so it never reads past what was received.
namespace device {

enum class DeviceMode {
    Application,  // "AP": programs chips 1 and 2
    Bootloader,   // "ISP": programs its own flash, chip 3
};

// The code an answer carries when bytes 1 and 4 agree and bytes 2 to 3 are
// FE FF; nullopt for any other report, which is not dispatched.
std::optional<std::uint8_t> AnsweredCode(std::span<const std::uint8_t> answer);

// The answer to the mode query: only bit 0 of byte 5 counts.
std::optional<DeviceMode> DecodeModeAnswer(std::span<const std::uint8_t> answer);

// The answer to the version query: a letter and three digit values.
std::optional<std::array<std::uint8_t, 4>> DecodeVersionAnswer(
    std::span<const std::uint8_t> answer);

// Byte 5 of any answer: 0x00 means success (erased, ready, erase finished).
// The programming steps read it whatever bytes 1 to 4 hold.
std::optional<std::uint8_t> DecodeStatus(std::span<const std::uint8_t> answer);

// Bytes 5 to 6 of any answer, high byte first: the sum the device computed.
std::optional<std::uint16_t> DecodeChecksum(std::span<const std::uint8_t> answer);

}  // namespace device
