#include "device/IspCommand.h"

namespace device {
namespace {

IspReport CommandReport(std::uint8_t commandClass, std::uint8_t code) {
    IspReport report{};
    report[kReportIdPos] = kOutputReportId;
    report[kClassPos] = commandClass;
    report[kSignatureHighPos] = kSignatureHigh;
    report[kSignatureLowPos] = kSignatureLow;
    report[kCodePos] = code;
    // Erase and checksum end in 0x00 rather than the usual 0x5A: that is how
    // the dock has always received them, so it is what the tool sends.
    const bool plainTrailer =
        code == USBUID_ISP_EFM8_CMD_ERASE || code == USBUID_ISP_EFM8_CMD_CHECKSUM;
    report[kTrailerPos] = plainTrailer ? 0x00 : kTrailer;
    return report;
}

}  // namespace

std::uint8_t Chip3PageCount(std::uint32_t image0Length) {
    const std::uint32_t pages =
        image0Length / kChip3PageSize + (image0Length % kChip3PageSize != 0 ? 1U : 0U);
    return static_cast<std::uint8_t>(pages);
}

IspReport BuildFinishCommand(std::uint16_t image0Sum, std::uint32_t image0Length,
                             const std::array<std::uint8_t, 4>& codeVersion) {
    IspReport report = CommandReport(kClassMode, USBUID_ISP_EFM8_CMD_FINISH);
    PutBigEndian16(report, kParameterPos, image0Sum);
    PutBigEndian16(report, kParameterPos + 2, static_cast<std::uint16_t>(image0Length));
    for (std::size_t i = 0; i < codeVersion.size(); ++i) {
        report[kParameterPos + 4 + i] = codeVersion[i];
    }
    return report;
}

IspReport BuildJumpIspCommand() {
    return CommandReport(kClassMode, USBUID_ISP_EFM8_CMD_JUMP_ISP);
}

IspReport BuildEraseCommand(std::uint32_t image0Length) {
    IspReport report = CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_ERASE);
    report[kParameterPos] = Chip3PageCount(image0Length);
    return report;
}

IspReport BuildChecksumCommand(std::uint32_t image0Length) {
    IspReport report = CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_CHECKSUM);
    PutBigEndian16(report, kParameterPos, static_cast<std::uint16_t>(image0Length));
    return report;
}

IspReport BuildDeviceStatusCommand() {
    return CommandReport(kClassMode, USBUID_ISP_EFM8_CMD_DEVICE_STATUS);
}

IspReport BuildDeviceVersionCommand() {
    return CommandReport(kClassMode, USBUID_ISP_EFM8_CMD_DEVICE_VERSION);
}

IspReport BuildTiInitialCommand() {
    return CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_TI_INITIAL);
}

IspReport BuildTiEraseCommand() {
    return CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_TI_ERASE);
}

IspReport BuildTiStatusCommand() {
    return CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_TI_STATUS);
}

IspReport BuildTiChecksumCommand(std::uint32_t image4Length) {
    IspReport report = CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_TI_CHECKSUM);
    PutBigEndian32(report, kParameterPos, image4Length);
    return report;
}

IspReport BuildTiEndCommand() {
    return CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_TI_END);
}

IspReport BuildMegachipInitialCommand() {
    return CommandReport(kClassProgramming, USBUID_ISP_EFM8_CMD_MEGACHIP_INITIAL);
}

}  // namespace device
