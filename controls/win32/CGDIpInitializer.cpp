#include "controls/win32/CGDIpInitializer.h"

#include <cwchar>

#include "controls/GdiplusUseCount.h"

namespace {
// The guards of this process that have asked for GDI+.
GdiplusUseCount g_gdiplusUsers;
}  // namespace

CGDIpInitializer::CGDIpInitializer(BOOL bAutomatic)
    : GdiplusLifetimeGuard(g_gdiplusUsers), m_bAutomatic(bAutomatic) {
    if (m_bAutomatic) {
        Initialize();
    }
}

CGDIpInitializer::~CGDIpInitializer() {
    if (m_bAutomatic) {
        Deinitialize();
    }
}

GdiplusLifetimeGuard::Mark CGDIpInitializer::MarkProcess() {
    wchar_t name[32] = {};
    if (std::swprintf(name, std::size(name), L"GDIPlusInitID=%x", ::GetCurrentProcessId()) <= 0) {
        return Mark::Failed;
    }
    HANDLE const mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                                PAGE_READWRITE | SEC_COMMIT, 0, 4, name);
    const DWORD error = ::GetLastError();
    if (mapping == nullptr) {
        return Mark::Failed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        return Mark::Existing;
    }
    m_hMap.Reset(mapping);
    return Mark::Made;
}

void CGDIpInitializer::UnmarkProcess() noexcept {
    m_hMap.Reset();
}

bool CGDIpInitializer::StartGdiplus() {
    return Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr) == Gdiplus::Ok;
}

void CGDIpInitializer::StopGdiplus() noexcept {
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
}
