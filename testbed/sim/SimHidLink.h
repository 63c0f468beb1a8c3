#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "device/HidLink.h"
#include "testbed/sim/DockSimulator.h"
#include "testbed/sim/TraceReplay.h"

// The HID link over the dock simulator, for native tests. Nothing runs on its
// own: each written report reaches the simulator at once, and what comes
// back (answers, removal and arrival notices) waits in one queue until the
// test takes it with TakeNext() and hands it to the flow. So a whole update
// runs deterministically, without threads or sleeps.
//
// It keeps the real link's rules: an answer is delivered only while a read is
// outstanding (the device open, its read handle valid and the reader woken
// after the open), carries the interface's input report length (at most 64
// bytes), and dies with the handle that read it. Removal and arrival notices
// come through the window, not the reader, so they are never held back.
class SimHidLink final : public HidLink {
public:
    struct Delivery {
        enum class Kind { Report, Removed, Arrived };
        Kind kind = Kind::Report;
        device::IspReport bytes{};  // a report: zero past `length`
        std::uint16_t length = 0;
        std::wstring path;  // a notice: the interface it is about
        // How long after the report that caused it the dock gave it.
        unsigned afterMs = 0;
    };

    // The simulated link needs no threads: they count as started, and a test
    // clears the flag to play a failed start.
    explicit SimHidLink(sim::DockSimulator& dock);

    bool OpenDevice(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) override;
    void CloseDevice() override;
    bool WriteReport(const device::IspReport& report) override;
    void WakeReader() override;

    // The next thing the flow receives, in the order the dock produced it.
    std::optional<Delivery> TakeNext();
    std::size_t Pending() const { return m_pending.size(); }
    bool Reading() const { return m_reading; }

    // The technician pulls or plugs the cable.
    void Unplug();
    void Plug();

    // From now on the dock's side of `replay` answers each report written,
    // in place of the simulator's; the simulator's dock still leaves and
    // comes back where the trace says it did.
    void PlayTrace(sim::TraceReplay* replay) { m_replay = replay; }

private:
    void Queue(const sim::Reaction& reaction);
    void QueueEvents(const std::vector<sim::BusEvent>& events);
    void QueueReplayed(const sim::ReplayedAnswer& replayed);

    sim::DockSimulator& m_dock;
    sim::TraceReplay* m_replay = nullptr;
    std::deque<Delivery> m_pending;

    // The interface opened last, and the dock's arrival it was opened in: a
    // handle from before a re-plug no longer reaches the device.
    sim::SimInterface m_opened;
    std::uint32_t m_openedArrival = 0;
    bool m_readHandle = false;
    bool m_writeHandle = false;
    bool m_reading = false;
    std::uint16_t m_wInputReportLength = 0;
    std::uint16_t m_wOutputReportLength = 0;
};
