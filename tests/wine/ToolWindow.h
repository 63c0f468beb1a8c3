#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The tool's dialog seen from another process: its controls, their texts,
// states and places. Texts travel by WM_GETTEXT, which the system marshals
// across processes; a hung tool gives up after a few seconds instead of
// hanging the probe.
class ToolWindow {
public:
    ToolWindow(HWND dialog, HANDLE process) : m_dialog(dialog), m_process(process) {}

    // The shown top-level window with this caption, if there is one now.
    static std::optional<ToolWindow> FindShown(std::wstring_view caption);

    HWND Dialog() const { return m_dialog; }
    HANDLE Process() const { return m_process.get(); }
    bool Exists() const { return IsWindow(m_dialog) != FALSE; }

    // The control of the expected layout with this index: the n-th child
    // window with its id, n counting the earlier controls with the same id.
    HWND Control(std::size_t index) const;

    static std::optional<std::wstring> Text(HWND window);
    // The position of a progress bar; nullopt when the tool does not answer.
    static std::optional<int> ProgressPosition(HWND progress);
    // A message box the tool shows over its dialog: a window of the system's
    // dialog class owned by the dialog. Null when there is none.
    HWND OwnedMessageBox() const;
    // The text a message box shows.
    static std::optional<std::wstring> MessageText(HWND box);
    static std::wstring ClassName(HWND window);
    static DWORD Style(HWND window);
    // The window's rectangle in the dialog's client coordinates.
    RECT PlaceInDialog(HWND window) const;
    SIZE ClientSize() const;

private:
    struct HandleCloser {
        void operator()(HANDLE handle) const { CloseHandle(handle); }
    };

    HWND m_dialog;
    std::unique_ptr<void, HandleCloser> m_process;  // null when the process could not be opened
};
