#pragma once

#include <cstdint>

// The normal-state copies that the bitmap push button can make of its hover
// icon, computed per pixel (0xAARRGGBB). Black pixels stay black in both, so
// outlines keep their weight; alpha always stays.
enum class IconShading {
    Darkened,  // each channel at 75 %
    Grey,      // each channel the pixel's luma
};

constexpr std::uint32_t ShadeIconPixel(std::uint32_t argb, IconShading shading) {
    const std::uint32_t alpha = argb & 0xFF000000u;
    const std::uint32_t red = (argb >> 16) & 0xFFu;
    const std::uint32_t green = (argb >> 8) & 0xFFu;
    const std::uint32_t blue = argb & 0xFFu;
    if (red == 0 && green == 0 && blue == 0) {
        return argb;
    }
    if (shading == IconShading::Grey) {
        const auto luma = static_cast<std::uint32_t>(0.299 * red + 0.587 * green + 0.114 * blue);
        return alpha | (luma << 16) | (luma << 8) | luma;
    }
    const auto darken = [](std::uint32_t channel) {
        return static_cast<std::uint32_t>(channel - channel * 0.25);
    };
    return alpha | (darken(red) << 16) | (darken(green) << 8) | darken(blue);
}
