#include "controls/CColorEdit.h"

#include <utility>

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
        // Whatever lies behind the edit stays; the text is drawn over it.
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
