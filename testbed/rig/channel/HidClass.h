#pragma once

#include <windows.h>

namespace rig {

// The device-interface class of HID collections, as the system defines it:
// the stand-in hid.dll reports it, the stand-in setupapi.dll enumerates it,
// docksim's notices carry it.
inline constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

}  // namespace rig
