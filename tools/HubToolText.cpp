#include "tools/HubToolText.h"

std::wstring HubFirmwareText(std::uint32_t exitCode) {
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    const std::uint32_t version = exitCode & 0xFFFFU;
    std::wstring text = L"HUB FW is 0x";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text += kDigits[(version >> shift) & 0xFU];
    }
    return text;
}

std::wstring HubFirmwareUnknownText() {
    return L"HUB FW is unknown: the hub tool did not run";
}

std::wstring HubFirmwareUnfinishedText() {
    return L"HUB FW is unknown: the hub tool did not finish in time";
}
