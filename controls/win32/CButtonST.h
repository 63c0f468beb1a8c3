#pragma once

#include <windows.h>

#include <mmsystem.h>

#include <array>
#include <optional>
#include <string>

#include "controls/ButtonBehaviour.h"
#include "controls/ButtonLayout.h"
#include "framework/CButton.h"
#include "framework/CToolTipCtrl.h"
#include "framework/OwnedHandle.h"
#include "framework/SystemLibrary.h"

namespace button_handles {
inline void DestroyMenuHandle(HMENU handle) noexcept {
    ::DestroyMenu(handle);
}
inline void DestroyCursorHandle(HCURSOR handle) noexcept {
    ::DestroyCursor(handle);
}
}  // namespace button_handles

using UniqueMenu =
    OwnedHandle<HMENU, &owned_handle::Null<HMENU>, &button_handles::DestroyMenuHandle>;
using UniqueCursor =
    OwnedHandle<HCURSOR, &owned_handle::Null<HCURSOR>, &button_handles::DestroyCursorHandle>;

// An owner-drawn push button with an icon or a masked bitmap beside or above
// its caption, a flat look that raises a border while the mouse is over it,
// per-state colours, a tooltip, and optionally the parent's background behind
// it so that it blends into a bitmap-painted dialog. It can also act as a
// check box, open a popup menu, open a link or play sounds.
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

    // Normal images that SetIcons and SetBitmaps make from the hover image
    // instead of loading one.
    static constexpr int kDarkenedIcon = -3;
    static constexpr int kGreyIcon = -2;

    // Results of the setters.
    static constexpr DWORD kOk = 0;
    static constexpr DWORD kIconInfoFailed = 1;
    static constexpr DWORD kBitmapInfoFailed = 1;
    static constexpr DWORD kMenuNotLoaded = 2;
    static constexpr DWORD kInvalidPressStyle = 6;

    CButtonST();
    ~CButtonST() override;

    // Loads the hover and the normal icon from the program's resources at the
    // given sizes. A normal icon id of 0 lets the hover icon serve for both;
    // kDarkenedIcon and kGreyIcon make the normal icon from the hover icon.
    DWORD SetIcons(int nIconIn, int cxIconIn, int cyIconIn, int nIconOut, int cxIconOut,
                   int cyIconOut);
    // Takes ownership of both icons. hIconOut may be null, or kDarkenedIcon or
    // kGreyIcon cast to a handle.
    DWORD SetIcons(HICON hIconIn, HICON hIconOut);

    // Loads the hover and the normal bitmap from the program's resources;
    // pixels of each one's transparent colour let the background show. A
    // normal bitmap id of 0 lets the hover bitmap serve for both;
    // kDarkenedIcon and kGreyIcon make the normal bitmap from the hover one.
    DWORD SetBitmaps(int nBitmapIn, COLORREF crTransColorIn, int nBitmapOut,
                     COLORREF crTransColorOut);
    // Takes ownership of both bitmaps. hBitmapOut may be null, or
    // kDarkenedIcon or kGreyIcon cast to a handle (the copy's transparent
    // colour is then the hover one's, shaded alike).
    DWORD SetBitmaps(HBITMAP hBitmapIn, COLORREF crTransColorIn, HBITMAP hBitmapOut,
                     COLORREF crTransColorOut);

    // A null text does nothing.
    void SetTooltip(const wchar_t* lpszText, BOOL bActivate);
    // Paints the parent's background behind the button, captured again on the next paint.
    void UseParentBackground(BOOL bRepaint);

    DWORD SetChecked(BOOL bChecked, BOOL bRepaint);
    BOOL GetChecked() const noexcept { return m_nCheck; }
    DWORD ResetColors(BOOL bRepaint);
    DWORD SetColor(ColorIndex index, COLORREF color, BOOL bRepaint);
    COLORREF GetColor(ColorIndex index) const noexcept;
    // 0: image and caption move by (1, 1) while pressed; 1: by (0, 2).
    DWORD SetPressStyle(int nStyle);
    void SetFlat(BOOL bFlat, BOOL bRepaint);
    void SetAlign(ImageAlign align, BOOL bRepaint);
    // The gap between the button's edge and its image.
    void SetImageMargins(int cx, int cy, BOOL bRepaint);
    void SetAlwaysTrack(BOOL bAlwaysTrack) noexcept { alwaysTrack = bAlwaysTrack != FALSE; }
    void SetFocusOnFlat(BOOL bFocusOnFlat, BOOL bRepaint);
    void SetDrawBorder(BOOL bDrawBorder, BOOL bRepaint);
    void SetGrayDisabledBitmap(BOOL bGray, BOOL bRepaint);

    // The popup menu shown on click, from the program's resources (its first
    // submenu is shown); its command goes to hParentWnd. 0 removes the menu.
    DWORD SetMenu(UINT nMenu, HWND hParentWnd, BOOL bRepaint);
    // As above with a menu the button takes ownership of; null removes it.
    DWORD SetMenu(HMENU hMenu, HWND hParentWnd, BOOL bRepaint);
    // Sent to hWnd just before the menu opens: wParam the submenu shown,
    // lParam the given value. A null window stops it.
    void SetMenuCallback(HWND hWnd, UINT nMessage, LPARAM lParam) noexcept;

    // Opened on click (when the button is neither a check box nor has a menu); null clears it.
    void SetURL(const wchar_t* lpszURL);
    // The cursor over the button: a cursor resource of the program, else the
    // system cursor of that id (IDC_HAND for the hand); 0 for the class's own.
    BOOL SetBtnCursor(int nCursorId, BOOL bRepaint);
    // A sound file played on hover or on click; null removes it.
    void SetSound(const wchar_t* lpszFile, BOOL bPlayOnClick);
    // A WAVE resource of the module played on hover or on click; 0 removes it.
    void SetSound(UINT nResourceId, HMODULE hModule, BOOL bPlayOnClick);

    // Destroys the images when bDestroy is on, else only forgets them.
    void ReleaseImages(BOOL bDestroy = TRUE) noexcept;
    void EndHover();

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    virtual DWORD DrawBackground(HDC hDC, RECT* pRect);
    virtual DWORD DrawBorder(HDC hDC, RECT* pRect);
    virtual DWORD DrawIconImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                                BOOL bIsPressed, BOOL bIsDisabled);
    virtual DWORD DrawBitmapImage(HDC hDC, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                                  BOOL bIsPressed, BOOL bIsDisabled);
    virtual DWORD DrawCaption(HDC hDC, const std::wstring& caption, RECT* pCaption, BOOL bIsPressed,
                              BOOL bIsDisabled);

private:
    struct IconImage {
        UniqueIcon hIcon;
        int width = 0;
        int height = 0;
    };

    struct BitmapImage {
        UniqueGdiObject<HBITMAP> hBitmap;
        UniqueGdiObject<HBITMAP> hMask;
        int width = 0;
        int height = 0;
        COLORREF transparent = 0;
    };

    // Reads the icon's size; false when its information cannot be read.
    static bool TakeIconSize(IconImage& image) noexcept;
    // Reads the bitmap's size and makes its mask; false when it cannot.
    static bool PrepareBitmap(BitmapImage& image) noexcept;
    // Where an image of w x h goes; cuts the caption rectangle to what is left.
    PixelRect PlaceImage(int width, int height, BOOL bHasTitle, const RECT* pItem, RECT* pCaption,
                         BOOL bIsPressed) const noexcept;
    void OnClicked();
    void ShowMenu();
    // Loads the sound library the first time a sound is chosen.
    void LoadSoundLibrary() noexcept;
    void PlayButtonSound(button::SoundEvent event) const noexcept;
    void DrawItem(const DRAWITEMSTRUCT& item);
    void PaintParentBackground(HDC hDC);
    void OnMouseMove();
    void OnEnable(BOOL bEnable);
    button::ImageSlot ChosenImage(BOOL bIsPressed, bool hasNormal) const noexcept;
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
    std::array<BitmapImage, 2> m_csBitmaps;
    bool grayDisabledBitmap = true;
    UniqueMenu m_menu;
    HWND m_hParentWndMenu = nullptr;
    bool m_bMenuDisplayed = false;
    HWND m_hCallbackWnd = nullptr;
    UINT m_nCallbackMessage = 0;
    LPARAM m_lCallbackParam = 0;
    UniqueCursor m_hCursor;
    std::wstring m_link;
    button::ButtonSounds m_sounds;
    std::array<HMODULE, 2> m_soundModules{};
    // Without the library, or without its function, the button stays silent.
    std::optional<SystemLibrary> m_soundLibrary;
    decltype(&::PlaySoundW) m_playSound = nullptr;
};
