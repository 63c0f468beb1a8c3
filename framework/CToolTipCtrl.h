#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string_view>

#include "framework/OwnedHandle.h"

// A tooltip window that belongs to one control and is destroyed with it.
class CToolTipCtrl {
public:
    // Creates the tooltip window for the given control; style adds to TTS_ style bits.
    BOOL Create(HWND hWndOwner, DWORD dwStyle);
    BOOL IsCreated() const noexcept { return m_window.IsValid(); }

    int GetToolCount() const noexcept;
    // Adds the owner's rectangle as tool nIDTool; the tooltip follows the
    // owner's mouse messages by itself.
    BOOL AddTool(UINT_PTR nIDTool, const RECT& rect, std::wstring_view text);
    void UpdateTipText(UINT_PTR nIDTool, std::wstring_view text);
    void Activate(BOOL bActivate) const noexcept;
    void SetMaxTipWidth(int width) const noexcept;

private:
    TTTOOLINFOW ToolInfo(UINT_PTR nIDTool, std::wstring& text) const noexcept;

    UniqueWindow m_window;
    HWND m_hWndOwner = nullptr;
};
