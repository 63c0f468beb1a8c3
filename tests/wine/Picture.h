#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

// A picture's pixels, row by row from the top, each 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool Holds(const RECT& part) const noexcept {
        return part.left >= 0 && part.top >= 0 && part.right <= width && part.bottom <= height &&
               part.left <= part.right && part.top <= part.bottom;
    }
    // The pixels inside a part that the picture holds.
    std::vector<std::uint32_t> Crop(const RECT& part) const;
};

// The pixels of a bitmap; empty when they cannot be read.
std::optional<Picture> ReadPicture(HBITMAP bitmap);
// A .bmp file, such as a screenshot saved by the test script.
std::optional<Picture> ReadPictureFile(const wchar_t* path);
