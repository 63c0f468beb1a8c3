#include "controls/win32/CColorEdit.h"

#include <utility>

#include "framework/ScopedSelectObject.h"

void CColorEdit::SetEditFont(std::wstring_view faceName, int nHeight, DWORD dwStyle) {
    m_strFaceName = faceName;
    m_nHeight = nHeight;
    m_bBold = (dwStyle & kBold) != 0;
    m_bItalic = (dwStyle & kItalic) != 0;
    m_bUnderline = (dwStyle & kUnderline) != 0;
    m_bStrikeOut = (dwStyle & kStrikeOut) != 0;
    UniqueGdiObject<HFONT> font(
        ::CreateFontW(m_nHeight, 0, 0, 0, m_bBold ? FW_HEAVY : FW_NORMAL, m_bItalic, m_bUnderline,
                      m_bStrikeOut, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_DEFAULT_PRECIS,
                      DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, m_strFaceName.c_str()));
    if (m_hWndFontReceiver != nullptr) {
        ::SendMessageW(m_hWndFontReceiver, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()),
                       MAKELPARAM(TRUE, 0));
    }
    // The previous font goes only after the receiver has the new one.
    m_font = std::move(font);
}

LRESULT CColorEdit::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        // Without a backdrop whatever lies behind the edit stays; the text
        // is drawn over it.
        if (m_nBackdrop != 0) {
            PaintBackdrop(reinterpret_cast<HDC>(wParam));
        }
        return TRUE;
    }
    return CEdit::WindowProc(message, wParam, lParam);
}

BOOL CColorEdit::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) {
        return CEdit::OnChildNotify(message, wParam, lParam, pResult);
    }
    HDC const dc = reinterpret_cast<HDC>(wParam);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, m_crText);
    *pResult = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return TRUE;
}

void CColorEdit::PaintBackdrop(HDC hDC) {
    const HWND parent = GetParent();
    RECT parentClient{};
    ::GetClientRect(parent, &parentClient);
    const SIZE size{parentClient.right - parentClient.left, parentClient.bottom - parentClient.top};
    if (!m_backdrop.IsValid() || size.cx != m_backdropSize.cx || size.cy != m_backdropSize.cy) {
        m_backdrop.Reset(static_cast<HBITMAP>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nBackdrop), IMAGE_BITMAP,
                         size.cx, size.cy, LR_DEFAULTCOLOR)));
        m_backdropSize = size;
    }
    const UniqueMemoryDc source(::CreateCompatibleDC(hDC));
    if (!m_backdrop.IsValid() || !source.IsValid()) {
        return;
    }
    POINT origin{0, 0};
    ::MapWindowPoints(m_hWnd, parent, &origin, 1);
    const RECT client = GetClientRect();
    const ScopedSelectObject select(source.Get(), m_backdrop.Get());
    ::BitBlt(hDC, 0, 0, client.right - client.left, client.bottom - client.top, source.Get(),
             origin.x, origin.y, SRCCOPY);
}
