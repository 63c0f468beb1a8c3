#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "controls/ColorRequest.h"
#include "controls/ColorValue.h"
#include "framework/OwnedHandle.h"
#include "framework/PointFont.h"

// Gives a standard control its own text colour, background colour or
// background pattern and font, answering the colour request that the control
// sends about itself; text and background can blink between two values.
// Colours are colour values (see ColorValue.h): none, a system colour or a COLORREF.
template <typename BaseCtrl>
class CColorCtrl : public BaseCtrl {
public:
    static constexpr UINT_PTR kBlinkTimerId = 1;

    CColorCtrl() = default;
    ~CColorCtrl() override = default;

    // Replaces font and colours and redraws the control at once; the text stays.
    void SetColorsAndFont(COLORREF crText, COLORREF crBack, int nPointSize,
                          std::wstring_view faceName);

    void SetBlinkTextColors(std::uint32_t phase0, std::uint32_t phase1) noexcept {
        m_crBlinkText = {phase0, phase1};
    }
    void SetBlinkBackColors(std::uint32_t phase0, std::uint32_t phase1) noexcept {
        m_crBlinkBack = {phase0, phase1};
    }
    // The control owns the bitmaps it is given.
    void SetBackBitmap(HBITMAP hBitmap) noexcept { m_backBitmap.Reset(hBitmap); }
    void SetBlinkBackBitmaps(HBITMAP phase0, HBITMAP phase1) noexcept {
        m_blinkBackBitmaps[0].Reset(phase0);
        m_blinkBackBitmaps[1].Reset(phase1);
    }
    void SetBlinkInterval(UINT milliseconds) noexcept { m_nBlinkInterval = milliseconds; }
    void EnableBlink(bool text, bool background) {
        blinkText = text;
        blinkBackground = background;
        StartBlinkTimer();
    }
    void SetNearestColors(bool on) noexcept { nearestColors = on; }
    void SetOpaque(bool on) noexcept { opaque = on; }

protected:
    void PreSubclassWindow() override {
        BaseCtrl::PreSubclassWindow();
        StartBlinkTimer();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

private:
    static COLORREF Resolve(std::uint32_t colorValue) noexcept {
        return colorvalue::IsSystemColor(colorValue)
                   ? ::GetSysColor(colorvalue::SystemColorIndex(colorValue))
                   : colorvalue::ColorRefOf(colorValue);
    }
    void StartBlinkTimer() noexcept {
        if ((blinkText || blinkBackground) && m_nTimerId == 0 && this->m_hWnd != nullptr) {
            m_nTimerId = ::SetTimer(this->m_hWnd, kBlinkTimerId, m_nBlinkInterval, nullptr);
        }
    }
    HBRUSH CtlColor(HDC hDC, int nCtlType);

    UINT_PTR m_nTimerId = 0;
    std::size_t m_nPhase = 0;
    UINT m_nBlinkInterval = 1000;
    bool blinkText = false;
    bool blinkBackground = false;
    bool nearestColors = false;
    bool opaque = false;
    std::uint32_t m_crText = colorvalue::kNone;
    std::array<std::uint32_t, 2> m_crBlinkText{colorvalue::kNone, colorvalue::kNone};
    std::uint32_t m_crBack = colorvalue::kNone;
    UniqueGdiObject<HBITMAP> m_backBitmap;
    std::array<std::uint32_t, 2> m_crBlinkBack{colorvalue::kNone, colorvalue::kNone};
    std::array<UniqueGdiObject<HBITMAP>, 2> m_blinkBackBitmaps;
    UniqueGdiObject<HBRUSH> m_brush;
    UniqueGdiObject<HFONT> m_font;
};

template <typename BaseCtrl>
void CColorCtrl<BaseCtrl>::SetColorsAndFont(COLORREF crText, COLORREF crBack, int nPointSize,
                                            std::wstring_view faceName) {
    // The old font goes only after the control has the new one.
    UniqueGdiObject<HFONT> previousFont(m_font.Release());
    m_crText = colorvalue::FromColorRef(crText);
    m_crBack = colorvalue::FromColorRef(crBack);
    m_font.Reset(CreatePointFont(nPointSize, faceName));
    if (this->m_hWnd == nullptr) {
        return;
    }
    this->SetFont(m_font.Get(), TRUE);
    this->Invalidate();
    this->RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

template <typename BaseCtrl>
HBRUSH CColorCtrl<BaseCtrl>::CtlColor(HDC hDC, int nCtlType) {
    const std::uint32_t text = blinkText ? m_crBlinkText[m_nPhase] : m_crText;
    const std::uint32_t back = blinkBackground ? m_crBlinkBack[m_nPhase] : m_crBack;
    HBITMAP const bitmap =
        blinkBackground ? m_blinkBackBitmaps[m_nPhase].Get() : m_backBitmap.Get();
    const colorrequest::Answer answer = colorrequest::Decide(colorrequest::Input{
        .text = text,
        .background = back,
        .hasBitmap = bitmap != nullptr,
        .controlType = nCtlType,
        .nearestColors = nearestColors,
        .opaque = opaque,
    });
    if (answer.parentDefault) {
        return nullptr;
    }
    COLORREF textColor = Resolve(answer.text);
    COLORREF backColor = Resolve(answer.background);
    if (nearestColors) {
        textColor = ::GetNearestColor(hDC, textColor);
        backColor = ::GetNearestColor(hDC, backColor);
    }
    ::SetBkMode(hDC, answer.opaqueMode ? OPAQUE : TRANSPARENT);
    ::SetTextColor(hDC, textColor);
    ::SetBkColor(hDC, backColor);
    m_brush.Reset(bitmap != nullptr ? ::CreatePatternBrush(bitmap) : ::CreateSolidBrush(backColor));
    return m_brush.Get();
}

template <typename BaseCtrl>
BOOL CColorCtrl<BaseCtrl>::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT* pResult) {
    if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) {
        return BaseCtrl::OnChildNotify(message, wParam, lParam, pResult);
    }
    HBRUSH const brush =
        CtlColor(reinterpret_cast<HDC>(wParam), static_cast<int>(message - WM_CTLCOLORMSGBOX));
    if (brush == nullptr) {
        return FALSE;
    }
    *pResult = reinterpret_cast<LRESULT>(brush);
    return TRUE;
}

template <typename BaseCtrl>
LRESULT CColorCtrl<BaseCtrl>::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam != kBlinkTimerId || m_nTimerId == 0) {
                break;
            }
            if (blinkText || blinkBackground) {
                m_nPhase ^= 1U;
                this->Invalidate(TRUE);
            }
            return 0;
        case WM_DESTROY:
            if (m_nTimerId != 0) {
                ::KillTimer(this->m_hWnd, m_nTimerId);
            }
            m_nTimerId = 0;
            m_nPhase = 0;
            break;
        case WM_CREATE: {
            const LRESULT created = BaseCtrl::WindowProc(message, wParam, lParam);
            StartBlinkTimer();
            return created;
        }
        default:
            // A colour request about this very control that reached it
            // directly, not through its parent, is answered as a reflected one.
            if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC &&
                reinterpret_cast<HWND>(lParam) == this->m_hWnd) {
                LRESULT answer = 0;
                if (OnChildNotify(message, wParam, lParam, &answer)) {
                    return answer;
                }
            }
            break;
    }
    return BaseCtrl::WindowProc(message, wParam, lParam);
}
