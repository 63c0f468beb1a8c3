#include "framework/CToolTipCtrl.h"

#include <string>

BOOL CToolTipCtrl::Create(HWND hWndOwner, DWORD dwStyle) {
    m_hWndOwner = hWndOwner;
    m_window.Reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | dwStyle,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                     hWndOwner, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    return m_window.IsValid();
}

int CToolTipCtrl::GetToolCount() const noexcept {
    return static_cast<int>(::SendMessageW(m_window.Get(), TTM_GETTOOLCOUNT, 0, 0));
}

TTTOOLINFOW CToolTipCtrl::ToolInfo(UINT_PTR nIDTool, std::wstring& text) const noexcept {
    TTTOOLINFOW info{};
    info.cbSize = sizeof(info);
    // The tooltip subclasses the owner to see its mouse messages.
    info.uFlags = TTF_SUBCLASS;
    info.hwnd = m_hWndOwner;
    info.uId = nIDTool;
    info.lpszText = text.data();
    return info;
}

BOOL CToolTipCtrl::AddTool(UINT_PTR nIDTool, const RECT& rect, std::wstring_view text) {
    std::wstring terminated(text);
    TTTOOLINFOW info = ToolInfo(nIDTool, terminated);
    info.rect = rect;
    return static_cast<BOOL>(
        ::SendMessageW(m_window.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)));
}

void CToolTipCtrl::UpdateTipText(UINT_PTR nIDTool, std::wstring_view text) {
    std::wstring terminated(text);
    const TTTOOLINFOW info = ToolInfo(nIDTool, terminated);
    ::SendMessageW(m_window.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
}

void CToolTipCtrl::Activate(BOOL bActivate) const noexcept {
    ::SendMessageW(m_window.Get(), TTM_ACTIVATE, static_cast<WPARAM>(bActivate), 0);
}

void CToolTipCtrl::SetMaxTipWidth(int width) const noexcept {
    ::SendMessageW(m_window.Get(), TTM_SETMAXTIPWIDTH, 0, width);
}
