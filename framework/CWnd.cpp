#include "framework/CWnd.h"

#include <commctrl.h>

namespace {

// One subclass id for every window this framework attaches; the reference
// data carries the CWnd to the subclass procedure, and a window property
// carries it to whoever holds only the window handle.
constexpr UINT_PTR kSubclassId = 1;
constexpr const wchar_t* kObjectProperty = L"KrEFM8SwUpgrade.CWnd";

bool IsColorRequest(UINT message) noexcept {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// The control that a parent notification is about, if the message names one.
HWND NotifyingControl(UINT message, LPARAM lParam) noexcept {
    if (IsColorRequest(message)) {
        return reinterpret_cast<HWND>(lParam);
    }
    if (message == WM_COMMAND) {
        // Menus and accelerators have no control window.
        return reinterpret_cast<HWND>(lParam);
    }
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item != nullptr && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    return nullptr;
}

}  // namespace

CWnd::~CWnd() {
    Detach();
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (m_hWnd != nullptr || hWnd == nullptr) {
        return FALSE;
    }
    m_hWnd = hWnd;
    PreSubclassWindow();
    if (!::SetPropW(hWnd, kObjectProperty, this)) {
        m_hWnd = nullptr;
        return FALSE;
    }
    if (!::SetWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this))) {
        ::RemovePropW(hWnd, kObjectProperty);
        m_hWnd = nullptr;
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(int nID, const CWnd& parent) {
    return SubclassWindow(parent.GetDlgItem(nID));
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) noexcept {
    return hWnd == nullptr ? nullptr : static_cast<CWnd*>(::GetPropW(hWnd, kObjectProperty));
}

std::wstring CWnd::GetWindowTextW() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void CWnd::SetWindowTextW(std::wstring_view text) const {
    const std::wstring terminated(text);
    ::SetWindowTextW(m_hWnd, terminated.c_str());
}

BOOL CWnd::SetDlgItemTextW(int nID, std::wstring_view text) const {
    const std::wstring terminated(text);
    return ::SetDlgItemTextW(m_hWnd, nID, terminated.c_str());
}

RECT CWnd::GetClientRect() const noexcept {
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

void CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) const noexcept {
    const DWORD style = GetStyle();
    const DWORD newStyle = (style & ~remove) | add;
    if (style != newStyle) {
        ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>(newStyle));
    }
    if (flags != 0) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return Default(message, wParam, lParam);
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    static_cast<void>(message);
    static_cast<void>(wParam);
    static_cast<void>(lParam);
    static_cast<void>(pResult);
    return FALSE;
}

LRESULT CWnd::Default(UINT message, WPARAM wParam, LPARAM lParam) const noexcept {
    return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    CWnd* const child = FromHandlePermanent(NotifyingControl(message, lParam));
    return child != nullptr && child->OnChildNotify(message, wParam, lParam, pResult);
}

void CWnd::Detach() noexcept {
    if (m_hWnd != nullptr) {
        ::RemoveWindowSubclass(m_hWnd, &CWnd::SubclassProc, kSubclassId);
        ::RemovePropW(m_hWnd, kObjectProperty);
        m_hWnd = nullptr;
    }
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR idSubclass, DWORD_PTR refData) {
    static_cast<void>(idSubclass);
    auto* const self = reinterpret_cast<CWnd*>(refData);
    LRESULT result = 0;
    try {
        if (ReflectToChild(message, wParam, lParam, &result)) {
            return result;
        }
        result = self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind into the system's code: a handler that
        // failed (in practice, ran out of memory) leaves the message to the
        // window's own procedure.
        result = ::DefSubclassProc(hWnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        self->Detach();
    }
    return result;
}
