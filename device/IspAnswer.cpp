#include "device/IspAnswer.h"

#include <algorithm>

namespace device {
namespace {

// The answer's signature names `code` and the answer holds `needed` bytes.
bool Answers(std::span<const std::uint8_t> answer, std::uint8_t code, std::size_t needed) {
    return answer.size() >= needed && AnsweredCode(answer) == code;
}

}  // namespace

std::optional<std::uint8_t> AnsweredCode(std::span<const std::uint8_t> answer) {
    if (answer.size() <= kCodePos || answer[kClassPos] != answer[kCodePos] ||
        answer[kSignatureHighPos] != kSignatureHigh || answer[kSignatureLowPos] != kSignatureLow) {
        return std::nullopt;
    }
    return answer[kCodePos];
}

std::optional<DeviceMode> DecodeModeAnswer(std::span<const std::uint8_t> answer) {
    if (!Answers(answer, USBUID_ISP_EFM8_CMD_DEVICE_STATUS, kParameterPos + 1)) {
        return std::nullopt;
    }
    return (answer[kParameterPos] & 0x01U) != 0 ? DeviceMode::Bootloader : DeviceMode::Application;
}

std::optional<std::array<std::uint8_t, 4>> DecodeVersionAnswer(
    std::span<const std::uint8_t> answer) {
    std::array<std::uint8_t, 4> version{};
    if (!Answers(answer, USBUID_ISP_EFM8_CMD_DEVICE_VERSION, kParameterPos + version.size())) {
        return std::nullopt;
    }
    std::copy_n(answer.begin() + kParameterPos, version.size(), version.begin());
    return version;
}

std::optional<std::uint8_t> DecodeStatus(std::span<const std::uint8_t> answer) {
    if (answer.size() <= kParameterPos) {
        return std::nullopt;
    }
    return answer[kParameterPos];
}

std::optional<std::uint16_t> DecodeChecksum(std::span<const std::uint8_t> answer) {
    if (answer.size() <= kParameterPos + 1) {
        return std::nullopt;
    }
    return GetBigEndian16(answer, kParameterPos);
}

}  // namespace device
