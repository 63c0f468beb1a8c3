#pragma once

#include <cstdint>

#include "controls/PixelRect.h"

// The shapes of the cylinder progress bar, computed from the control's size
// and position alone.
namespace cylinder {

// Depth of the elliptical end faces, in pixels.
inline constexpr int kFaceDepth = 10;

constexpr int RangeOf(int lower, int upper) {
    const int difference = upper > lower ? upper - lower : lower - upper;
    return difference == 0 ? 1 : difference;
}

constexpr int ClampPosition(int position, int lower, int upper) {
    const int low = lower < upper ? lower : upper;
    const int high = lower < upper ? upper : lower;
    return position < low ? low : (position > high ? high : position);
}

constexpr int Percent(int position, int lower, int range) {
    return static_cast<int>(100.0 / range * (position - lower));
}

struct Layout {
    PixelRect full;          // the whole drawing, one pixel short of the client area
    PixelRect body;          // the cylinder without its outer end face
    PixelRect filled;        // the filled segment
    PixelRect empty;         // the empty segment
    PixelRect outerEndFace;  // the face that closes the empty end
    int percent = 0;
};

constexpr Layout LayOut(int clientWidth, int clientHeight, bool vertical, int percent) {
    Layout layout{};
    layout.percent = percent;
    layout.full = PixelRect{0, 0, clientWidth - 1, clientHeight - 1};
    PixelRect body = layout.full;
    if (vertical) {
        body.y += kFaceDepth;
        body.height -= kFaceDepth;
        const int filled = static_cast<int>(body.height / 100.0 * percent);
        layout.empty = PixelRect{body.x, body.y, body.width, body.height - filled};
        layout.filled = PixelRect{body.x, body.y + body.height - filled, body.width, filled};
        layout.outerEndFace = PixelRect{body.x, body.y - kFaceDepth, body.width, kFaceDepth};
    } else {
        body.width -= kFaceDepth;
        const int filled = static_cast<int>(body.width / 100.0 * percent);
        layout.filled = PixelRect{body.x, body.y, filled, body.height};
        layout.empty = PixelRect{body.x + filled, body.y, body.width - filled, body.height};
        layout.outerEndFace = PixelRect{body.Right(), body.y, kFaceDepth, body.height};
    }
    layout.body = body;
    return layout;
}

struct SegmentFaces {
    PixelRect end;
    PixelRect start;
};

// The two elliptical faces of one segment: for a lying bar the end face is on
// the right, for a standing one on top.
constexpr SegmentFaces FacesOf(const PixelRect& segment, bool vertical) {
    if (vertical) {
        return SegmentFaces{
            PixelRect{segment.x, segment.y - kFaceDepth, segment.width, kFaceDepth},
            PixelRect{segment.x, segment.Bottom() - kFaceDepth, segment.width, kFaceDepth}};
    }
    return SegmentFaces{PixelRect{segment.Right(), segment.y, kFaceDepth, segment.height},
                        PixelRect{segment.x, segment.y, kFaceDepth, segment.height}};
}

// Darkens an ARGB colour for a face: each channel c becomes (c >> 1) + c * s / 2,
// so 0.8 keeps about 90 % and 0.4 about 70 %. Alpha stays.
constexpr std::uint32_t Shade(std::uint32_t argb, double s) {
    std::uint32_t result = argb & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t c = (argb >> shift) & 0xFFu;
        const auto shaded = static_cast<std::uint32_t>((c >> 1) + c * s / 2.0);
        result |= (shaded > 0xFFu ? 0xFFu : shaded) << shift;
    }
    return result;
}

}  // namespace cylinder
