#pragma once

#include <windows.h>

// Selects a GDI object into a device context and puts the previous one back
// when the scope ends, so no object is deleted while still selected.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept
        : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~ScopedSelectObject() {
        if (m_previous != nullptr && m_previous != HGDI_ERROR) {
            ::SelectObject(m_dc, m_previous);
        }
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};
