#pragma once

#include <cstdint>
#include <string>

// The flags of the HID link that the device checks and the removal handler
// read (and, for the open flags, clear on removal). Plain values: every one is
// written on one thread and read on another without a lock, as the link's
// half-duplex use allows.
struct HidLinkState {
    // Until an interface with the wanted vendor ID and another product ID has
    // been seen, the "PID error!" message shows this.
    static constexpr std::uint16_t kNoProductIdSeen = 0x3305;

    bool m_bOpen = false;  // a matching interface was found; cleared only on removal
    bool m_bReadOpen = false;
    bool m_bWriteOpen = false;
    bool m_bThreadsStarted = false;
    bool m_bVendorSeen = false;  // the last interface examined had the wanted vendor ID
    std::uint16_t m_wSeenProductId = kNoProductIdSeen;
    std::wstring m_strDevicePath;  // compared with the removed interface's name
};
