#pragma once

#include <windows.h>

#include <string_view>

// Creates a font of the given size in tenths of a point for the screen, so
// that 150 gives a 15-point font whatever the display's resolution. The
// caller owns the font.
HFONT CreatePointFont(int nPointSize, std::wstring_view faceName) noexcept;
