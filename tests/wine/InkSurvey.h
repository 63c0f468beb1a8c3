#pragma once

#include <cstdint>
#include <span>

// Where dark text was drawn over a known picture: each pixel of what the
// screen shows is compared with the picture at the same place. A pixel that
// differs and is nowhere lighter than the picture is ink (black text and
// its smoothed edges only darken what lies under them); one that is lighter
// somewhere is stray: something else was painted there, such as a
// background of the control's own.
struct InkSurvey {
    int inkPixels = 0;
    int strayPixels = 0;
    // The box around every ink pixel, edges included; meaningful only with ink.
    int left = 0;
    int top = 0;
    int right = -1;
    int bottom = -1;

    int InkWidth() const noexcept { return right - left + 1; }
    int InkHeight() const noexcept { return bottom - top + 1; }
};

// Both spans hold width x height pixels row by row, each 0x00RRGGBB.
InkSurvey SurveyInk(std::span<const std::uint32_t> seen, std::span<const std::uint32_t> picture,
                    int width, int height);
