// The stand-in setupapi.dll: device information sets of the HID interfaces
// that docksim presents, each a snapshot taken when the set is built, as the
// system's sets are. Only the calls the tool makes are served.
#define _SETUPAPI_  // the header declares our own exports, not imports
#include <windows.h>

#include <setupapi.h>

#include <cstddef>
#include <cwchar>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "testbed/rig/channel/ControlRequest.h"
#include "testbed/rig/channel/HidClass.h"
#include "testbed/rig/stub_dlls/LiveObjectTable.h"

namespace {

// A set is built while the tool waits, on its window thread; docksim answers
// at once when it runs at all.
constexpr DWORD kListingReplyMs = 5000;

using InterfaceSnapshot = std::vector<rig::ListedInterface>;

LiveObjectTable<InterfaceSnapshot>& Sets() {
    static LiveObjectTable<InterfaceSnapshot> sets;
    return sets;
}

bool IsHidClass(const GUID* guid) {
    return guid != nullptr && ::IsEqualGUID(*guid, rig::kHidInterfaceClass) != FALSE;
}

// The interface an enumeration record stands for: its position in the set,
// kept in the record's reserved field.
const rig::ListedInterface* Member(const InterfaceSnapshot& set,
                                   const SP_DEVICE_INTERFACE_DATA* record) {
    if (record == nullptr || record->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        record->Reserved == 0 || record->Reserved > set.size()) {
        return nullptr;
    }
    return &set[record->Reserved - 1];
}

BOOL Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

}  // namespace

// Every present HID interface that docksim shows. Other classes have no
// devices on the simulated machine; without docksim there are none at all.
HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    static_cast<void>(Enumerator);
    static_cast<void>(hwndParent);
    try {
        auto set = std::make_unique<InterfaceSnapshot>();
        if ((Flags & DIGCF_DEVICEINTERFACE) != 0 && IsHidClass(ClassGuid)) {
            if (std::optional<InterfaceSnapshot> present =
                    rig::AskInterfaceListing(kListingReplyMs)) {
                *set = std::move(*present);
            }
        }
        return static_cast<HDEVINFO>(Sets().Add(std::move(set)));
    } catch (const std::exception&) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return static_cast<HDEVINFO>(INVALID_HANDLE_VALUE);
    }
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    static_cast<void>(DeviceInfoData);
    try {
        const InterfaceSnapshot* set = Sets().Find(DeviceInfoSet);
        if (set == nullptr) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        if (DeviceInterfaceData == nullptr ||
            DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
            return Fail(ERROR_INVALID_USER_BUFFER);
        }
        if (!IsHidClass(InterfaceClassGuid) || MemberIndex >= set->size()) {
            return Fail(ERROR_NO_MORE_ITEMS);
        }
        DeviceInterfaceData->InterfaceClassGuid = rig::kHidInterfaceClass;
        DeviceInterfaceData->Flags = SPINT_ACTIVE;
        DeviceInterfaceData->Reserved = MemberIndex + 1;
        return TRUE;
    } catch (const std::exception&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    try {
        const InterfaceSnapshot* set = Sets().Find(DeviceInfoSet);
        if (set == nullptr) {
            return Fail(ERROR_INVALID_HANDLE);
        }
        const rig::ListedInterface* member = Member(*set, DeviceInterfaceData);
        if (member == nullptr) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        const std::wstring& path = member->entry.path;
        const DWORD required =
            static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                               (path.size() + 1) * sizeof(wchar_t));
        if (RequiredSize != nullptr) {
            *RequiredSize = required;
        }
        if (DeviceInterfaceDetailData == nullptr) {
            return Fail(DeviceInterfaceDetailDataSize == 0 ? ERROR_INSUFFICIENT_BUFFER
                                                           : ERROR_INVALID_USER_BUFFER);
        }
        if (DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            return Fail(ERROR_INVALID_USER_BUFFER);
        }
        if (DeviceInterfaceDetailDataSize < required) {
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        if (DeviceInfoData != nullptr) {
            if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
                return Fail(ERROR_INVALID_USER_BUFFER);
            }
            DeviceInfoData->ClassGuid = rig::kHidInterfaceClass;
            DeviceInfoData->DevInst = member->index + 1;
            DeviceInfoData->Reserved = DeviceInterfaceData->Reserved;
        }
        std::wmemcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
        return TRUE;
    } catch (const std::exception&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    try {
        return Sets().Take(DeviceInfoSet) != nullptr ? TRUE : Fail(ERROR_INVALID_HANDLE);
    } catch (const std::exception&) {
        return Fail(ERROR_INVALID_HANDLE);
    }
}
