#pragma once

#include <windows.h>

#include <gdiplus.h>

#include "controls/PixelRect.h"
#include "framework/CProgressCtrl.h"

// A progress bar drawn as a lying (or, with PBS_VERTICAL, standing) glass
// cylinder: a filled segment, the rest in a lighter colour, elliptical end
// faces, a translucent highlight and the percentage across it. Each paint is
// composed off-screen with GDI+ and copied in one step, so it never flickers.
class CCylinderProgressCtrlST : public CProgressCtrl {
public:
    CCylinderProgressCtrlST();
    ~CCylinderProgressCtrlST() override = default;

    // Clamps the position to the bar's range; returns the previous position.
    int SetPosition(int nPos);
    void SetFillColor(Gdiplus::ARGB crFill, BOOL bRepaint);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    // Clears the drawing to the background colour.
    virtual DWORD DrawCylinderBackground(Gdiplus::Graphics& graphics);
    // Writes "n%" centred in the layout rectangle in the parent window's font.
    virtual DWORD DrawPercentText(Gdiplus::Graphics& graphics, int nPercent,
                                  const Gdiplus::RectF& layout);

private:
    struct SegmentLook {
        Gdiplus::ARGB fill = 0;
        bool drawStartFace = false;
        bool outlineBody = false;
        bool outlineStartFace = false;
        bool outlineEndFace = false;
    };

    void OnPaint();
    void DrawSegment(Gdiplus::Graphics& graphics, const PixelRect& segment, bool vertical,
                     const SegmentLook& look) const;

    bool transparentBackground = true;
    bool showText = true;
    bool drawOutline = true;
    Gdiplus::ARGB m_crFill = 0xFFFFD700;
    Gdiplus::ARGB m_crEmpty = 0xFFD3D3D3;
    Gdiplus::ARGB m_crBorder = 0xFF808080;
    Gdiplus::ARGB m_crBackground;
    Gdiplus::ARGB m_crText;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nRange = 100;
    int m_nPos = 0;
};
