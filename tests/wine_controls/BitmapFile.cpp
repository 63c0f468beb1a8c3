#include "BitmapFile.h"

#include <cstdint>
#include <vector>

#include "framework/CClientDC.h"
#include "framework/OwnedHandle.h"

bool SaveBitmapFile(HBITMAP bitmap, const wchar_t* path) {
    BITMAP layout{};
    if (::GetObjectW(bitmap, sizeof(layout), &layout) == 0) {
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = layout.bmWidth;
    info.bmiHeader.biHeight = layout.bmHeight;  // bottom-up, as .bmp files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // Rows are padded to whole 32-bit words.
    const auto rowBytes = static_cast<DWORD>((layout.bmWidth * 3 + 3) / 4 * 4);
    info.bmiHeader.biSizeImage = rowBytes * static_cast<DWORD>(layout.bmHeight);
    std::vector<std::uint8_t> pixels(info.bmiHeader.biSizeImage);
    {
        const CClientDC screen(nullptr);
        if (::GetDIBits(screen.GetSafeHdc(), bitmap, 0, static_cast<UINT>(layout.bmHeight),
                        pixels.data(), &info, DIB_RGB_COLORS) == 0) {
            return false;
        }
    }
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;  // "BM"
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + info.bmiHeader.biSizeImage;

    const UniqueFileHandle file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) {
        return false;
    }
    const auto write = [&](const void* data, DWORD size) {
        DWORD written = 0;
        return ::WriteFile(file.Get(), data, size, &written, nullptr) != FALSE && written == size;
    };
    return write(&header, sizeof(header)) && write(&info.bmiHeader, sizeof(info.bmiHeader)) &&
           write(pixels.data(), info.bmiHeader.biSizeImage);
}
