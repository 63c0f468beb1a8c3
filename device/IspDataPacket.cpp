#include "device/IspDataPacket.h"

#include <algorithm>

namespace device {

std::uint8_t PlainPacketLength(std::uint32_t remaining) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(remaining, kMaxPacketData));
}

std::uint8_t BlockPacketLength(std::uint32_t remaining, std::uint16_t blockRoom) {
    return static_cast<std::uint8_t>(
        std::min<std::uint32_t>(PlainPacketLength(remaining), blockRoom));
}

std::uint16_t BlockRoomAfter(std::uint16_t blockRoom, std::uint8_t sent) {
    const std::uint16_t room = blockRoom > sent ? static_cast<std::uint16_t>(blockRoom - sent) : 0;
    return room == 0 ? kChip1BlockSize : room;
}

std::optional<IspReport> BuildDataPacket(std::uint16_t packetNumber,
                                         std::span<const std::uint8_t> payload) {
    if (payload.empty() || payload.size() > kMaxPacketData) {
        return std::nullopt;
    }
    IspReport report{};
    report[kReportIdPos] = kOutputReportId;
    report[kPacketLengthPos] = static_cast<std::uint8_t>(payload.size());
    report[kPacketNumberPos] = static_cast<std::uint8_t>(packetNumber);
    report[kPacketNumberPos + 1] = static_cast<std::uint8_t>(packetNumber >> 8U);
    std::copy(payload.begin(), payload.end(), report.begin() + kPacketDataPos);
    report[kTrailerPos] = kTrailer;
    return report;
}

}  // namespace device
