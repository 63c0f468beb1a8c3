// The stand-in hid.dll: attributes and capabilities of the collections that
// docksim serves. The tool asks about a handle it opened on an interface's
// device path, which is one of docksim's pipes: the pipe's name tells which
// interface it is, and docksim tells what that interface is now.
#include <windows.h>

// The header declares the functions without C linkage; the exports have it.
extern "C" {
#include <hidsdi.h>
}

#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "testbed/rig/channel/ControlRequest.h"
#include "testbed/rig/channel/HidClass.h"
#include "testbed/rig/channel/RigNames.h"
#include "testbed/rig/stub_dlls/LiveObjectTable.h"

namespace {

// The tool asks on its window thread; docksim answers at once when it runs.
constexpr DWORD kListingReplyMs = 5000;

LiveObjectTable<HIDP_CAPS>& Collections() {
    static LiveObjectTable<HIDP_CAPS> collections;
    return collections;
}

// The interface behind a handle on one of docksim's pipes; nullopt, with the
// reason as the last error, for any other handle or an interface that has
// gone.
std::optional<sim::SimInterface> InterfaceBehind(HANDLE handle) {
    union {
        FILE_NAME_INFO info;
        wchar_t room[MAX_PATH + sizeof(FILE_NAME_INFO) / sizeof(wchar_t)];
    } name{};
    if (!::GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof(name))) {
        return std::nullopt;
    }
    const std::optional<unsigned> index = rig::InterfaceIndexOf(
        std::wstring_view(name.info.FileName, name.info.FileNameLength / sizeof(wchar_t)));
    if (!index) {
        ::SetLastError(ERROR_INVALID_FUNCTION);  // not a HID collection
        return std::nullopt;
    }
    if (const std::optional<std::vector<rig::ListedInterface>> present =
            rig::AskInterfaceListing(kListingReplyMs)) {
        for (const rig::ListedInterface& listed : *present) {
            if (listed.index == *index) {
                return listed.entry;
            }
        }
    }
    ::SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return std::nullopt;
}

BOOLEAN Fail(DWORD error) {
    ::SetLastError(error);
    return FALSE;
}

}  // namespace

void NTAPI HidD_GetHidGuid(LPGUID HidGuid) {
    if (HidGuid != nullptr) {
        *HidGuid = rig::kHidInterfaceClass;
    }
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    if (Attributes == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    try {
        const std::optional<sim::SimInterface> entry = InterfaceBehind(HidDeviceObject);
        if (!entry) {
            return FALSE;
        }
        Attributes->Size = sizeof(HIDD_ATTRIBUTES);
        Attributes->VendorID = entry->identity.vendorId;
        Attributes->ProductID = entry->identity.productId;
        Attributes->VersionNumber = entry->identity.versionNumber;
        return TRUE;
    } catch (const std::exception&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    if (PreparsedData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    try {
        const std::optional<sim::SimInterface> entry = InterfaceBehind(HidDeviceObject);
        if (!entry) {
            return FALSE;
        }
        // One top-level collection whose reports carry the lengths the
        // interface announces.
        auto caps = std::make_unique<HIDP_CAPS>();
        caps->Usage = entry->usage;
        caps->UsagePage = entry->usagePage;
        caps->InputReportByteLength = entry->inputReportLength;
        caps->OutputReportByteLength = entry->outputReportLength;
        caps->NumberLinkCollectionNodes = 1;
        *PreparsedData = static_cast<PHIDP_PREPARSED_DATA>(Collections().Add(std::move(caps)));
        return TRUE;
    } catch (const std::exception&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    try {
        return Collections().Take(PreparsedData) != nullptr ? TRUE : Fail(ERROR_INVALID_PARAMETER);
    } catch (const std::exception&) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    try {
        const HIDP_CAPS* caps = Collections().Find(PreparsedData);
        if (caps == nullptr || Capabilities == nullptr) {
            return HIDP_STATUS_INVALID_PREPARSED_DATA;
        }
        *Capabilities = *caps;
        return HIDP_STATUS_SUCCESS;
    } catch (const std::exception&) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
}
