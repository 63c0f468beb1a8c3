#pragma once

#include <cstdint>
#include <string_view>

#include "device/DockIdentity.h"
#include "device/HidLinkState.h"

// The rules by which the link picks the dock's interface among the present HID
// interfaces. Both link implementations apply them to each interface in turn,
// so the flags they leave are the same for the same machine.
namespace device {

struct HidIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

// Starts a search of the present interfaces: no path yet, and no interface of
// the wanted vendor seen yet. A flag left from an earlier search would make a
// scan that finds no dock at all report "PID error!" for a dock that was
// there before (with product ID 0x3305, the value before any was recorded).
void BeginSearch(HidLinkState& state);

// Vendor, then product, then release. Records in `state` what the product-ID
// error message needs: whether the vendor was seen and which product it had.
bool AttributesMatch(const HidIdentity& seen, const HidIdentity& wanted, HidLinkState& state);

// The collection's usage page and usage.
bool CapsMatch(std::uint16_t usagePage, std::uint16_t usage);

// Reads and writes use 64-byte buffers: a device announcing longer reports is
// served its first 64 bytes, so no call runs past a buffer.
std::uint16_t BoundedReportLength(std::uint16_t announced);

// Whether a removed interface's name is the open device's path: the system
// spells the same interface in either case.
bool SameInterfaceName(std::wstring_view a, std::wstring_view b);

}  // namespace device
