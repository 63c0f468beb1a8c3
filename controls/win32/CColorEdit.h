#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "framework/CEdit.h"
#include "framework/OwnedHandle.h"

// An edit control whose text is drawn in one colour straight onto whatever
// lies behind it: it paints no background of its own, or, given a backdrop,
// the part of that picture that lies under it when the picture is stretched
// over the parent's client area, so that it blends into a bitmap-painted
// dialog even when it repaints alone.
class CColorEdit : public CEdit {
public:
    // Style bits of SetEditFont; other bits have no effect.
    static constexpr DWORD kBold = 0x01;
    static constexpr DWORD kItalic = 0x02;
    static constexpr DWORD kUnderline = 0x04;
    static constexpr DWORD kStrikeOut = 0x08;

    // The window that is given the font: the edit itself, or a window that
    // draws the text for it.
    void SetFontReceiver(HWND hWnd) noexcept { m_hWndFontReceiver = hWnd; }
    // A fixed-pitch font of the given height in logical units.
    void SetEditFont(std::wstring_view faceName, int nHeight, DWORD dwStyle);
    // Takes effect with the next paint.
    void SetEditTextColor(COLORREF crText) noexcept { m_crText = crText; }
    // A bitmap resource of the program, the same picture as the parent's background.
    void SetBackdrop(int nBitmap) noexcept {
        m_nBackdrop = nBitmap;
        m_backdrop.Reset();
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    void PaintBackdrop(HDC hDC);

    bool m_bBold = false;
    bool m_bItalic = false;
    bool m_bUnderline = false;
    bool m_bStrikeOut = false;
    std::wstring m_strFaceName = L"Courier New";
    int m_nHeight = 20;
    COLORREF m_crText = RGB(0, 255, 0);
    HWND m_hWndFontReceiver = nullptr;
    UniqueGdiObject<HFONT> m_font;
    int m_nBackdrop = 0;
    // The backdrop as loaded for the parent's client size it was loaded at.
    UniqueGdiObject<HBITMAP> m_backdrop;
    SIZE m_backdropSize{};
};
