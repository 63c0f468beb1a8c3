#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "testbed/sim/SimTypes.h"

// Tells the tool's window of the dock's arrivals and removals, as the system
// tells a window registered for HID interface notices: WM_DEVICECHANGE with
// DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE and a
// DEV_BROADCAST_DEVICEINTERFACE_W naming the interface's device path. The
// message is sent, not posted (it carries a pointer; Wine copies the notice
// into the receiving process for a sent WM_DEVICECHANGE only).
//
// Sending waits for the window's thread, which may itself be waiting for
// docksim (an enumeration asks for the interface listing), so the notices go
// out from a thread of their own, in the order they were announced.
class DeviceNotifier {
public:
    // The windows told are the top-level, unowned ones with this caption; a
    // message box of the tool may carry the same caption and is left out.
    explicit DeviceNotifier(std::wstring caption);
    ~DeviceNotifier();
    DeviceNotifier(const DeviceNotifier&) = delete;
    DeviceNotifier& operator=(const DeviceNotifier&) = delete;

    // Starts the thread. A notice announced with a non-zero ticket is
    // reported, once it has gone out, as a packet to `port` under `doneKey`
    // whose byte count is the ticket.
    void Start(HANDLE port, ULONG_PTR doneKey);
    void Announce(const sim::BusEvent& event, std::uint32_t ticket);

private:
    struct Notice {
        sim::BusEvent event;
        std::uint32_t ticket = 0;
    };

    void Run() noexcept;
    // The number of windows that took the notice.
    unsigned Deliver(const sim::BusEvent& event) const;

    std::wstring m_caption;
    HANDLE m_port = nullptr;
    ULONG_PTR m_doneKey = 0;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Notice> m_notices;
    bool m_stopping = false;
    std::thread m_thread;
};
