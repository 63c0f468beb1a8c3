#include "controls/CGDIpInitializer.h"

#include <cwchar>

#include "controls/GdiplusUseCount.h"

namespace {
GdiplusUseCount g_gdiplusUsers;
}  // namespace

CGDIpInitializer::CGDIpInitializer(BOOL bAutomatic) : m_bAutomatic(bAutomatic) {
    if (m_bAutomatic) {
        Initialize();
    }
}

CGDIpInitializer::~CGDIpInitializer() {
    if (m_bAutomatic) {
        Deinitialize();
    }
}

void CGDIpInitializer::Initialize() {
    if (!m_bStarted) {
        wchar_t name[32] = {};
        if (std::swprintf(name, std::size(name), L"GDIPlusInitID=%x", ::GetCurrentProcessId()) >
            0) {
            m_hMap.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                              PAGE_READWRITE | SEC_COMMIT, 0, 4, name));
        }
        // A mapping that exists already means that another guard of this
        // process has started GDI+.
        if (m_hMap.IsValid() && ::GetLastError() != ERROR_ALREADY_EXISTS &&
            Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr) ==
                Gdiplus::Ok) {
            m_bStarted = TRUE;
        } else {
            m_hMap.Reset();
        }
    }
    g_gdiplusUsers.AddUser();
}

void CGDIpInitializer::Deinitialize() {
    if (g_gdiplusUsers.RemoveUser() && m_bStarted) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_hMap.Reset();
        m_bStarted = FALSE;
    }
}
