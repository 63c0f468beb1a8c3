#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// A thin owner of one HWND. A window attached with SubclassWindow routes its
// messages through WindowProc; messages that a control sends to its parent
// about itself (colour requests, owner drawing, command notifications) are
// first offered to the control's own object through OnChildNotify, so every
// control answers for its own looks.
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const noexcept { return m_hWnd; }

    // Attaches this object to an existing window and routes its messages
    // through WindowProc. Fails when the object is attached already.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(int nID, const CWnd& parent);

    // The object attached to a window by SubclassWindow, or null.
    static CWnd* FromHandlePermanent(HWND hWnd) noexcept;

    std::wstring GetWindowTextW() const;
    void SetWindowTextW(std::wstring_view text) const;
    BOOL SetDlgItemTextW(int nID, std::wstring_view text) const;
    HWND GetDlgItem(int nID) const noexcept { return ::GetDlgItem(m_hWnd, nID); }
    HWND GetParent() const noexcept { return ::GetParent(m_hWnd); }
    RECT GetClientRect() const noexcept;
    // Without a window these do nothing: given no handle, the system would
    // repaint every window on the desktop instead.
    void Invalidate(BOOL bErase = TRUE) const noexcept {
        if (m_hWnd != nullptr) {
            ::InvalidateRect(m_hWnd, nullptr, bErase);
        }
    }
    BOOL RedrawWindow(UINT flags) const noexcept {
        return m_hWnd != nullptr && ::RedrawWindow(m_hWnd, nullptr, nullptr, flags);
    }
    BOOL IsIconic() const noexcept { return ::IsIconic(m_hWnd); }
    DWORD GetStyle() const noexcept {
        return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE));
    }
    // Replaces the style bits in remove with those in add; flags, when given,
    // go to SetWindowPos so that the frame follows the new style.
    void ModifyStyle(DWORD remove, DWORD add, UINT flags = 0) const noexcept;
    LRESULT SendMessageW(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const noexcept {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    void SetFont(HFONT font, BOOL bRedraw = TRUE) const noexcept {
        ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), MAKELPARAM(bRedraw, 0));
    }

protected:
    // Called once the object holds the window, before its messages arrive.
    virtual void PreSubclassWindow() {}

    // Handles one message; whatever a class does not handle goes to Default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // A message that this window, a control, sent to its parent about itself.
    // Returns TRUE with *pResult set when the control answered it; FALSE lets
    // the parent handle it as usual.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // The window's own procedure (the one it had before it was attached).
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam) const noexcept;

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR idSubclass, DWORD_PTR refData);
    // Finds the control a notification is about and lets it answer.
    static BOOL ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    void Detach() noexcept;
};
