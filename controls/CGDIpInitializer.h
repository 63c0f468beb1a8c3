#pragma once

#include <windows.h>

#include <gdiplus.h>

#include "framework/OwnedHandle.h"

// Keeps GDI+ running for as long as some guard of the process needs it. A
// named file mapping marks the process as started, so a second guard does not
// start GDI+ again; only the guard that started it shuts it down, and only
// when it lets go as the last user.
class CGDIpInitializer {
public:
    // With bAutomatic on, Initialize runs now and Deinitialize at destruction.
    explicit CGDIpInitializer(BOOL bAutomatic = FALSE);
    ~CGDIpInitializer();
    CGDIpInitializer(const CGDIpInitializer&) = delete;
    CGDIpInitializer& operator=(const CGDIpInitializer&) = delete;

    void Initialize();
    void Deinitialize();

private:
    UniqueKernelHandle m_hMap;
    BOOL m_bStarted = FALSE;
    BOOL m_bAutomatic;
    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
};
