#include "device/win32/HidFunctions.h"

HidFunctions::HidFunctions() noexcept {
    m_complete = m_hid.Find("HidD_GetHidGuid", GetHidGuid) &&
                 m_hid.Find("HidD_GetAttributes", GetAttributes) &&
                 m_hid.Find("HidD_GetPreparsedData", GetPreparsedData) &&
                 m_hid.Find("HidD_FreePreparsedData", FreePreparsedData) &&
                 m_hid.Find("HidP_GetCaps", GetCaps) &&
                 m_setupApi.Find("SetupDiGetClassDevsW", GetClassDevs) &&
                 m_setupApi.Find("SetupDiEnumDeviceInterfaces", EnumDeviceInterfaces) &&
                 m_setupApi.Find("SetupDiGetDeviceInterfaceDetailW", GetDeviceInterfaceDetail) &&
                 m_setupApi.Find("SetupDiDestroyDeviceInfoList", DestroyDeviceInfoList);
}
