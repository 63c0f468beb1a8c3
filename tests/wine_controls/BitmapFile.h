#pragma once

#include <windows.h>

// Saves a bitmap as an uncompressed 24-bit .bmp file, the form ImageMagick
// compares with the screenshots. False when the pixels or the file fail.
bool SaveBitmapFile(HBITMAP bitmap, const wchar_t* path);
