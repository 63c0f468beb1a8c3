#include "testbed/rig/docksim/DeviceNotifier.h"

#include <dbt.h>

#include <cstddef>
#include <cstdio>
#include <exception>
#include <utility>
#include <vector>

#include "testbed/rig/channel/HidClass.h"
#include "testbed/rig/channel/TextConversion.h"

namespace {

// A window that does not take a notice within this time is hung; the notice
// is lost for it, as it would be on a real machine.
constexpr UINT kNoticeTimeoutMs = 5000;

}  // namespace

DeviceNotifier::DeviceNotifier(std::wstring caption) : m_caption(std::move(caption)) {}

DeviceNotifier::~DeviceNotifier() {
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void DeviceNotifier::Start(HANDLE port, ULONG_PTR doneKey) {
    m_port = port;
    m_doneKey = doneKey;
    m_thread = std::thread(&DeviceNotifier::Run, this);
}

void DeviceNotifier::Announce(const sim::BusEvent& event, std::uint32_t ticket) {
    {
        const std::lock_guard lock(m_lock);
        m_notices.push_back(Notice{.event = event, .ticket = ticket});
    }
    m_wake.notify_one();
}

// Notices announced before the stop still go out, so the last word a window
// hears matches what docksim did.
void DeviceNotifier::Run() noexcept {
    try {
        for (;;) {
            Notice notice;
            {
                std::unique_lock lock(m_lock);
                m_wake.wait(lock, [this] { return m_stopping || !m_notices.empty(); });
                if (m_notices.empty()) {
                    return;
                }
                notice = std::move(m_notices.front());
                m_notices.pop_front();
            }
            const unsigned told = Deliver(notice.event);
            std::printf("docksim: %s of %s told to %u window(s)\n",
                        notice.event.kind == sim::BusEventKind::Arrived ? "arrival" : "removal",
                        rig::ToUtf8(notice.event.path).c_str(), told);
            std::fflush(stdout);
            if (notice.ticket != 0) {
                ::PostQueuedCompletionStatus(m_port, notice.ticket, m_doneKey, nullptr);
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "docksim: notices stopped: %s\n", failure.what());
    }
}

unsigned DeviceNotifier::Deliver(const sim::BusEvent& event) const {
    const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) +
                             (event.path.size() + 1) * sizeof(wchar_t);
    // DWORD elements give the notice its alignment.
    std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* const notice = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(storage.data());
    notice->dbcc_size = static_cast<DWORD>(size);
    notice->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    notice->dbcc_classguid = rig::kHidInterfaceClass;
    event.path.copy(notice->dbcc_name, event.path.size());

    const WPARAM kind =
        event.kind == sim::BusEventKind::Arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    unsigned told = 0;
    for (HWND window = ::FindWindowExW(nullptr, nullptr, nullptr, m_caption.c_str());
         window != nullptr; window = ::FindWindowExW(nullptr, window, nullptr, m_caption.c_str())) {
        if (::GetWindow(window, GW_OWNER) != nullptr) {
            continue;
        }
        DWORD_PTR result = 0;
        if (::SendMessageTimeoutW(window, WM_DEVICECHANGE, kind, reinterpret_cast<LPARAM>(notice),
                                  SMTO_ABORTIFHUNG, kNoticeTimeoutMs, &result) != 0) {
            ++told;
        }
    }
    return told;
}
