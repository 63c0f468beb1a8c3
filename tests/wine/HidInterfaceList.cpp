#include "HidInterfaceList.h"

#include <setupapi.h>

namespace {

void Examine(SeenHidInterface& seen) {
    HANDLE const probe = ::CreateFileW(seen.path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return;
    }
    seen.attributes.Size = sizeof(seen.attributes);
    seen.examined = ::HidD_GetAttributes(probe, &seen.attributes) != FALSE;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (seen.examined && ::HidD_GetPreparsedData(probe, &preparsed)) {
        if (::HidP_GetCaps(preparsed, &seen.caps) != HIDP_STATUS_SUCCESS) {
            seen.caps = HIDP_CAPS{};
        }
        ::HidD_FreePreparsedData(preparsed);
    }
    ::CloseHandle(probe);
}

}  // namespace

std::vector<SeenHidInterface> PresentHidInterfaces() {
    std::vector<SeenHidInterface> found;
    GUID hidClass{};
    ::HidD_GetHidGuid(&hidClass);
    HDEVINFO const set =
        ::SetupDiGetClassDevsW(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return found;
    }
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD index = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &hidClass, index, &data);
         ++index) {
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        std::vector<DWORD> buffer(required / sizeof(DWORD) + 1);
        auto* const detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(*detail);
        if (!::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr)) {
            continue;
        }
        SeenHidInterface seen;
        seen.path = detail->DevicePath;
        Examine(seen);
        found.push_back(std::move(seen));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}
