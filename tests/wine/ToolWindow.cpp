#include "ToolWindow.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "MainDialogLayout.h"

namespace {

constexpr UINT kMessageTimeoutMs = 5000;
// The static control that carries a message box's text.
constexpr int kMessageTextId = 0xFFFF;

}  // namespace

std::optional<ToolWindow> ToolWindow::FindShown(std::wstring_view caption) {
    const std::wstring title(caption);
    // The tool's message boxes carry its caption too; they are owned by the
    // dialog, which has no owner.
    HWND dialog = nullptr;
    for (HWND found = FindWindowExW(nullptr, nullptr, nullptr, title.c_str()); found != nullptr;
         found = FindWindowExW(nullptr, found, nullptr, title.c_str())) {
        if (GetWindow(found, GW_OWNER) == nullptr) {
            dialog = found;
            break;
        }
    }
    // The dialog manager shows the window once its initialisation has run.
    if (dialog == nullptr || IsWindowVisible(dialog) == FALSE) {
        return std::nullopt;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    return ToolWindow(dialog, process);
}

HWND ToolWindow::Control(std::size_t index) const {
    const auto& wanted = main_dialog::kControls.at(index);
    std::size_t earlierWithSameId = 0;
    for (std::size_t i = 0; i < index; ++i) {
        if (main_dialog::kControls[i].id == wanted.id) {
            ++earlierWithSameId;
        }
    }
    for (HWND child = GetWindow(m_dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        // Ids are 16 bits in the resource; -1 may come back as 0xFFFF or -1.
        if ((static_cast<std::uint32_t>(GetDlgCtrlID(child)) & 0xFFFF) == wanted.id) {
            if (earlierWithSameId == 0) {
                return child;
            }
            --earlierWithSameId;
        }
    }
    return nullptr;
}

std::optional<std::wstring> ToolWindow::Text(HWND window) {
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &length) == 0) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                            reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                            kMessageTimeoutMs, &copied) == 0) {
        return std::nullopt;
    }
    return std::wstring(buffer.data(), std::min<std::size_t>(copied, length));
}

std::wstring ToolWindow::ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length > 0 ? length : 0));
}

DWORD ToolWindow::Style(HWND window) {
    return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
}

RECT ToolWindow::PlaceInDialog(HWND window) const {
    RECT place{};
    GetWindowRect(window, &place);
    MapWindowPoints(HWND_DESKTOP, m_dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

SIZE ToolWindow::ClientSize() const {
    RECT client{};
    GetClientRect(m_dialog, &client);
    return SIZE{client.right - client.left, client.bottom - client.top};
}

std::optional<int> ToolWindow::ProgressPosition(HWND progress) {
    DWORD_PTR position = 0;
    if (SendMessageTimeoutW(progress, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                            &position) == 0) {
        return std::nullopt;
    }
    return static_cast<int>(position);
}

HWND ToolWindow::OwnedMessageBox() const {
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box != nullptr;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
        if (box != m_dialog && GetWindow(box, GW_OWNER) == m_dialog) {
            return box;
        }
    }
    return nullptr;
}

std::optional<std::wstring> ToolWindow::MessageText(HWND box) {
    HWND text = GetDlgItem(box, kMessageTextId);
    return text != nullptr ? Text(text) : std::nullopt;
}
