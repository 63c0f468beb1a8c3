#pragma once

#include <windows.h>

#include <setupapi.h>
// The HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
}

#include "framework/SystemLibrary.h"

// The functions of the system's HID and device-setup libraries that the HID
// link calls, both libraries taken from the system folder only. When either
// library or any one function is missing, the table is incomplete and the
// link finds no device, as when no dock is attached.
class HidFunctions {
public:
    HidFunctions() noexcept;
    HidFunctions(const HidFunctions&) = delete;
    HidFunctions& operator=(const HidFunctions&) = delete;

    bool IsComplete() const noexcept { return m_complete; }

    decltype(&::HidD_GetHidGuid) GetHidGuid = nullptr;
    decltype(&::HidD_GetAttributes) GetAttributes = nullptr;
    decltype(&::HidD_GetPreparsedData) GetPreparsedData = nullptr;
    decltype(&::HidD_FreePreparsedData) FreePreparsedData = nullptr;
    decltype(&::HidP_GetCaps) GetCaps = nullptr;
    decltype(&::SetupDiGetClassDevsW) GetClassDevs = nullptr;
    decltype(&::SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&::SetupDiGetDeviceInterfaceDetailW) GetDeviceInterfaceDetail = nullptr;
    decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;

private:
    SystemLibrary m_hid{L"hid.dll"};
    SystemLibrary m_setupApi{L"setupapi.dll"};
    bool m_complete = false;
};
