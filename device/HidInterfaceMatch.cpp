#include "device/HidInterfaceMatch.h"

#include <algorithm>
#include <cwctype>

#include "device/IspReport.h"

namespace device {

void BeginSearch(HidLinkState& state) {
    state.m_strDevicePath.clear();
    state.m_bVendorSeen = false;
}

bool AttributesMatch(const HidIdentity& seen, const HidIdentity& wanted, HidLinkState& state) {
    if (seen.vendorId != wanted.vendorId) {
        state.m_bVendorSeen = false;
        return false;
    }
    state.m_bVendorSeen = true;
    if (seen.productId != wanted.productId) {
        state.m_wSeenProductId = seen.productId;
        return false;
    }
    return seen.versionNumber == wanted.versionNumber;
}

bool CapsMatch(std::uint16_t usagePage, std::uint16_t usage) {
    return usagePage == kDockUsagePage && usage == kDockUsage;
}

std::uint16_t BoundedReportLength(std::uint16_t announced) {
    return std::min<std::uint16_t>(announced, kReportSize);
}

bool SameInterfaceName(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
}

}  // namespace device
