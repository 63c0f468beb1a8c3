#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <utility>

#include "device/IspReport.h"

// How the HID reader thread passes one input report at a time to the window
// thread. The reader leaves a copy here, tells the window, and waits until the
// window thread has handled the report before it reads the next one: so the
// upgrade flow runs on the window thread alone, and the dock is read again only
// once its answer has been acted on. Stopping releases a waiting reader for
// good, so closing the window never waits on a report being handled.
//
// Portable on purpose: the hand-over is the same with any thread and message
// mechanism, and is checked natively under the thread sanitizer.
class ReportHandOff {
public:
    struct Report {
        device::IspReport bytes{};  // zero past length
        std::uint16_t length = 0;
        // Which opening of the device the report was read through; the window
        // thread drops reports of a device that was closed since.
        std::uint32_t openNumber = 0;
    };

    // Reader: leaves a copy of the report (at most 64 bytes are kept). False
    // once stopped: nothing was left and the reader is to end.
    bool Offer(std::span<const std::uint8_t> bytes, std::uint32_t openNumber);
    // Reader: the window could not be told, so the report is dropped.
    void Withdraw() noexcept;
    // Reader: waits until the report left last has been handled. False when
    // stopped first.
    bool WaitHandled();

    // Window thread: runs `handler` on the report the reader left, if there is
    // one, then lets the reader go on, however the handler ends.
    template <typename Handler>
    void Handle(Handler&& handler);

    // Releases the reader now and refuses every later report.
    void Stop() noexcept;

private:
    std::optional<Report> Take();
    void Handled() noexcept;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    Report m_report;
    bool m_bPending = false;
    bool m_bStopped = false;
};

template <typename Handler>
void ReportHandOff::Handle(Handler&& handler) {
    struct HandledOnExit {
        ReportHandOff& handOff;
        ~HandledOnExit() { handOff.Handled(); }
    } const handled{*this};
    if (const std::optional<Report> report = Take()) {
        std::forward<Handler>(handler)(*report);
    }
}
