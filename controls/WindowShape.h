#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "controls/PixelRect.h"

// The shape that the bitmap-background dialog cuts its window to: every pixel
// of the bitmap except those of the transparent colour, as rectangles, so the
// window code builds the region in one step and the shape can be tested
// without a device context.
namespace windowshape {

// The shape is read as 24-bit rows, which carry no padding when the width is
// a multiple of 4; the columns beyond lie outside the shape.
constexpr int ShapeWidth(int bitmapWidth) {
    return bitmapWidth > 0 ? bitmapWidth / 4 * 4 : 0;
}

// Bytes of the top-down 24-bit block (blue, green, red per pixel) that
// ShapeRectangles reads for a bitmap of this size.
constexpr std::size_t ShapeBytes(int bitmapWidth, int bitmapHeight) {
    return bitmapHeight > 0 ? static_cast<std::size_t>(ShapeWidth(bitmapWidth)) *
                                  static_cast<std::size_t>(bitmapHeight) * 3U
                            : 0U;
}

// The pixels of the block that differ from the transparent colour (a COLORREF,
// 0x00BBGGRR), as horizontal runs; rows whose runs are alike are joined into
// one band, so a bitmap without a transparent pixel is one rectangle. Bands
// from the top, runs from the left. A block shorter than ShapeBytes has no shape.
inline std::vector<PixelRect> ShapeRectangles(std::span<const std::uint8_t> pixels, int bitmapWidth,
                                              int bitmapHeight, std::uint32_t transparentColorRef) {
    std::vector<PixelRect> shape;
    const int width = ShapeWidth(bitmapWidth);
    if (width == 0 || bitmapHeight <= 0 || pixels.size() < ShapeBytes(bitmapWidth, bitmapHeight)) {
        return shape;
    }
    const auto red = static_cast<std::uint8_t>(transparentColorRef & 0xFFU);
    const auto green = static_cast<std::uint8_t>((transparentColorRef >> 8) & 0xFFU);
    const auto blue = static_cast<std::uint8_t>((transparentColorRef >> 16) & 0xFFU);
    const auto rowBytes = static_cast<std::size_t>(width) * 3U;

    std::size_t bandStart = 0;  // index of the first rectangle of the current band
    std::vector<PixelRect> runs;
    for (int y = 0; y < bitmapHeight; ++y) {
        runs.clear();
        const std::uint8_t* pixel = pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 0; x < width; ++x, pixel += 3) {
            const bool transparent = pixel[0] == blue && pixel[1] == green && pixel[2] == red;
            if (transparent) {
                continue;
            }
            if (!runs.empty() && runs.back().Right() == x) {
                ++runs.back().width;
            } else {
                runs.push_back(PixelRect{x, y, 1, 1});
            }
        }
        const std::size_t bandSize = shape.size() - bandStart;
        bool sameAsBand = y > 0 && bandSize == runs.size();
        for (std::size_t i = 0; sameAsBand && i < runs.size(); ++i) {
            const PixelRect& above = shape[bandStart + i];
            sameAsBand = above.x == runs[i].x && above.width == runs[i].width;
        }
        if (sameAsBand) {
            for (std::size_t i = bandStart; i < shape.size(); ++i) {
                ++shape[i].height;
            }
        } else {
            bandStart = shape.size();
            shape.insert(shape.end(), runs.begin(), runs.end());
        }
    }
    return shape;
}

}  // namespace windowshape
