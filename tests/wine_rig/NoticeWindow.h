#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A top-level window, on a thread of its own that pumps its messages, that
// keeps every device-interface notice it receives, as the tool's dialog
// receives them. The test's own thread stays free to wait for docksim.
class NoticeWindow {
public:
    struct Notice {
        WPARAM kind = 0;  // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
        std::wstring name;
    };

    explicit NoticeWindow(std::wstring caption);
    ~NoticeWindow();
    NoticeWindow(const NoticeWindow&) = delete;
    NoticeWindow& operator=(const NoticeWindow&) = delete;

    bool Exists() const { return m_window != nullptr; }
    // Every notice so far, once there are at least `count` or `waitMs` has passed.
    std::vector<Notice> WaitForNotices(std::size_t count, DWORD waitMs);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    void Run() noexcept;
    void Keep(WPARAM kind, LPARAM notice) noexcept;

    std::wstring m_caption;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_started = false;
    HWND m_window = nullptr;
    std::vector<Notice> m_notices;
    std::thread m_thread;
};
