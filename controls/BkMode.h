#pragma once

#include <cstdint>

// How the bitmap-background dialog lays its bitmap over the client area.
enum class BkMode : std::uint8_t {
    Tile = 0,
    Center = 1,
    Stretch = 2,
    TileTop = 3,
    TileBottom = 4,
    TileLeft = 5,
    TileRight = 6,
    TopLeft = 7,
    TopRight = 8,
    TopCenter = 9,
    BottomLeft = 10,
    BottomRight = 11,
    BottomCenter = 12,
};
