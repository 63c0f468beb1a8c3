#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "controls/ButtonLayout.h"
#include "framework/CButton.h"
#include "framework/CToolTipCtrl.h"
#include "framework/OwnedHandle.h"

// An owner-drawn push button with an icon beside or above its caption, a flat
// look that raises a border while the mouse is over it, per-state colours, a
// tooltip, and optionally the parent's background behind it so that it blends
// into a bitmap-painted dialog.
class CButtonST : public CButton {
public:
    // The six colours, fill and text per state.
    enum ColorIndex : int {
        BackHover = 0,   // fill while hovered or pressed
        TextHover = 1,   // caption while hovered or pressed
        BackNormal = 2,  // fill otherwise
        TextNormal = 3,  // caption otherwise
        BackFocus = 4,   // fill while focused
        TextFocus = 5,   // caption while focused
    };

    // Normal icons that SetIcons makes from the hover icon instead of loading one.
    static constexpr int kDarkenedIcon = -3;
    static constexpr int kGreyIcon = -2;

    // Results of the setters.
    static constexpr DWORD kOk = 0;
    static constexpr DWORD kIconInfoFailed = 1;
    static constexpr DWORD kInvalidPressStyle = 6;

    CButtonST();
    ~CButtonST() override = default;

    // Loads the hover and the normal icon from the program's resources at the
    // given sizes. A normal icon id of 0 lets the hover icon serve for both;
    // kDarkenedIcon and kGreyIcon make the normal icon from the hover icon.
    DWORD SetIcons(int nIconIn, int cxIconIn, int cyIconIn, int nIconOut, int cxIconOut,
                   int cyIconOut);
    // Takes ownership of both icons. hIconOut may be null, or kDarkenedIcon or
    // kGreyIcon cast to a handle.
    DWORD SetIcons(HICON hIconIn, HICON hIconOut);

    // A null text does nothing.
    void SetTooltip(const wchar_t* lpszText, BOOL bActivate);
    // Paints the parent's background behind the button, captured again on the next paint.
    void UseParentBackground(BOOL bRepaint);

    DWORD SetChecked(BOOL bChecked, BOOL bRepaint);
    DWORD ResetColors(BOOL bRepaint);
    // 0: image and caption move by (1, 1) while pressed; 1: by (0, 2).
    DWORD SetPressStyle(int nStyle);
    void ReleaseImages() noexcept;
    void EndHover();

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    virtual DWORD DrawBackground(HDC hDC, RECT* pRect);
    virtual DWORD DrawBorder(HDC hDC, RECT* pRect);
    virtual DWORD DrawIconImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                                BOOL bIsPressed, BOOL bIsDisabled);
    virtual DWORD DrawCaption(HDC hDC, const std::wstring& caption, RECT* pCaption, BOOL bIsPressed,
                              BOOL bIsDisabled);

private:
    struct IconImage {
        UniqueIcon hIcon;
        int width = 0;
        int height = 0;
    };

    // Reads the icon's size; false when its information cannot be read.
    static bool TakeIconSize(IconImage& image) noexcept;
    void DrawItem(const DRAWITEMSTRUCT& item);
    void PaintParentBackground(HDC hDC);
    void OnMouseMove();
    void OnEnable(BOOL bEnable);
    // The hover icon (index 0) while pressed or hovered, else the normal one if set.
    const IconImage& ChosenIcon(BOOL bIsPressed) const noexcept;
    COLORREF StateColor(ColorIndex hover, ColorIndex focus, ColorIndex normal) const noexcept;

    POINT m_ptImageOrg{3, 3};
    POINT m_ptPressedOffset{1, 1};
    bool flat = true;
    bool hovered = false;
    bool drawParentBackground = false;
    BOOL m_bIsPressed = FALSE;
    BOOL m_bIsFocused = FALSE;
    BOOL m_bIsDisabled = FALSE;
    BOOL m_bIsDefault = FALSE;
    BOOL m_bIsCheckBox = FALSE;
    ImageAlign m_byAlign = ImageAlign::ImageLeft;
    bool drawBorder = true;
    bool focusOnFlat = false;
    std::array<COLORREF, 6> m_crColors{};
    CToolTipCtrl m_ToolTip;
    BOOL m_nCheck = FALSE;
    bool alwaysTrack = true;
    UniqueGdiObject<HBITMAP> m_parentBackground;
    std::array<IconImage, 2> m_csIcons;
};
