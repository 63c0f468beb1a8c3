#include "app/flow/ImageTransfer.h"

#include "device/IspDataPacket.h"

void ImageTransfer::Begin(int image, std::uint32_t length, bool inBlocks) {
    m_image = image;
    m_total = length;
    m_remaining = length;
    m_packets = 0;
    m_inBlocks = inBlocks;
    m_blockRoom = device::kChip1BlockSize;
}

std::uint16_t ImageTransfer::Percent() const {
    return static_cast<std::uint16_t>(Position() * 100U / m_total);
}

std::uint8_t ImageTransfer::NextLength() const {
    return m_inBlocks ? device::BlockPacketLength(m_remaining, m_blockRoom)
                      : device::PlainPacketLength(m_remaining);
}

void ImageTransfer::Sent(std::uint8_t length) {
    m_remaining -= length;
    ++m_packets;
    if (m_inBlocks) {
        m_blockRoom = device::BlockRoomAfter(m_blockRoom, length);
    }
}
