#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "res/resource.h"

// How the tool's one dialog (resource 102) must look: what a technician sees
// and what the dialog manager builds from the resource. The probe checks the
// resource against this byte for byte and the running window against it.
namespace main_dialog {

inline constexpr std::uint16_t kResourceId = IDD_KREFM8SWUPGRADE_DIALOG;
inline constexpr std::wstring_view kCaption = L"DOCK Firmware Update Tool";
inline constexpr std::uint32_t kStyle = 0x90C800C0;    // pop-up, visible, caption, system menu,
                                                       // modal frame, font given
inline constexpr std::uint32_t kExStyle = 0x00040000;  // application window
inline constexpr std::int16_t kWidth = 222;            // dialog units
inline constexpr std::int16_t kHeight = 128;
inline constexpr std::wstring_view kTypeface = L"Arial";
inline constexpr std::uint16_t kPointSize = 12;
// The picture behind the controls, scaled to the client area.
inline constexpr std::uint16_t kBackgroundBitmapId = IDB_DIALOG_BACKGROUND;

// Both unnamed statics carry id -1 (IDC_STATIC); text set on that id reaches the first,
// the version label.
inline constexpr std::uint32_t kUnnamedId = IDC_STATIC;

struct Control {
    std::wstring_view name;  // what the probe's options call it
    std::uint32_t id;
    std::wstring_view className;
    std::wstring_view text;
    std::int16_t x, y, cx, cy;  // dialog units
    std::uint32_t style;
};

// In resource order, which is also the order of the child windows (z-order).
inline constexpr std::array<Control, 9> kControls{{
    {L"scan", IDC_SCAN_DEVICES, L"Button", L"Scan Devices", 7, 16, 45, 17, 0x48010001},
    {L"exit", IDC_EXIT, L"Button", L"", 167, 6, 48, 24, 0x50010080},
    // Under the progress bar and as wide: the whole version line fits on one line.
    {L"version", kUnnamedId, L"Static", L"Version and date", 7, 121, 208, 8, 0x50020001},
    {L"start", IDC_START_UPGRADE, L"Button", L"", 88, 7, 62, 24, 0x58010081},
    {L"log", IDC_LOG, L"Edit", L"", 7, 34, 208, 77, 0x50811844},
    {L"progress", IDC_PROGRESS, L"msctls_progress32", L"", 7, 113, 208, 8, 0x50800001},
    {L"fwver", IDC_FW_VER, L"Button", L"FW Ver", 54, 7, 31, 16, 0x50010081},
    {L"exit-label", kUnnamedId, L"Static", L"exit", 184, 21, 19, 12, 0x40020000},
    {L"result", IDC_RESULT, L"Static", L"Result", 7, 7, 34, 17, 0x50020000},
}};

inline std::optional<std::size_t> IndexOf(std::wstring_view name) {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        if (kControls[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace main_dialog
