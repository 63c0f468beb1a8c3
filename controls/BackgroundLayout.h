#pragma once

#include <vector>

#include "controls/BkMode.h"
#include "controls/PixelRect.h"

// Where the copies of a background bitmap of w x h go in a client area of
// W x H. Each rectangle is one unscaled copy, except for Stretch, whose one
// rectangle is the whole client area. Halves are signed, so a bitmap larger
// than the client area is centred with its middle in view.
inline std::vector<PixelRect> LayoutBackground(BkMode mode, int clientWidth, int clientHeight,
                                               int bitmapWidth, int bitmapHeight) {
    std::vector<PixelRect> copies;
    const int w = bitmapWidth;
    const int h = bitmapHeight;
    if (w <= 0 || h <= 0) {
        return copies;
    }
    const auto copyAt = [&](int x, int y) { copies.push_back(PixelRect{x, y, w, h}); };
    const auto row = [&](int y) {
        for (int x = 0; x < clientWidth; x += w) {
            copyAt(x, y);
        }
    };
    const auto column = [&](int x) {
        for (int y = 0; y < clientHeight; y += h) {
            copyAt(x, y);
        }
    };
    const int centreX = (clientWidth - w) / 2;
    const int right = clientWidth - w;
    const int bottom = clientHeight - h;
    switch (mode) {
        case BkMode::Tile:
            for (int y = 0; y < clientHeight; y += h) {
                row(y);
            }
            break;
        case BkMode::Center:
            copyAt(centreX, (clientHeight - h) / 2);
            break;
        case BkMode::Stretch:
            copies.push_back(PixelRect{0, 0, clientWidth, clientHeight});
            break;
        case BkMode::TileTop:
            row(0);
            break;
        case BkMode::TileBottom:
            row(bottom);
            break;
        case BkMode::TileLeft:
            column(0);
            break;
        case BkMode::TileRight:
            column(right);
            break;
        case BkMode::TopLeft:
            copyAt(0, 0);
            break;
        case BkMode::TopRight:
            copyAt(right, 0);
            break;
        case BkMode::TopCenter:
            copyAt(centreX, 0);
            break;
        case BkMode::BottomLeft:
            copyAt(0, bottom);
            break;
        case BkMode::BottomRight:
            copyAt(right, bottom);
            break;
        case BkMode::BottomCenter:
            copyAt(centreX, bottom);
            break;
    }
    return copies;
}
