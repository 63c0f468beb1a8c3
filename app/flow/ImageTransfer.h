#pragma once

#include <cstdint>

// The image under way in a run: how much of it has gone out, the number of
// the next data packet, and, for chip 1, which takes its image in 256-byte
// blocks, the room left in the block being filled.
class ImageTransfer {
public:
    // A new image of `length` bytes; `inBlocks` for chip 1.
    void Begin(int image, std::uint32_t length, bool inBlocks);

    int Image() const { return m_image; }
    std::uint32_t Total() const { return m_total; }
    // The image offset of the next packet's first byte.
    std::uint32_t Position() const { return m_total - m_remaining; }
    bool Done() const { return m_remaining == 0; }
    // How much has gone out, in whole percent.
    std::uint16_t Percent() const;

    // The next packet: its data's length and its number.
    std::uint8_t NextLength() const;
    std::uint16_t NextPacketNumber() const { return static_cast<std::uint16_t>(m_packets + 1); }
    // The next packet has gone out.
    void Sent(std::uint8_t length);

private:
    int m_image = 0;
    std::uint32_t m_total = 0;
    std::uint32_t m_remaining = 0;
    std::uint16_t m_packets = 0;
    bool m_inBlocks = false;
    std::uint16_t m_blockRoom = 0;
};
