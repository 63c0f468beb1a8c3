#include "controls/win32/CCylinderProgressCtrlST.h"

#include <commctrl.h>

#include <cwchar>

#include "controls/CylinderGeometry.h"
#include "framework/CPaintDC.h"

namespace {

Gdiplus::ARGB OpaqueSystemColor(int index) {
    const COLORREF color = ::GetSysColor(index);
    return Gdiplus::Color::MakeARGB(255, GetRValue(color), GetGValue(color), GetBValue(color));
}

Gdiplus::Rect ToGdiplus(const PixelRect& r) {
    return Gdiplus::Rect(r.x, r.y, r.width, r.height);
}

// The translucent band that gives the segment its rounded look.
constexpr Gdiplus::ARGB kHighlightFrom = 0x64808080;  // alpha 100, grey 128
constexpr Gdiplus::ARGB kHighlightTo = 0x64FFFFFF;    // alpha 100, white
constexpr Gdiplus::REAL kHighlightFocus = 0.7f;
constexpr double kStartFaceShade = 0.4;
constexpr double kEndFaceShade = 0.8;

}  // namespace

CCylinderProgressCtrlST::CCylinderProgressCtrlST()
    : m_crBackground(OpaqueSystemColor(COLOR_BTNFACE)),
      m_crText(OpaqueSystemColor(COLOR_BTNTEXT)) {}

int CCylinderProgressCtrlST::SetPosition(int nPos) {
    m_nPos = cylinder::ClampPosition(nPos, m_nLower, m_nUpper);
    return SetPos(m_nPos);
}

void CCylinderProgressCtrlST::SetFillColor(Gdiplus::ARGB crFill, BOOL bRepaint) {
    m_crFill = crFill;
    if (bRepaint) {
        Invalidate();
    }
}

LRESULT CCylinderProgressCtrlST::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_ERASEBKGND:
        case WM_NCPAINT:
            // The cylinder is composed whole in OnPaint, and there is no
            // frame: the parent's background shows around the cylinder.
            return 0;
        default:
            return CProgressCtrl::WindowProc(message, wParam, lParam);
    }
}

BOOL CCylinderProgressCtrlST::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam,
                                            LRESULT* pResult) {
    if (message < WM_CTLCOLORMSGBOX || message > WM_CTLCOLORSTATIC) {
        return CProgressCtrl::OnChildNotify(message, wParam, lParam, pResult);
    }
    *pResult = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return TRUE;
}

DWORD CCylinderProgressCtrlST::DrawCylinderBackground(Gdiplus::Graphics& graphics) {
    graphics.Clear(Gdiplus::Color(m_crBackground));
    return 0;
}

DWORD CCylinderProgressCtrlST::DrawPercentText(Gdiplus::Graphics& graphics, int nPercent,
                                               const Gdiplus::RectF& layout) {
    if (!showText) {
        return 0;
    }
    auto* const parentFont = reinterpret_cast<HFONT>(::SendMessageW(GetParent(), WM_GETFONT, 0, 0));
    LOGFONTW logFont{};
    if (parentFont == nullptr || ::GetObjectW(parentFont, sizeof(logFont), &logFont) == 0) {
        return 0;
    }
    const int dpi = static_cast<int>(graphics.GetDpiY());
    const auto points = static_cast<Gdiplus::REAL>(-::MulDiv(logFont.lfHeight, 72, dpi));
    const Gdiplus::Font font(logFont.lfFaceName, points, Gdiplus::FontStyleRegular,
                             Gdiplus::UnitPoint);
    wchar_t text[16] = {};
    if (std::swprintf(text, std::size(text), L"%d%%", nPercent) < 0) {
        return 0;
    }
    Gdiplus::StringFormat format;
    format.SetAlignment(Gdiplus::StringAlignmentCenter);
    format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    const Gdiplus::SolidBrush brush{Gdiplus::Color(m_crText)};
    graphics.DrawString(text, -1, &font, layout, &format, &brush);
    return 0;
}

void CCylinderProgressCtrlST::DrawSegment(Gdiplus::Graphics& graphics, const PixelRect& segment,
                                          bool vertical, const SegmentLook& look) const {
    const cylinder::SegmentFaces faces = cylinder::FacesOf(segment, vertical);
    const Gdiplus::Rect endFace = ToGdiplus(faces.end);
    const Gdiplus::Rect startFace = ToGdiplus(faces.start);
    const Gdiplus::Pen border{Gdiplus::Color(m_crBorder), 1.0f};

    // The body: the near half of the end face, then back along the near half
    // of the start face. Angles run clockwise from the x axis.
    Gdiplus::GraphicsPath path;
    if (vertical) {
        path.AddArc(endFace, 0.0f, 180.0f);
        path.AddArc(startFace, 180.0f, -180.0f);
    } else {
        path.AddArc(endFace, 90.0f, 180.0f);
        path.AddArc(startFace, 270.0f, -180.0f);
    }
    path.CloseFigure();
    const Gdiplus::SolidBrush fill{Gdiplus::Color(look.fill)};
    graphics.FillPath(&fill, &path);
    Gdiplus::LinearGradientBrush highlight(ToGdiplus(segment), Gdiplus::Color(kHighlightFrom),
                                           Gdiplus::Color(kHighlightTo),
                                           vertical ? -180.0f : -90.0f, FALSE);
    highlight.SetBlendBellShape(kHighlightFocus, 1.0f);
    graphics.FillPath(&highlight, &path);
    if (look.outlineBody) {
        graphics.DrawPath(&border, &path);
    }

    const auto drawFace = [&](const Gdiplus::Rect& face, double shade, bool outline) {
        const Gdiplus::SolidBrush faceFill{Gdiplus::Color(cylinder::Shade(look.fill, shade))};
        graphics.FillEllipse(&faceFill, face);
        if (outline) {
            graphics.DrawEllipse(&border, face);
        }
    };
    if (look.drawStartFace) {
        drawFace(startFace, kStartFaceShade, look.outlineStartFace);
    }
    drawFace(endFace, kEndFaceShade, look.outlineEndFace);
}

void CCylinderProgressCtrlST::OnPaint() {
    const CPaintDC dc(m_hWnd);
    const RECT client = GetClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    const bool vertical = (GetStyle() & PBS_VERTICAL) != 0;

    Gdiplus::Bitmap offscreen(width, height, PixelFormat32bppARGB);
    Gdiplus::Graphics graphics(&offscreen);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    if (!transparentBackground) {
        DrawCylinderBackground(graphics);
    }

    const int percent = cylinder::Percent(m_nPos, m_nLower, m_nRange);
    const cylinder::Layout layout = cylinder::LayOut(width, height, vertical, percent);
    DrawSegment(graphics, layout.empty, vertical,
                SegmentLook{.fill = m_crEmpty,
                            .drawStartFace = percent == 0,
                            .outlineBody = drawOutline,
                            .outlineStartFace = drawOutline,
                            .outlineEndFace = false});
    if (percent != 0) {
        DrawSegment(graphics, layout.filled, vertical,
                    SegmentLook{.fill = m_crFill,
                                .drawStartFace = false,
                                .outlineBody = drawOutline,
                                .outlineStartFace = false,
                                .outlineEndFace = drawOutline});
    }
    if (drawOutline) {
        const Gdiplus::Pen border{Gdiplus::Color(m_crBorder), 1.0f};
        graphics.DrawEllipse(&border, ToGdiplus(layout.outerEndFace));
    }
    const PixelRect& full = layout.full;
    DrawPercentText(
        graphics, percent,
        Gdiplus::RectF(static_cast<Gdiplus::REAL>(full.x), static_cast<Gdiplus::REAL>(full.y),
                       static_cast<Gdiplus::REAL>(full.width),
                       static_cast<Gdiplus::REAL>(full.height)));

    Gdiplus::Graphics window(dc.GetSafeHdc());
    window.DrawImage(&offscreen, 0, 0, width, height);
}
