#include "Picture.h"

#include <cstddef>

std::vector<std::uint32_t> Picture::Crop(const RECT& part) const {
    std::vector<std::uint32_t> inside;
    inside.reserve(static_cast<std::size_t>(part.right - part.left) *
                   static_cast<std::size_t>(part.bottom - part.top));
    for (long y = part.top; y < part.bottom; ++y) {
        const auto row = pixels.begin() + static_cast<std::ptrdiff_t>(y) * width;
        inside.insert(inside.end(), row + part.left, row + part.right);
    }
    return inside;
}

std::optional<Picture> ReadPicture(HBITMAP bitmap) {
    BITMAP layout{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(layout), &layout) == 0 ||
        layout.bmWidth <= 0 || layout.bmHeight <= 0) {
        return std::nullopt;
    }
    Picture picture;
    picture.width = layout.bmWidth;
    picture.height = layout.bmHeight;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) *
                          static_cast<std::size_t>(picture.height));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(picture.height),
                               picture.pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != picture.height) {
        return std::nullopt;
    }
    return picture;
}

std::optional<Picture> ReadPictureFile(const wchar_t* path) {
    auto* const bitmap = static_cast<HBITMAP>(
        LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    std::optional<Picture> picture = ReadPicture(bitmap);
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
    }
    return picture;
}
