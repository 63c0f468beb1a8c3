#pragma once

// A rectangle in pixels as origin and size, the form in which the controls'
// drawing geometry is computed without a device context.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    constexpr int Right() const { return x + width; }
    constexpr int Bottom() const { return y + height; }
    friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};
