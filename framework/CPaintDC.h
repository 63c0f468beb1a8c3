#pragma once

#include <windows.h>

// BeginPaint/EndPaint around one WM_PAINT.
class CPaintDC {
public:
    explicit CPaintDC(HWND hWnd) noexcept
        : m_hWnd(hWnd), m_ps{}, m_hDC(::BeginPaint(hWnd, &m_ps)) {}
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps;
    HDC m_hDC;
};
