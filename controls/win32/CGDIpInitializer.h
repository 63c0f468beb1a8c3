#pragma once

#include <windows.h>

#include <gdiplus.h>

#include "controls/GdiplusLifetimeGuard.h"
#include "framework/OwnedHandle.h"

// Keeps GDI+ running for as long as some guard of the process needs it. A
// named file mapping marks the process as started, so a second guard does not
// start GDI+ again; only the guard that started it shuts it down, and only
// when it lets go as the last user.
class CGDIpInitializer : public GdiplusLifetimeGuard {
public:
    // With bAutomatic on, Initialize runs now and Deinitialize at destruction.
    explicit CGDIpInitializer(BOOL bAutomatic = FALSE);
    ~CGDIpInitializer() override;

protected:
    Mark MarkProcess() override;
    void UnmarkProcess() noexcept override;
    bool StartGdiplus() override;
    void StopGdiplus() noexcept override;

private:
    UniqueKernelHandle m_hMap;
    BOOL m_bAutomatic;
    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
};
