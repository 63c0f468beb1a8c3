#pragma once

#include <windows.h>

// GetDC/ReleaseDC: the client area's device context of a window, or of the
// screen when the window is null.
class CClientDC {
public:
    explicit CClientDC(HWND hWnd) noexcept : m_hWnd(hWnd), m_hDC(::GetDC(hWnd)) {}
    ~CClientDC() {
        if (m_hDC != nullptr) {
            ::ReleaseDC(m_hWnd, m_hDC);
        }
    }
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;

    HDC GetSafeHdc() const noexcept { return m_hDC; }

private:
    HWND m_hWnd;
    HDC m_hDC;
};
