#include "controls/CButtonST.h"

#include <commctrl.h>

#include <vector>

#include "controls/IconShading.h"
#include "framework/CClientDC.h"
#include "framework/OwnedHandle.h"
#include "framework/ScopedSelectObject.h"

namespace {

// The button type bits of the style, which owner drawing replaces.
constexpr DWORD kTypeMask = 0x1F;
constexpr DWORD kCheckBoxBit = 0x2;
constexpr UINT_PTR kToolId = 1;
constexpr int kMaxTipWidth = 400;
constexpr int kFocusInset = 3;

constexpr int kHoverIcon = 0;
constexpr int kNormalIcon = 1;

void FillSolidRect(HDC hDC, int x, int y, int cx, int cy, COLORREF color) {
    ::SetBkColor(hDC, color);
    const RECT rect{x, y, x + cx, y + cy};
    ::ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

// A one-pixel frame, lit from the top left.
void Draw3dRect(HDC hDC, const RECT& r, COLORREF topLeft, COLORREF bottomRight) {
    const int cx = r.right - r.left;
    const int cy = r.bottom - r.top;
    FillSolidRect(hDC, r.left, r.top, cx - 1, 1, topLeft);
    FillSolidRect(hDC, r.left, r.top, 1, cy - 1, topLeft);
    FillSolidRect(hDC, r.right - 1, r.top, 1, cy, bottomRight);
    FillSolidRect(hDC, r.left, r.bottom - 1, cx, 1, bottomRight);
}

// Two joined lines with a solid pen of a system colour.
void DrawCorner(HDC hDC, int colorIndex, POINT from, POINT corner, POINT to) {
    const UniqueGdiObject<HPEN> pen(::CreatePen(PS_SOLID, 1, ::GetSysColor(colorIndex)));
    const ScopedSelectObject select(hDC, pen.Get());
    ::MoveToEx(hDC, from.x, from.y, nullptr);
    ::LineTo(hDC, corner.x, corner.y);
    ::LineTo(hDC, to.x, to.y);
}

PixelRect ToPixelRect(const RECT& r) {
    return PixelRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

RECT ToRect(const PixelRect& r) {
    return RECT{r.x, r.y, r.Right(), r.Bottom()};
}

HICON SpecialIcon(int id) {
    return reinterpret_cast<HICON>(static_cast<INT_PTR>(id));
}

// A copy of the icon whose colour pixels are shaded; the mask stays.
HICON CreateShadedIcon(HICON source, IconShading shading) {
    ICONINFO info{};
    if (!::GetIconInfo(source, &info)) {
        return nullptr;
    }
    const UniqueGdiObject<HBITMAP> mask(info.hbmMask);
    const UniqueGdiObject<HBITMAP> color(info.hbmColor);
    BITMAP layout{};
    if (!color.IsValid() || ::GetObjectW(color.Get(), sizeof(layout), &layout) == 0) {
        return nullptr;
    }
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = layout.bmWidth;
    format.bmiHeader.biHeight = -layout.bmHeight;  // top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(layout.bmWidth) *
                                      static_cast<std::size_t>(layout.bmHeight));
    const CClientDC screen(nullptr);
    const auto rows = static_cast<UINT>(layout.bmHeight);
    if (::GetDIBits(screen.GetSafeHdc(), color.Get(), 0, rows, pixels.data(), &format,
                    DIB_RGB_COLORS) == 0) {
        return nullptr;
    }
    for (std::uint32_t& pixel : pixels) {
        pixel = ShadeIconPixel(pixel, shading);
    }
    const UniqueGdiObject<HBITMAP> shaded(::CreateBitmap(
        layout.bmWidth, layout.bmHeight, layout.bmPlanes, layout.bmBitsPixel, nullptr));
    if (!shaded.IsValid() || ::SetDIBits(screen.GetSafeHdc(), shaded.Get(), 0, rows, pixels.data(),
                                         &format, DIB_RGB_COLORS) == 0) {
        return nullptr;
    }
    ICONINFO copy{TRUE, 0, 0, mask.Get(), shaded.Get()};
    // The icon gets copies of both bitmaps.
    return ::CreateIconIndirect(&copy);
}

}  // namespace

CButtonST::CButtonST() {
    ResetColors(FALSE);
    SetPressStyle(0);
}

DWORD CButtonST::SetIcons(int nIconIn, int cxIconIn, int cyIconIn, int nIconOut, int cxIconOut,
                          int cyIconOut) {
    HINSTANCE const instance = ::GetModuleHandleW(nullptr);
    auto* const iconIn = static_cast<HICON>(::LoadImageW(
        instance, MAKEINTRESOURCEW(nIconIn), IMAGE_ICON, cxIconIn, cyIconIn, LR_DEFAULTCOLOR));
    HICON iconOut = nullptr;
    if (nIconOut == kDarkenedIcon || nIconOut == kGreyIcon) {
        iconOut = SpecialIcon(nIconOut);
    } else if (nIconOut != 0) {
        iconOut = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(nIconOut), IMAGE_ICON,
                                                  cxIconOut, cyIconOut, LR_DEFAULTCOLOR));
    }
    return SetIcons(iconIn, iconOut);
}

DWORD CButtonST::SetIcons(HICON hIconIn, HICON hIconOut) {
    ReleaseImages();
    // Both icons are owned from here on, whatever happens next.
    m_csIcons[kHoverIcon].hIcon.Reset(hIconIn);
    const bool darkened = hIconOut == SpecialIcon(kDarkenedIcon);
    if (darkened || hIconOut == SpecialIcon(kGreyIcon)) {
        hIconOut = hIconIn == nullptr ? nullptr
                                      : CreateShadedIcon(hIconIn, darkened ? IconShading::Darkened
                                                                           : IconShading::Grey);
    }
    m_csIcons[kNormalIcon].hIcon.Reset(hIconOut);
    IconImage& normal = m_csIcons[kNormalIcon];
    if (!TakeIconSize(m_csIcons[kHoverIcon]) || (normal.hIcon.IsValid() && !TakeIconSize(normal))) {
        ReleaseImages();
        return kIconInfoFailed;
    }
    Invalidate();
    return kOk;
}

bool CButtonST::TakeIconSize(IconImage& image) noexcept {
    ICONINFO info{};
    if (!image.hIcon.IsValid() || !::GetIconInfo(image.hIcon.Get(), &info)) {
        return false;
    }
    // An icon's hotspot is its centre.
    image.width = static_cast<int>(info.xHotspot * 2);
    image.height = static_cast<int>(info.yHotspot * 2);
    ::DeleteObject(info.hbmMask);
    ::DeleteObject(info.hbmColor);
    return true;
}

void CButtonST::SetTooltip(const wchar_t* lpszText, BOOL bActivate) {
    if (lpszText == nullptr) {
        return;
    }
    if (!m_ToolTip.IsCreated()) {
        if (!m_ToolTip.Create(m_hWnd, 0)) {
            return;
        }
        m_ToolTip.Activate(FALSE);
        m_ToolTip.SetMaxTipWidth(kMaxTipWidth);
    }
    if (m_ToolTip.GetToolCount() == 0) {
        m_ToolTip.AddTool(kToolId, GetClientRect(), lpszText);
    }
    m_ToolTip.UpdateTipText(kToolId, lpszText);
    m_ToolTip.Activate(bActivate);
}

void CButtonST::UseParentBackground(BOOL bRepaint) {
    drawParentBackground = true;
    m_parentBackground.Reset();
    if (bRepaint) {
        Invalidate();
    }
}

DWORD CButtonST::SetChecked(BOOL bChecked, BOOL bRepaint) {
    if (m_bIsCheckBox) {
        m_nCheck = bChecked;
        if (bRepaint) {
            Invalidate();
        }
    }
    return kOk;
}

DWORD CButtonST::ResetColors(BOOL bRepaint) {
    for (int index = BackHover; index <= TextFocus; index += 2) {
        m_crColors[static_cast<std::size_t>(index)] = ::GetSysColor(COLOR_BTNFACE);
        m_crColors[static_cast<std::size_t>(index) + 1] = ::GetSysColor(COLOR_BTNTEXT);
    }
    if (bRepaint) {
        Invalidate();
    }
    return kOk;
}

DWORD CButtonST::SetPressStyle(int nStyle) {
    switch (nStyle) {
        case 0:
            m_ptPressedOffset = POINT{1, 1};
            return kOk;
        case 1:
            m_ptPressedOffset = POINT{0, 2};
            return kOk;
        default:
            return kInvalidPressStyle;
    }
}

void CButtonST::ReleaseImages() noexcept {
    for (IconImage& image : m_csIcons) {
        image.hIcon.Reset();
        image.width = 0;
        image.height = 0;
    }
}

void CButtonST::EndHover() {
    if (flat && hovered) {
        hovered = false;
        Invalidate();
    }
}

void CButtonST::PreSubclassWindow() {
    const DWORD style = GetStyle() & 0xFFFF;
    if ((style & kCheckBoxBit) != 0) {
        m_bIsCheckBox = TRUE;
    }
    if ((style & kTypeMask) == BS_DEFPUSHBUTTON) {
        m_bIsDefault = TRUE;
    }
    ModifyStyle(kTypeMask, BS_OWNERDRAW, SWP_FRAMECHANGED);
}

BOOL CButtonST::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message == WM_DRAWITEM) {
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        *pResult = TRUE;
        return TRUE;
    }
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        *pResult = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        ::SetFocus(m_hWnd);
        if (m_bIsCheckBox) {
            m_nCheck = !m_nCheck;
            Invalidate();
        }
    }
    // The parent's own click handler runs as well.
    return FALSE;
}

LRESULT CButtonST::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDBLCLK:
            // A double-click is two presses, not a notification of its own.
            return Default(WM_LBUTTONDOWN, wParam, lParam);
        case WM_MOUSEMOVE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (((wParam & MK_LBUTTON) != 0 && !hovered) || !flat) {
                return result;
            }
            OnMouseMove();
            return result;
        }
        case WM_MOUSELEAVE:
        case WM_KILLFOCUS:
        case WM_CANCELMODE: {
            const LRESULT result = Default(message, wParam, lParam);
            EndHover();
            return result;
        }
        case WM_ENABLE:
            OnEnable(static_cast<BOOL>(wParam));
            return Default(message, wParam, lParam);
        case WM_GETDLGCODE:
            return Default(message, wParam, lParam) |
                   (m_bIsDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_SETSTYLE:
            // The dialog manager moves the default-button look between buttons;
            // keep the mark and stay owner-drawn.
            if ((wParam & kTypeMask) == BS_DEFPUSHBUTTON) {
                m_bIsDefault = TRUE;
            } else if ((wParam & kTypeMask) == BS_PUSHBUTTON) {
                m_bIsDefault = FALSE;
            }
            return Default(message, (wParam & ~static_cast<WPARAM>(kTypeMask)) | BS_OWNERDRAW,
                           lParam);
        case BM_SETCHECK:
            SetChecked(wParam == BST_CHECKED || wParam == BST_INDETERMINATE, TRUE);
            return 0;
        case BM_GETCHECK:
            return m_nCheck;
        case WM_SYSCOLORCHANGE: {
            const LRESULT result = Default(message, wParam, lParam);
            m_parentBackground.Reset();
            ResetColors(TRUE);
            return result;
        }
        default:
            return CButton::WindowProc(message, wParam, lParam);
    }
}

void CButtonST::OnMouseMove() {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    const HWND under = ::WindowFromPoint(cursor);
    const bool mayHover = alwaysTrack || ::GetActiveWindow() != nullptr;
    if (under == m_hWnd && mayHover) {
        if (!hovered) {
            hovered = true;
            Invalidate();
            TRACKMOUSEEVENT track{};
            track.cbSize = sizeof(track);
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = m_hWnd;
            ::_TrackMouseEvent(&track);
        }
    } else {
        EndHover();
    }
}

void CButtonST::OnEnable(BOOL bEnable) {
    if (!bEnable) {
        // A disabled button cannot keep the focus.
        const HWND parent = GetParent();
        const HWND next = ::GetNextDlgTabItem(parent, m_hWnd, FALSE);
        ::SetFocus(next != nullptr && next != m_hWnd ? next : parent);
        EndHover();
    }
}

const CButtonST::IconImage& CButtonST::ChosenIcon(BOOL bIsPressed) const noexcept {
    if (bIsPressed || (!m_bIsCheckBox && hovered) || !m_csIcons[kNormalIcon].hIcon.IsValid()) {
        return m_csIcons[kHoverIcon];
    }
    return m_csIcons[kNormalIcon];
}

COLORREF CButtonST::StateColor(ColorIndex hover, ColorIndex focus,
                               ColorIndex normal) const noexcept {
    if (hovered || m_bIsPressed) {
        return m_crColors[hover];
    }
    return m_crColors[m_bIsFocused ? focus : normal];
}

void CButtonST::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC const dc = item.hDC;
    m_bIsPressed = (item.itemState & ODS_SELECTED) != 0 || (m_bIsCheckBox && m_nCheck);
    m_bIsFocused = (item.itemState & ODS_FOCUS) != 0;
    m_bIsDisabled = (item.itemState & ODS_DISABLED) != 0;
    ::SetBkMode(dc, TRANSPARENT);

    RECT itemRect = item.rcItem;
    if (drawParentBackground) {
        PaintParentBackground(dc);
    } else {
        DrawBackground(dc, &itemRect);
    }
    DrawBorder(dc, &itemRect);

    const std::wstring caption = GetWindowTextW();
    RECT captionRect = item.rcItem;
    if (m_csIcons[kHoverIcon].hIcon.IsValid()) {
        DrawIconImage(dc, !caption.empty(), &item.rcItem, &captionRect, m_bIsPressed,
                      m_bIsDisabled);
    }
    if (!caption.empty()) {
        DrawCaption(dc, caption, &captionRect, m_bIsPressed, m_bIsDisabled);
    }
    if ((!flat || focusOnFlat) && m_bIsFocused) {
        RECT focusRect = item.rcItem;
        ::InflateRect(&focusRect, -kFocusInset, -kFocusInset);
        ::DrawFocusRect(dc, &focusRect);
    }
}

void CButtonST::PaintParentBackground(HDC hDC) {
    const RECT client = GetClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const HWND parent = GetParent();
    const UniqueMemoryDc cacheDc(::CreateCompatibleDC(hDC));
    if (!cacheDc.IsValid()) {
        return;
    }
    if (!m_parentBackground.IsValid()) {
        POINT origin{0, 0};
        ::MapWindowPoints(m_hWnd, parent, &origin, 1);
        const CClientDC parentDc(parent);
        m_parentBackground.Reset(::CreateCompatibleBitmap(parentDc.GetSafeHdc(), width, height));
        if (!m_parentBackground.IsValid()) {
            return;
        }
        const ScopedSelectObject select(cacheDc.Get(), m_parentBackground.Get());
        ::BitBlt(cacheDc.Get(), 0, 0, width, height, parentDc.GetSafeHdc(), origin.x, origin.y,
                 SRCCOPY);
    }
    const ScopedSelectObject select(cacheDc.Get(), m_parentBackground.Get());
    ::BitBlt(hDC, 0, 0, width, height, cacheDc.Get(), 0, 0, SRCCOPY);
}

DWORD CButtonST::DrawBackground(HDC hDC, RECT* pRect) {
    if (!flat && (m_bIsFocused || m_bIsDefault)) {
        ::FrameRect(hDC, pRect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::InflateRect(pRect, -1, -1);
    }
    FillSolidRect(hDC, pRect->left, pRect->top, pRect->right - pRect->left,
                  pRect->bottom - pRect->top, StateColor(BackHover, BackFocus, BackNormal));
    return kOk;
}

DWORD CButtonST::DrawBorder(HDC hDC, RECT* pRect) {
    const RECT& r = *pRect;
    if (m_bIsPressed) {
        if (!flat) {
            ::FrameRect(hDC, pRect, ::GetSysColorBrush(COLOR_BTNSHADOW));
        } else if (drawBorder) {
            Draw3dRect(hDC, r, ::GetSysColor(COLOR_BTNSHADOW), ::GetSysColor(COLOR_BTNHIGHLIGHT));
        }
    } else if (!flat) {
        DrawCorner(hDC, COLOR_BTNHIGHLIGHT, {r.left, r.bottom - 1}, {r.left, r.top},
                   {r.right, r.top});
        DrawCorner(hDC, COLOR_3DLIGHT, {r.left + 1, r.bottom - 1}, {r.left + 1, r.top + 1},
                   {r.right, r.top + 1});
        DrawCorner(hDC, COLOR_3DDKSHADOW, {r.left, r.bottom - 1}, {r.right - 1, r.bottom - 1},
                   {r.right - 1, r.top - 1});
        DrawCorner(hDC, COLOR_BTNSHADOW, {r.left + 1, r.bottom - 2}, {r.right - 2, r.bottom - 2},
                   {r.right - 2, r.top});
    } else if (hovered && drawBorder) {
        Draw3dRect(hDC, r, ::GetSysColor(COLOR_BTNHIGHLIGHT), ::GetSysColor(COLOR_BTNSHADOW));
    }
    return kOk;
}

DWORD CButtonST::DrawIconImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                               BOOL bIsPressed, BOOL bIsDisabled) {
    const IconImage& icon = ChosenIcon(bIsPressed);
    ButtonImageInput input{};
    input.button = ToPixelRect(*pItem);
    input.imageWidth = icon.width;
    input.imageHeight = icon.height;
    input.align = m_byAlign;
    input.hasCaption = bHasTitle != FALSE;
    input.marginX = m_ptImageOrg.x;
    input.marginY = m_ptImageOrg.y;
    input.movedByPress = bIsPressed && !m_bIsCheckBox;
    input.pressOffsetX = m_ptPressedOffset.x;
    input.pressOffsetY = m_ptPressedOffset.y;
    const ButtonImagePlacement placement = PlaceButtonImage(input);
    *pCaption = ToRect(placement.caption);
    ::DrawStateW(hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.hIcon.Get()), 0,
                 placement.image.x, placement.image.y, placement.image.width,
                 placement.image.height, DST_ICON | (bIsDisabled ? DSS_DISABLED : DSS_NORMAL));
    return kOk;
}

DWORD CButtonST::DrawCaption(HDC hDC, const std::wstring& caption, RECT* pCaption, BOOL bIsPressed,
                             BOOL bIsDisabled) {
    if (bIsPressed && !m_bIsCheckBox) {
        ::OffsetRect(pCaption, m_ptPressedOffset.x, m_ptPressedOffset.y);
    }
    RECT centred = *pCaption;
    ::DrawTextW(hDC, caption.c_str(), -1, &centred, DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
    ::OffsetRect(&centred,
                 ((pCaption->right - pCaption->left) - (centred.right - centred.left)) / 2,
                 ((pCaption->bottom - pCaption->top) - (centred.bottom - centred.top)) / 2);
    if (bIsDisabled) {
        ::OffsetRect(&centred, 1, 1);
        ::SetTextColor(hDC, ::GetSysColor(COLOR_BTNHIGHLIGHT));
        ::DrawTextW(hDC, caption.c_str(), -1, &centred, DT_WORDBREAK | DT_CENTER);
        ::OffsetRect(&centred, -1, -1);
        ::SetTextColor(hDC, ::GetSysColor(COLOR_BTNSHADOW));
        ::DrawTextW(hDC, caption.c_str(), -1, &centred, DT_WORDBREAK | DT_CENTER);
    } else {
        ::SetTextColor(hDC, StateColor(TextHover, TextFocus, TextNormal));
        ::SetBkColor(hDC, StateColor(BackHover, BackFocus, BackNormal));
        ::DrawTextW(hDC, caption.c_str(), -1, &centred, DT_WORDBREAK | DT_CENTER);
    }
    return kOk;
}
