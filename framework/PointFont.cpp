#include "framework/PointFont.h"

#include <cwchar>

#include "framework/CClientDC.h"

HFONT CreatePointFont(int nPointSize, std::wstring_view faceName) noexcept {
    LOGFONTW font{};
    font.lfCharSet = DEFAULT_CHARSET;
    const std::size_t length = faceName.size() < LF_FACESIZE ? faceName.size() : LF_FACESIZE - 1;
    std::wmemcpy(font.lfFaceName, faceName.data(), length);
    const CClientDC screen(nullptr);
    // Tenths of a point to pixels: 720 tenths per inch.
    const int pixels = ::MulDiv(::GetDeviceCaps(screen.GetSafeHdc(), LOGPIXELSY), nPointSize, 720);
    font.lfHeight = -(pixels < 0 ? -pixels : pixels);
    return ::CreateFontIndirectW(&font);
}
