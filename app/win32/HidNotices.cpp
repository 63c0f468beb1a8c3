#include "app/win32/HidNotices.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <string_view>

namespace {

// The device-interface class of HID devices.
constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// The removed interface's name, read no further than the notice reaches.
std::wstring_view InterfaceName(const DEV_BROADCAST_DEVICEINTERFACE_W& notice) {
    constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (notice.dbcc_size <= kNameOffset) {
        return {};
    }
    const std::size_t room = (notice.dbcc_size - kNameOffset) / sizeof(wchar_t);
    return {notice.dbcc_name, ::wcsnlen(notice.dbcc_name, room)};
}

}  // namespace

UniqueDeviceNotification RegisterHidNotices(HWND window) {
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kHidInterfaceClass;
    return UniqueDeviceNotification(
        ::RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

BOOL ForwardDeviceChange(UpgradeFlow& flow, LinkTrace* trace, WPARAM event, LPARAM data) {
    const auto* const header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return FALSE;
    }
    const auto& notice = *reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    switch (event) {
        case DBT_DEVICEARRIVAL:
            if (trace != nullptr) {
                trace->Arrived(InterfaceName(notice));
            }
            flow.OnHidArrival();
            return FALSE;
        case DBT_DEVICEREMOVECOMPLETE:
            if (trace != nullptr) {
                trace->Removed(InterfaceName(notice));
            }
            return flow.OnHidRemoval(InterfaceName(notice)) ? TRUE : FALSE;
        default:
            return FALSE;
    }
}
