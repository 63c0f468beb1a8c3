#pragma once

#include <windows.h>

#include "controls/BkMode.h"
#include "framework/CDialog.h"
#include "framework/OwnedHandle.h"

// A dialog that paints its client area with a bitmap instead of the plain
// dialog colour, can cut the window to the bitmap's shape (every pixel of a
// chosen colour becomes a hole) and can be dragged by its client area.
class CBkDialogST : public CDialog {
public:
    // SetBackground's transparent colour when the window keeps its rectangle.
    static constexpr COLORREF kNoTransparentColor = static_cast<COLORREF>(-1);

    // SetBackground's results.
    static constexpr DWORD kBackgroundOk = 0;
    static constexpr DWORD kBackgroundNoSize = 1;
    static constexpr DWORD kBackgroundNoRegion = 3;

    explicit CBkDialogST(UINT nIDTemplate, HWND hWndParent = nullptr) noexcept
        : CDialog(nIDTemplate, hWndParent) {}
    ~CBkDialogST() override;

    // Loads a bitmap of the program at the given size (0 keeps the resource's
    // own size) and makes it the background.
    DWORD SetBackground(int nBitmap, COLORREF crTransColor, int nWidth, int nHeight);
    // Takes ownership of the bitmap; a null bitmap removes background and shape.
    DWORD SetBackground(HBITMAP hBitmap, COLORREF crTransColor);

    void SetMode(BkMode mode) noexcept { m_byMode = mode; }
    void SetEasyMove(BOOL bEasyMove) noexcept { m_bEasyMove = bEasyMove; }

protected:
    // Called with the off-screen context at the end of every background paint.
    virtual void AfterBackgroundPaint(HDC hDC);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ReleaseBackground() noexcept;
    HRGN BuildShapeRegion(COLORREF crTransColor) const;
    LRESULT OnEraseBkgnd(HDC hDC);

    UniqueGdiObject<HBITMAP> m_hBitmap;
    // Set while the window owns a shape region made from the bitmap.
    HRGN m_hRegion = nullptr;
    DWORD m_dwWidth = 0;
    DWORD m_dwHeight = 0;
    BkMode m_byMode = BkMode::Tile;
    BOOL m_bEasyMove = FALSE;
};
