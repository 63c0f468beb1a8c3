#pragma once

#include <cstdint>

// A colour as the coloured static keeps it, in 32 bits: top byte 0xFF means no
// colour; top byte 0x80 means the system colour whose index is in the low 24
// bits; any other top byte means the low 24 bits are a COLORREF (0x00BBGGRR).
namespace colorvalue {

inline constexpr std::uint32_t kNone = 0xFF000000u;
inline constexpr std::uint32_t kSystemTag = 0x80000000u;

// The system colour indices the colour request falls back on.
inline constexpr int kSysColorWindow = 5;       // COLOR_WINDOW
inline constexpr int kSysColorWindowText = 8;   // COLOR_WINDOWTEXT
inline constexpr int kSysColorButtonFace = 15;  // COLOR_BTNFACE
inline constexpr int kSysColorButtonText = 18;  // COLOR_BTNTEXT

constexpr std::uint32_t FromColorRef(std::uint32_t colorRef) {
    return colorRef & 0x00FFFFFFu;
}
constexpr std::uint32_t FromSystemColor(int index) {
    return kSystemTag | (static_cast<std::uint32_t>(index) & 0x00FFFFFFu);
}
constexpr bool IsNone(std::uint32_t value) {
    return (value >> 24) == 0xFFu;
}
constexpr bool IsSystemColor(std::uint32_t value) {
    return (value >> 24) == 0x80u;
}
constexpr int SystemColorIndex(std::uint32_t value) {
    return static_cast<int>(value & 0x00FFFFFFu);
}
constexpr std::uint32_t ColorRefOf(std::uint32_t value) {
    return value & 0x00FFFFFFu;
}

}  // namespace colorvalue
