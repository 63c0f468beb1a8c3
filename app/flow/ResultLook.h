#pragma once

#include <cstdint>
#include <string_view>

// The looks of the result label: what a check or an update tells the user in
// large letters. Colours are COLORREF values (0x00BBGGRR).
enum class ResultLook {
    Neutral,
    Pass,
    Fail,
};

struct ResultLabelStyle {
    std::uint32_t textColor;
    std::uint32_t backColor;
    std::wstring_view text;
};

// "Arial" at 15 points, given in tenths of a point.
inline constexpr int kResultFontSize = 150;
inline constexpr std::wstring_view kResultFontFace = L"Arial";

constexpr ResultLabelStyle StyleOf(ResultLook look) {
    switch (look) {
        case ResultLook::Pass:
            return {0xFFFFFF, 0x71CC2E, L"PASS"};  // white on green
        case ResultLook::Fail:
            return {0xFFFFFF, 0x0000FF, L"FAIL"};  // white on red
        case ResultLook::Neutral:
            break;
    }
    return {0x000000, 0xFFFFFF, L""};  // black on white
}
