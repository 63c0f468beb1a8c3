#include "controls/win32/CButtonST.h"

#include <commctrl.h>
#include <shellapi.h>

#include <optional>
#include <vector>

#include "controls/IconShading.h"
#include "framework/CClientDC.h"
#include "framework/OwnedHandle.h"
#include "framework/ScopedSelectObject.h"

namespace {

constexpr UINT_PTR kToolId = 1;
constexpr int kMaxTipWidth = 400;
constexpr int kFocusInset = 3;

constexpr std::size_t kHoverIcon = 0;
constexpr std::size_t kNormalIcon = 1;

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

template <typename Handle>
Handle SpecialImage(int id) {
    return reinterpret_cast<Handle>(static_cast<INT_PTR>(id));
}

template <typename Handle>
std::optional<IconShading> ShadingAsked(Handle normal) {
    if (normal == SpecialImage<Handle>(CButtonST::kDarkenedIcon)) {
        return IconShading::Darkened;
    }
    if (normal == SpecialImage<Handle>(CButtonST::kGreyIcon)) {
        return IconShading::Grey;
    }
    return std::nullopt;
}

// A copy of a bitmap with its pixels shaded, of its planes and bit depth.
HBITMAP CreateShadedBitmap(HBITMAP source, IconShading shading) {
    BITMAP layout{};
    if (source == nullptr || ::GetObjectW(source, sizeof(layout), &layout) == 0) {
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
    if (::GetDIBits(screen.GetSafeHdc(), source, 0, rows, pixels.data(), &format, DIB_RGB_COLORS) ==
        0) {
        return nullptr;
    }
    for (std::uint32_t& pixel : pixels) {
        pixel = ShadeIconPixel(pixel, shading);
    }
    UniqueGdiObject<HBITMAP> shaded(::CreateBitmap(layout.bmWidth, layout.bmHeight, layout.bmPlanes,
                                                   layout.bmBitsPixel, nullptr));
    if (!shaded.IsValid() || ::SetDIBits(screen.GetSafeHdc(), shaded.Get(), 0, rows, pixels.data(),
                                         &format, DIB_RGB_COLORS) == 0) {
        return nullptr;
    }
    return shaded.Release();
}

// A copy of the icon whose colour pixels are shaded; the mask stays.
HICON CreateShadedIcon(HICON source, IconShading shading) {
    ICONINFO info{};
    if (!::GetIconInfo(source, &info)) {
        return nullptr;
    }
    const UniqueGdiObject<HBITMAP> mask(info.hbmMask);
    const UniqueGdiObject<HBITMAP> color(info.hbmColor);
    const UniqueGdiObject<HBITMAP> shaded(CreateShadedBitmap(color.Get(), shading));
    if (!shaded.IsValid()) {
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
        iconOut = SpecialImage<HICON>(nIconOut);
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
    if (const std::optional<IconShading> shading = ShadingAsked(hIconOut)) {
        hIconOut = hIconIn == nullptr ? nullptr : CreateShadedIcon(hIconIn, *shading);
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

DWORD CButtonST::SetBitmaps(int nBitmapIn, COLORREF crTransColorIn, int nBitmapOut,
                            COLORREF crTransColorOut) {
    HINSTANCE const instance = ::GetModuleHandleW(nullptr);
    const auto load = [instance](int id) {
        return static_cast<HBITMAP>(
            ::LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    };
    HBITMAP const bitmapIn = load(nBitmapIn);
    HBITMAP bitmapOut = nullptr;
    if (nBitmapOut == kDarkenedIcon || nBitmapOut == kGreyIcon) {
        bitmapOut = SpecialImage<HBITMAP>(nBitmapOut);
    } else if (nBitmapOut != 0) {
        bitmapOut = load(nBitmapOut);
    }
    return SetBitmaps(bitmapIn, crTransColorIn, bitmapOut, crTransColorOut);
}

DWORD CButtonST::SetBitmaps(HBITMAP hBitmapIn, COLORREF crTransColorIn, HBITMAP hBitmapOut,
                            COLORREF crTransColorOut) {
    ReleaseImages();
    // Both bitmaps are owned from here on, whatever happens next.
    BitmapImage& hover = m_csBitmaps[kHoverIcon];
    BitmapImage& normal = m_csBitmaps[kNormalIcon];
    hover.hBitmap.Reset(hBitmapIn);
    hover.transparent = crTransColorIn;
    if (const std::optional<IconShading> shading = ShadingAsked(hBitmapOut)) {
        // The copy is made before the hover bitmap's transparent pixels are blackened.
        hBitmapOut = CreateShadedBitmap(hBitmapIn, *shading);
        crTransColorOut = button::ShadedTransparentColor(crTransColorIn, *shading);
    }
    normal.hBitmap.Reset(hBitmapOut);
    normal.transparent = crTransColorOut;
    if (!PrepareBitmap(hover) || (normal.hBitmap.IsValid() && !PrepareBitmap(normal))) {
        ReleaseImages();
        return kBitmapInfoFailed;
    }
    Invalidate();
    return kOk;
}

bool CButtonST::PrepareBitmap(BitmapImage& image) noexcept {
    BITMAP layout{};
    if (!image.hBitmap.IsValid() ||
        ::GetObjectW(image.hBitmap.Get(), sizeof(layout), &layout) == 0) {
        return false;
    }
    image.width = layout.bmWidth;
    image.height = layout.bmHeight;
    image.hMask.Reset(::CreateBitmap(image.width, image.height, 1, 1, nullptr));
    const UniqueMemoryDc bitmapDc(::CreateCompatibleDC(nullptr));
    const UniqueMemoryDc maskDc(::CreateCompatibleDC(nullptr));
    if (!image.hMask.IsValid() || !bitmapDc.IsValid() || !maskDc.IsValid()) {
        return false;
    }
    const ScopedSelectObject selectBitmap(bitmapDc.Get(), image.hBitmap.Get());
    const ScopedSelectObject selectMask(maskDc.Get(), image.hMask.Get());
    // Copied to one bit per pixel, the transparent colour (the source's
    // background colour) becomes white in the mask, every other colour black.
    ::SetBkColor(bitmapDc.Get(), image.transparent);
    ::BitBlt(maskDc.Get(), 0, 0, image.width, image.height, bitmapDc.Get(), 0, 0, SRCCOPY);
    // The transparent pixels of the bitmap itself turn black, so that
    // painting it over the masked-out background leaves the background there.
    ::SetBkColor(bitmapDc.Get(), RGB(0, 0, 0));
    ::SetTextColor(bitmapDc.Get(), RGB(255, 255, 255));
    ::BitBlt(bitmapDc.Get(), 0, 0, image.width, image.height, maskDc.Get(), 0, 0, SRCAND);
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

DWORD CButtonST::SetColor(ColorIndex index, COLORREF color, BOOL bRepaint) {
    m_crColors[static_cast<std::size_t>(index)] = color;
    if (bRepaint) {
        Invalidate();
    }
    return kOk;
}

COLORREF CButtonST::GetColor(ColorIndex index) const noexcept {
    return m_crColors[static_cast<std::size_t>(index)];
}

DWORD CButtonST::SetPressStyle(int nStyle) {
    const std::optional<button::PressOffset> offset = button::PressOffsetOf(nStyle);
    if (!offset) {
        return kInvalidPressStyle;
    }
    m_ptPressedOffset = POINT{offset->x, offset->y};
    return kOk;
}

namespace {

template <typename Value>
void SetOption(Value& option, Value value, BOOL bRepaint, const CWnd& button) {
    option = value;
    if (bRepaint) {
        button.Invalidate();
    }
}

}  // namespace

void CButtonST::SetFlat(BOOL bFlat, BOOL bRepaint) {
    SetOption(flat, bFlat != FALSE, bRepaint, *this);
}

void CButtonST::SetAlign(ImageAlign align, BOOL bRepaint) {
    SetOption(m_byAlign, align, bRepaint, *this);
}

void CButtonST::SetImageMargins(int cx, int cy, BOOL bRepaint) {
    SetOption(m_ptImageOrg, POINT{cx, cy}, bRepaint, *this);
}

void CButtonST::SetFocusOnFlat(BOOL bFocusOnFlat, BOOL bRepaint) {
    SetOption(focusOnFlat, bFocusOnFlat != FALSE, bRepaint, *this);
}

void CButtonST::SetDrawBorder(BOOL bDrawBorder, BOOL bRepaint) {
    SetOption(drawBorder, bDrawBorder != FALSE, bRepaint, *this);
}

void CButtonST::SetGrayDisabledBitmap(BOOL bGray, BOOL bRepaint) {
    SetOption(grayDisabledBitmap, bGray != FALSE, bRepaint, *this);
}

DWORD CButtonST::SetMenu(UINT nMenu, HWND hParentWnd, BOOL bRepaint) {
    HMENU menu = nullptr;
    if (nMenu != 0) {
        menu = ::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nMenu));
        if (menu == nullptr) {
            SetMenu(HMENU{}, hParentWnd, bRepaint);
            return kMenuNotLoaded;
        }
    }
    return SetMenu(menu, hParentWnd, bRepaint);
}

DWORD CButtonST::SetMenu(HMENU hMenu, HWND hParentWnd, BOOL bRepaint) {
    m_menu.Reset(hMenu);
    m_hParentWndMenu = hParentWnd;
    if (bRepaint) {
        Invalidate();
    }
    return kOk;
}

void CButtonST::SetMenuCallback(HWND hWnd, UINT nMessage, LPARAM lParam) noexcept {
    m_hCallbackWnd = hWnd;
    m_nCallbackMessage = nMessage;
    m_lCallbackParam = lParam;
}

void CButtonST::SetURL(const wchar_t* lpszURL) {
    m_link.clear();
    if (lpszURL != nullptr) {
        m_link = button::Limited(lpszURL, button::kMaxLinkLength);
    }
}

BOOL CButtonST::SetBtnCursor(int nCursorId, BOOL bRepaint) {
    m_hCursor.Reset();
    if (nCursorId != 0) {
        m_hCursor.Reset(static_cast<HCURSOR>(::LoadImageW(::GetModuleHandleW(nullptr),
                                                          MAKEINTRESOURCEW(nCursorId), IMAGE_CURSOR,
                                                          0, 0, LR_DEFAULTSIZE)));
        if (!m_hCursor.IsValid()) {
            // A copy, so that the button owns every cursor it holds alike.
            HCURSOR const system = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(nCursorId));
            m_hCursor.Reset(system == nullptr ? nullptr : ::CopyIcon(system));
        }
    }
    if (bRepaint) {
        Invalidate();
    }
    return m_hCursor.IsValid() || nCursorId == 0;
}

CButtonST::~CButtonST() {
    // A sound still playing is stopped before its library may go.
    if (m_playSound != nullptr) {
        m_playSound(nullptr, nullptr, 0);
    }
}

void CButtonST::SetSound(const wchar_t* lpszFile, BOOL bPlayOnClick) {
    LoadSoundLibrary();
    m_sounds.SetFile(bPlayOnClick ? button::SoundEvent::Click : button::SoundEvent::Hover,
                     lpszFile == nullptr ? std::wstring_view{} : std::wstring_view{lpszFile});
}

void CButtonST::SetSound(UINT nResourceId, HMODULE hModule, BOOL bPlayOnClick) {
    LoadSoundLibrary();
    const button::SoundEvent event =
        bPlayOnClick ? button::SoundEvent::Click : button::SoundEvent::Hover;
    m_sounds.SetResource(event, static_cast<std::uint16_t>(nResourceId));
    m_soundModules[static_cast<std::size_t>(event)] = hModule;
}

void CButtonST::LoadSoundLibrary() noexcept {
    if (!m_soundLibrary) {
        m_soundLibrary.emplace(L"winmm.dll");
        m_soundLibrary->Find("PlaySoundW", m_playSound);
    }
}

void CButtonST::PlayButtonSound(button::SoundEvent event) const noexcept {
    if (m_playSound == nullptr) {
        return;
    }
    const button::SoundChoice& sound = m_sounds.For(event);
    constexpr DWORD kFlags = SND_ASYNC | SND_NODEFAULT;
    switch (sound.source) {
        case button::SoundChoice::Source::Resource:
            m_playSound(MAKEINTRESOURCEW(sound.resourceId),
                        m_soundModules[static_cast<std::size_t>(event)], kFlags | SND_RESOURCE);
            break;
        case button::SoundChoice::Source::File:
            m_playSound(sound.file.c_str(), nullptr, kFlags | SND_FILENAME);
            break;
        case button::SoundChoice::Source::None:
            break;
    }
}

void CButtonST::ReleaseImages(BOOL bDestroy) noexcept {
    for (IconImage& image : m_csIcons) {
        if (bDestroy) {
            image.hIcon.Reset();
        } else {
            static_cast<void>(image.hIcon.Release());
        }
        image.width = 0;
        image.height = 0;
    }
    for (BitmapImage& image : m_csBitmaps) {
        if (bDestroy) {
            image.hBitmap.Reset();
            image.hMask.Reset();
        } else {
            static_cast<void>(image.hBitmap.Release());
            static_cast<void>(image.hMask.Release());
        }
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
    const button::StyleTraits traits = button::TraitsOf(GetStyle());
    if (traits.checkBox) {
        m_bIsCheckBox = TRUE;
    }
    if (traits.defaultButton) {
        m_bIsDefault = TRUE;
    }
    ModifyStyle(button::kTypeMask, BS_OWNERDRAW, SWP_FRAMECHANGED);
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
        OnClicked();
    }
    // The parent's own click handler runs as well.
    return FALSE;
}

void CButtonST::OnClicked() {
    ::SetFocus(m_hWnd);
    PlayButtonSound(button::SoundEvent::Click);
    switch (button::ActionOnClick(m_bIsCheckBox != FALSE, m_menu.IsValid(), !m_link.empty())) {
        case button::ClickAction::ToggleCheck:
            m_nCheck = !m_nCheck;
            Invalidate();
            break;
        case button::ClickAction::ShowMenu:
            ShowMenu();
            break;
        case button::ClickAction::OpenLink: {
            SHELLEXECUTEINFOW execute{};
            execute.cbSize = sizeof(execute);
            execute.fMask = SEE_MASK_FLAG_NO_UI;
            execute.lpVerb = L"open";
            execute.lpFile = m_link.c_str();
            execute.nShow = SW_SHOWMAXIMIZED;
            ::ShellExecuteExW(&execute);
            break;
        }
        case button::ClickAction::Nothing:
            break;
    }
}

// The menu's first submenu below the button; the command chosen goes to the
// menu's owner as if it had come from a menu of its own.
void CButtonST::ShowMenu() {
    HMENU const popup = ::GetSubMenu(m_menu.Get(), 0);
    if (popup == nullptr) {
        return;
    }
    m_bMenuDisplayed = true;
    Invalidate();
    if (m_hCallbackWnd != nullptr) {
        ::SendMessageW(m_hCallbackWnd, m_nCallbackMessage, reinterpret_cast<WPARAM>(popup),
                       m_lCallbackParam);
    }
    RECT place{};
    ::GetWindowRect(m_hWnd, &place);
    const BOOL command =
        ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_NONOTIFY | TPM_RETURNCMD,
                         place.left, place.bottom, 0, m_hWnd, nullptr);
    m_bMenuDisplayed = false;
    Invalidate();
    if (command != 0 && m_hParentWndMenu != nullptr) {
        ::PostMessageW(m_hParentWndMenu, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    }
}

LRESULT CButtonST::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDBLCLK:
            // A double-click is two presses, not a notification of its own.
            return Default(WM_LBUTTONDOWN, wParam, lParam);
        case WM_MOUSEMOVE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (button::TracksHover((wParam & MK_LBUTTON) != 0, hovered, flat)) {
                OnMouseMove();
            }
            return result;
        }
        case WM_ACTIVATE: {
            const LRESULT result = Default(message, wParam, lParam);
            if (LOWORD(wParam) == WA_INACTIVE) {
                EndHover();
            }
            return result;
        }
        case WM_SETCURSOR:
            if (m_hCursor.IsValid()) {
                ::SetCursor(m_hCursor.Get());
                return TRUE;
            }
            return Default(message, wParam, lParam);
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
            if (const std::optional<bool> mark =
                    button::DefaultMarkFor(static_cast<std::uint32_t>(wParam))) {
                m_bIsDefault = *mark ? TRUE : FALSE;
            }
            return Default(message, button::OwnerDrawn(static_cast<std::uint32_t>(wParam)), lParam);
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
            PlayButtonSound(button::SoundEvent::Hover);
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

button::ImageSlot CButtonST::ChosenImage(BOOL bIsPressed, bool hasNormal) const noexcept {
    return button::ChooseImage(bIsPressed != FALSE, hovered, m_bIsCheckBox != FALSE, hasNormal);
}

COLORREF CButtonST::StateColor(ColorIndex hover, ColorIndex focus,
                               ColorIndex normal) const noexcept {
    switch (button::ColorStateOf(hovered, m_bIsPressed != FALSE, m_bIsFocused != FALSE)) {
        case button::ColorState::Hover:
            return m_crColors[hover];
        case button::ColorState::Focus:
            return m_crColors[focus];
        case button::ColorState::Normal:
            break;
    }
    return m_crColors[normal];
}

void CButtonST::DrawItem(const DRAWITEMSTRUCT& item) {
    HDC const dc = item.hDC;
    m_bIsPressed =
        button::PaintsPressed((item.itemState & ODS_SELECTED) != 0, m_bIsCheckBox != FALSE,
                              m_nCheck != FALSE, m_bMenuDisplayed)
            ? TRUE
            : FALSE;
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
    if (m_csBitmaps[kHoverIcon].hBitmap.IsValid()) {
        ::SetBkColor(dc, RGB(255, 255, 255));
        DrawBitmapImage(dc, !caption.empty(), &item.rcItem, &captionRect, m_bIsPressed,
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

PixelRect CButtonST::PlaceImage(int width, int height, BOOL bHasTitle, const RECT* pItem,
                                RECT* pCaption, BOOL bIsPressed) const noexcept {
    ButtonImageInput input{};
    input.button = ToPixelRect(*pItem);
    input.imageWidth = width;
    input.imageHeight = height;
    input.align = m_byAlign;
    input.hasCaption = bHasTitle != FALSE;
    input.marginX = m_ptImageOrg.x;
    input.marginY = m_ptImageOrg.y;
    input.movedByPress = bIsPressed && !m_bIsCheckBox;
    input.pressOffsetX = m_ptPressedOffset.x;
    input.pressOffsetY = m_ptPressedOffset.y;
    const ButtonImagePlacement placement = PlaceButtonImage(input);
    *pCaption = ToRect(placement.caption);
    return placement.image;
}

DWORD CButtonST::DrawIconImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                               BOOL bIsPressed, BOOL bIsDisabled) {
    const IconImage& icon = m_csIcons[static_cast<std::size_t>(
        ChosenImage(bIsPressed, m_csIcons[kNormalIcon].hIcon.IsValid()))];
    const PixelRect image =
        PlaceImage(icon.width, icon.height, bHasTitle, pItem, pCaption, bIsPressed);
    ::DrawStateW(hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(icon.hIcon.Get()), 0, image.x,
                 image.y, image.width, image.height,
                 DST_ICON | (bIsDisabled ? DSS_DISABLED : DSS_NORMAL));
    return kOk;
}

DWORD CButtonST::DrawBitmapImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                                 BOOL bIsPressed, BOOL bIsDisabled) {
    const BitmapImage& bitmap = m_csBitmaps[static_cast<std::size_t>(
        ChosenImage(bIsPressed, m_csBitmaps[kNormalIcon].hBitmap.IsValid()))];
    const PixelRect image =
        PlaceImage(bitmap.width, bitmap.height, bHasTitle, pItem, pCaption, bIsPressed);
    const UniqueMemoryDc sourceDc(::CreateCompatibleDC(hDC));
    if (!sourceDc.IsValid()) {
        return kOk;
    }
    // The mask's white (transparent) pixels keep the target, its black ones
    // clear it; the bitmap, black where transparent, then fills what was cleared.
    const auto compose = [&](HDC target, int x, int y) {
        ::SetTextColor(target, RGB(0, 0, 0));
        {
            const ScopedSelectObject selectMask(sourceDc.Get(), bitmap.hMask.Get());
            ::BitBlt(target, x, y, image.width, image.height, sourceDc.Get(), 0, 0, SRCAND);
        }
        const ScopedSelectObject selectBitmap(sourceDc.Get(), bitmap.hBitmap.Get());
        ::BitBlt(target, x, y, image.width, image.height, sourceDc.Get(), 0, 0, SRCPAINT);
    };
    if (!(bIsDisabled && grayDisabledBitmap)) {
        compose(hDC, image.x, image.y);
        return kOk;
    }
    const UniqueGdiObject<HBITMAP> composed(
        ::CreateCompatibleBitmap(hDC, image.width, image.height));
    const UniqueMemoryDc composedDc(::CreateCompatibleDC(hDC));
    if (!composed.IsValid() || !composedDc.IsValid()) {
        return kOk;
    }
    {
        const ScopedSelectObject selectComposed(composedDc.Get(), composed.Get());
        ::SetBkColor(composedDc.Get(), RGB(255, 255, 255));
        FillSolidRect(composedDc.Get(), 0, 0, image.width, image.height, RGB(255, 255, 255));
        compose(composedDc.Get(), 0, 0);
    }
    ::DrawStateW(hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(composed.Get()), 0, image.x,
                 image.y, image.width, image.height, DST_BITMAP | DSS_DISABLED);
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
