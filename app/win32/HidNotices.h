#pragma once

#include <windows.h>

#include "app/flow/UpgradeFlow.h"
#include "framework/OwnedHandle.h"

// The arrival and removal of HID interfaces, as every front end's window
// hears of them and hands them to its flow.
namespace device_notification {
inline void Unregister(HDEVNOTIFY handle) noexcept {
    ::UnregisterDeviceNotification(handle);
}
}  // namespace device_notification
using UniqueDeviceNotification =
    OwnedHandle<HDEVNOTIFY, &owned_handle::Null<HDEVNOTIFY>, &device_notification::Unregister>;

// Asks for the arrival and removal of every HID interface of the machine to
// be sent to `window`. Without the registration they go unnoticed: "FW Ver"
// still starts a check, but a run cannot follow the dock's restart.
UniqueDeviceNotification RegisterHidNotices(HWND window);

// Hands a WM_DEVICECHANGE to the flow, and tells `trace` of it when there is
// one; TRUE when it was the removal of the open device.
BOOL ForwardDeviceChange(UpgradeFlow& flow, LinkTrace* trace, WPARAM event, LPARAM data);
