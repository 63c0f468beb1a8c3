#include "controls/win32/CBkDialogST.h"

#include <cstring>
#include <vector>

#include "controls/BackgroundLayout.h"
#include "controls/WindowShape.h"
#include "framework/CClientDC.h"
#include "framework/ScopedSelectObject.h"

CBkDialogST::~CBkDialogST() {
    ReleaseBackground();
}

DWORD CBkDialogST::SetBackground(int nBitmap, COLORREF crTransColor, int nWidth, int nHeight) {
    auto* const bitmap =
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nBitmap),
                                          IMAGE_BITMAP, nWidth, nHeight, LR_DEFAULTCOLOR));
    return SetBackground(bitmap, crTransColor);
}

DWORD CBkDialogST::SetBackground(HBITMAP hBitmap, COLORREF crTransColor) {
    ReleaseBackground();
    if (hBitmap != nullptr) {
        m_hBitmap.Reset(hBitmap);
        BITMAP info{};
        if (::GetObjectW(hBitmap, sizeof(info), &info) == 0) {
            ReleaseBackground();
            return kBackgroundNoSize;
        }
        m_dwWidth = static_cast<DWORD>(info.bmWidth);
        m_dwHeight = static_cast<DWORD>(info.bmHeight);
        if (crTransColor != kNoTransparentColor) {
            HRGN region = BuildShapeRegion(crTransColor);
            if (region == nullptr) {
                ReleaseBackground();
                return kBackgroundNoRegion;
            }
            // From here on the window owns the region.
            ::SetWindowRgn(m_hWnd, region, FALSE);
            m_hRegion = region;
        }
    }
    Invalidate(TRUE);
    return kBackgroundOk;
}

void CBkDialogST::AfterBackgroundPaint(HDC hDC) {
    static_cast<void>(hDC);
}

void CBkDialogST::ReleaseBackground() noexcept {
    m_hBitmap.Reset();
    if (m_hRegion != nullptr && m_hWnd != nullptr) {
        // The system deletes the region that the window gives up.
        ::SetWindowRgn(m_hWnd, nullptr, FALSE);
    }
    m_hRegion = nullptr;
    m_dwWidth = 0;
    m_dwHeight = 0;
}

HRGN CBkDialogST::BuildShapeRegion(COLORREF crTransColor) const {
    const int bitmapWidth = static_cast<int>(m_dwWidth);
    const int height = static_cast<int>(m_dwHeight);
    const int width = windowshape::ShapeWidth(bitmapWidth);
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(windowshape::ShapeBytes(bitmapWidth, height));
    std::vector<BYTE> pixels(info.bmiHeader.biSizeImage);
    {
        const CClientDC screen(nullptr);
        if (::GetDIBits(screen.GetSafeHdc(), m_hBitmap.Get(), 0, static_cast<UINT>(height),
                        pixels.data(), &info, DIB_RGB_COLORS) == 0) {
            return nullptr;
        }
    }
    const std::vector<PixelRect> shape =
        windowshape::ShapeRectangles(pixels, bitmapWidth, height, crTransColor);

    // The region's data: a header, then the rectangles.
    const RGNDATAHEADER header{
        sizeof(RGNDATAHEADER), RDH_RECTANGLES, static_cast<DWORD>(shape.size()),
        static_cast<DWORD>(shape.size() * sizeof(RECT)), RECT{0, 0, width, height}};
    std::vector<BYTE> data(sizeof(header) + shape.size() * sizeof(RECT));
    std::memcpy(data.data(), &header, sizeof(header));
    BYTE* next = data.data() + sizeof(header);
    for (const PixelRect& part : shape) {
        const RECT rect{part.x, part.y, part.Right(), part.Bottom()};
        std::memcpy(next, &rect, sizeof(rect));
        next += sizeof(rect);
    }
    return ::ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                             reinterpret_cast<const RGNDATA*>(data.data()));
}

LRESULT CBkDialogST::OnEraseBkgnd(HDC hDC) {
    const LRESULT erased = Default(WM_ERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    if (!m_hBitmap.IsValid()) {
        return erased;
    }
    const RECT client = GetClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const UniqueMemoryDc offscreen(::CreateCompatibleDC(hDC));
    const UniqueGdiObject<HBITMAP> offscreenBitmap(::CreateCompatibleBitmap(hDC, width, height));
    const UniqueMemoryDc source(::CreateCompatibleDC(hDC));
    if (!offscreen.IsValid() || !offscreenBitmap.IsValid() || !source.IsValid()) {
        return erased;
    }
    const ScopedSelectObject selectOffscreen(offscreen.Get(), offscreenBitmap.Get());
    const ScopedSelectObject selectSource(source.Get(), m_hBitmap.Get());
    ::SetBkColor(offscreen.Get(), ::GetBkColor(hDC));
    ::ExtTextOutW(offscreen.Get(), 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    const int bitmapWidth = static_cast<int>(m_dwWidth);
    const int bitmapHeight = static_cast<int>(m_dwHeight);
    for (const PixelRect& copy :
         LayoutBackground(m_byMode, width, height, bitmapWidth, bitmapHeight)) {
        if (m_byMode == BkMode::Stretch) {
            ::StretchBlt(offscreen.Get(), copy.x, copy.y, copy.width, copy.height, source.Get(), 0,
                         0, bitmapWidth, bitmapHeight, SRCCOPY);
        } else {
            ::BitBlt(offscreen.Get(), copy.x, copy.y, copy.width, copy.height, source.Get(), 0, 0,
                     SRCCOPY);
        }
    }
    ::BitBlt(hDC, 0, 0, width, height, offscreen.Get(), 0, 0, SRCCOPY);
    AfterBackgroundPaint(offscreen.Get());
    return erased;
}

LRESULT CBkDialogST::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
        case WM_SIZE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (m_hBitmap.IsValid()) {
                Invalidate(TRUE);
            }
            return result;
        }
        case WM_LBUTTONDOWN:
            if (m_bEasyMove) {
                // Dragging the client area drags the window, as its caption would.
                ::PostMessageW(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            }
            return Default(message, wParam, lParam);
        default:
            return CDialog::WindowProc(message, wParam, lParam);
    }
}
