#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "device/IspReport.h"

// Image bytes travel in data packets: a byte count, a packet number (low byte
// first, 1 for an image's first packet), up to 59 image bytes, zeros and the
// trailer. Chips 2 and 3 take plain 59-byte steps; chip 1 writes its flash in
// 256-byte blocks, so its packets never cross a block boundary.
namespace device {

inline constexpr std::uint16_t kChip1BlockSize = 256;

// How many bytes the next plain packet carries.
std::uint8_t PlainPacketLength(std::uint32_t remaining);

// How many bytes the next block-wise packet carries, given the room left in
// the current block (counted from the image's first byte).
std::uint8_t BlockPacketLength(std::uint32_t remaining, std::uint16_t blockRoom);

// The room left in the block after a packet of `sent` bytes; a full block
// starts the next one, so the room is back at 256.
std::uint16_t BlockRoomAfter(std::uint16_t blockRoom, std::uint8_t sent);

// The packet carrying `payload`, bytes the caller has already read from the
// image. Refused (nullopt) unless it holds 1 to 59 bytes.
std::optional<IspReport> BuildDataPacket(std::uint16_t packetNumber,
                                         std::span<const std::uint8_t> payload);

}  // namespace device
