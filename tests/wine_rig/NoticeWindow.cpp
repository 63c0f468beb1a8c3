#include "NoticeWindow.h"

#include <dbt.h>

#include <chrono>
#include <cstddef>
#include <cwchar>
#include <exception>

namespace {

constexpr wchar_t kClassName[] = L"KrRigNoticeWindow";

}  // namespace

NoticeWindow::NoticeWindow(std::wstring caption) : m_caption(std::move(caption)) {
    m_thread = std::thread(&NoticeWindow::Run, this);
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_started; });
}

NoticeWindow::~NoticeWindow() {
    if (m_window != nullptr) {
        ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    }
    m_thread.join();
}

std::vector<NoticeWindow::Notice> NoticeWindow::WaitForNotices(std::size_t count, DWORD waitMs) {
    std::unique_lock lock(m_lock);
    m_changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                       [&] { return m_notices.size() >= count; });
    return m_notices;
}

void NoticeWindow::Run() noexcept {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &NoticeWindow::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, kClassName, m_caption.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                    200, 100, nullptr, nullptr, windowClass.hInstance, this);
    {
        const std::lock_guard lock(m_lock);
        m_window = window;
        m_started = true;
    }
    m_changed.notify_all();
    MSG message;
    while (window != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK NoticeWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* const self = reinterpret_cast<NoticeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_DEVICECHANGE:
            if (self != nullptr) {
                self->Keep(wParam, lParam);
            }
            return TRUE;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void NoticeWindow::Keep(WPARAM kind, LPARAM notice) noexcept {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(notice);
    constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size <= kNameOffset) {
        return;
    }
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    const std::size_t room = (header->dbch_size - kNameOffset) / sizeof(wchar_t);
    try {
        {
            const std::lock_guard lock(m_lock);
            m_notices.push_back(Notice{
                .kind = kind,
                .name = std::wstring(device->dbcc_name, ::wcsnlen(device->dbcc_name, room))});
        }
        m_changed.notify_all();
    } catch (const std::exception&) {
        // A notice that cannot be kept is missing from the list; the case fails on that.
    }
}
