#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// The layout shared by every report the tool and the dock's microcontroller
// exchange: 64 bytes, a report ID in byte 0, and for commands and their
// answers the signature FE FF around the command code.
namespace device {

inline constexpr std::size_t kReportSize = 64;
using IspReport = std::array<std::uint8_t, kReportSize>;

inline constexpr std::uint8_t kOutputReportId = 0x02;

// Command classes: the mode commands and the programming commands.
inline constexpr std::uint8_t kClassMode = 0x03;
inline constexpr std::uint8_t kClassProgramming = 0x04;

// Byte positions of a command report and of its answer.
inline constexpr std::size_t kReportIdPos = 0;
inline constexpr std::size_t kClassPos = 1;  // in an answer: the code answered
inline constexpr std::size_t kSignatureHighPos = 2;
inline constexpr std::size_t kSignatureLowPos = 3;
inline constexpr std::size_t kCodePos = 4;
inline constexpr std::size_t kParameterPos = 5;  // in an answer: status or first data byte
inline constexpr std::size_t kTrailerPos = kReportSize - 1;

inline constexpr std::uint8_t kSignatureHigh = 0xFE;
inline constexpr std::uint8_t kSignatureLow = 0xFF;
inline constexpr std::uint8_t kTrailer = 0x5A;

// The command set, under the names the dock's firmware gives them.
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_FINISH = 0x02;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_JUMP_ISP = 0x03;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_ERASE = 0x04;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_CHECKSUM = 0x05;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_DEVICE_STATUS = 0x07;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_DEVICE_VERSION = 0x08;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_TI_INITIAL = 0x09;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_TI_ERASE = 0x0A;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_TI_STATUS = 0x0C;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_TI_CHECKSUM = 0x0D;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_TI_END = 0x0E;
inline constexpr std::uint8_t USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL = 0x0F;

// Byte positions of a data packet.
inline constexpr std::size_t kPacketLengthPos = 1;
inline constexpr std::size_t kPacketNumberPos = 2;  // low byte first
inline constexpr std::size_t kPacketDataPos = 4;
inline constexpr std::size_t kMaxPacketData = kTrailerPos - kPacketDataPos;  // 59

// Multi-byte numbers travel high byte first, except a data packet's number.
// Every caller passes a position whose bytes lie inside the report.
constexpr void PutBigEndian16(IspReport& report, std::size_t position, std::uint16_t value) {
    report[position] = static_cast<std::uint8_t>(value >> 8U);
    report[position + 1] = static_cast<std::uint8_t>(value);
}

constexpr void PutBigEndian32(IspReport& report, std::size_t position, std::uint32_t value) {
    PutBigEndian16(report, position, static_cast<std::uint16_t>(value >> 16U));
    PutBigEndian16(report, position + 2, static_cast<std::uint16_t>(value));
}

constexpr std::uint16_t GetBigEndian16(std::span<const std::uint8_t> bytes, std::size_t position) {
    return static_cast<std::uint16_t>((bytes[position] << 8U) | bytes[position + 1]);
}

constexpr std::uint32_t GetBigEndian32(std::span<const std::uint8_t> bytes, std::size_t position) {
    return (std::uint32_t{GetBigEndian16(bytes, position)} << 16U) |
           GetBigEndian16(bytes, position + 2);
}

}  // namespace device
