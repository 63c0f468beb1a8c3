#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>

#include "device/ReportHandOff.h"
#include "tests/support/FlowHarness.h"

namespace {

// The dialog's two threads over the simulated dock, arranged as the Win32
// link arranges them: a reader thread takes each answer of the dock, leaves
// it in the report hand-over, posts a notice to the window and waits until
// the window thread has handled the report before it reads the next one. The
// test's own thread is the window thread: it takes the posted notices in
// order and runs the flow's handlers, timers included.
//
// The simulated link is single-threaded, so one lock stands in for the
// device driver's own: the reader holds it while it takes the next answer and
// posts its notice, the window thread while it handles a device notice or a
// timer (the reader may be looking at the link meanwhile). An answer itself
// is handled without that lock: only the hand-over keeps the reader off the
// link while the flow answers the dock, as it does in the product; a
// hand-over that let the reader go early shows as a race on the link under the
// thread sanitizer.
//
// Device notices come through the same queue, in the order the dock produced
// them; they go to the window at once and are not waited for.
class ReaderThreadRig {
public:
    explicit ReaderThreadRig(FlowHarness& harness)
        : m_harness(harness), m_reader([this] { ReaderLoop(); }) {}
    ~ReaderThreadRig() { Stop(); }
    ReaderThreadRig(const ReaderThreadRig&) = delete;
    ReaderThreadRig& operator=(const ReaderThreadRig&) = delete;

    // Window thread: runs a handler of the dialog that may write to the dock.
    template <typename Handler>
    void OnWindowThread(Handler&& handler) {
        const std::lock_guard lock(m_mutex);
        std::forward<Handler>(handler)();
        LinkChanged();
    }

    // Window thread: handles what the reader posts until the dock has nothing
    // more to say. With `fireTimers`, the virtual clock then moves on to the
    // next timer and fires it, until no timer is left.
    void RunWindow(bool fireTimers) {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return !m_notices.empty() || m_bReaderIdle; });
            if (!m_notices.empty()) {
                const SimHidLink::Delivery notice = std::move(m_notices.front());
                m_notices.pop_front();
                Dispatch(notice, lock);
                continue;
            }
            if (!fireTimers || m_timersFired == kTimerLimit || !m_harness.FireNextTimer()) {
                return;
            }
            ++m_timersFired;
            LinkChanged();
        }
    }

    // Ends the reader, wherever it waits.
    void Stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_bStopping = true;
        }
        m_changed.notify_all();
        m_handOff.Stop();
        if (m_reader.joinable()) {
            m_reader.join();
        }
    }

    std::size_t ReportsHandled() const { return m_reportsHandled; }
    int ReadsWhileHandling() const { return m_readsWhileHandling.load(); }

private:
    static constexpr int kTimerLimit = 1000;

    void ReaderLoop() {
        for (;;) {
            SimHidLink::Delivery next;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] {
                    if (m_bStopping) {
                        return true;
                    }
                    std::optional<SimHidLink::Delivery> taken = m_harness.link.TakeNext();
                    if (!taken) {
                        // Looked after the window's last change, and found nothing.
                        m_bReaderIdle = true;
                        m_changed.notify_all();
                        return false;
                    }
                    next = std::move(*taken);
                    return true;
                });
                m_bReaderIdle = false;
                if (m_bStopping) {
                    return;
                }
                if (m_bHandling.load()) {
                    ++m_readsWhileHandling;
                }
                if (next.kind == SimHidLink::Delivery::Kind::Report &&
                    !m_handOff.Offer(std::span(next.bytes.data(), next.length), kOpenNumber)) {
                    return;
                }
                m_notices.push_back(next);
                m_changed.notify_all();
            }
            if (next.kind == SimHidLink::Delivery::Kind::Report && !m_handOff.WaitHandled()) {
                return;
            }
        }
    }

    void Dispatch(const SimHidLink::Delivery& notice, std::unique_lock<std::mutex>& lock) {
        switch (notice.kind) {
            case SimHidLink::Delivery::Kind::Report:
                lock.unlock();
                m_handOff.Handle([this](const ReportHandOff::Report& report) {
                    m_bHandling = true;
                    m_harness.flow.OnIspReport(std::span(report.bytes.data(), report.length));
                    ++m_reportsHandled;
                    m_bHandling = false;
                });
                lock.lock();
                LinkChanged();
                break;
            case SimHidLink::Delivery::Kind::Removed:
                m_harness.flow.OnHidRemoval(notice.path);
                LinkChanged();
                break;
            case SimHidLink::Delivery::Kind::Arrived:
                m_harness.flow.OnHidArrival();
                LinkChanged();
                break;
        }
    }

    // With the lock held: the window thread touched the link, so whatever
    // the reader found before is out of date.
    void LinkChanged() {
        m_bReaderIdle = false;
        m_changed.notify_all();
    }

    // The simulated link has no openings to tell apart.
    static constexpr std::uint32_t kOpenNumber = 1;

    FlowHarness& m_harness;
    ReportHandOff m_handOff;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<SimHidLink::Delivery> m_notices;
    // The reader looked at the link after its last change and found nothing.
    bool m_bReaderIdle = false;
    bool m_bStopping = false;

    // Window thread only.
    std::size_t m_reportsHandled = 0;
    int m_timersFired = 0;

    std::atomic<bool> m_bHandling{false};
    std::atomic<int> m_readsWhileHandling{0};

    // Last: the reader starts once everything it uses is in place.
    std::thread m_reader;
};

// The same run with every answer handed over by the test's own pump, as the
// other flow tests run it: the reference for the threaded run.
void RunPumped(FlowHarness& h) {
    h.Scan();
    ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton));
    h.flow.OnStartUpgrade();
    h.Pump();
    h.FireTimersDueBy(std::numeric_limits<unsigned>::max());
    h.PowerReset();
    h.Pump();
    h.FireTimersDueBy(std::numeric_limits<unsigned>::max());
}

}  // namespace

TEST(FlowOverReaderThread, CompleteRunOfAllThreeChipsPasses) {
    FlowHarness h;
    ASSERT_TRUE(h.package.identity.m_bPackageLoaded);
    {
        ReaderThreadRig rig(h);
        rig.OnWindowThread([&] { h.flow.OnScanDevices(); });
        rig.RunWindow(false);
        ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kStartButton));
        rig.OnWindowThread([&] { h.flow.OnStartUpgrade(); });
        // Through chip 1, chip 2, the restart into the bootloader and chip 3.
        rig.RunWindow(true);
        // The power reset the user is asked for, and the check that follows it.
        rig.OnWindowThread([&] { h.PowerReset(); });
        rig.RunWindow(true);
        rig.Stop();

        EXPECT_EQ(rig.ReadsWhileHandling(), 0) << "the reader read before an answer was handled";
        // Every data packet of the four images was answered and handled.
        EXPECT_GT(rig.ReportsHandled(), 2703U + 139U + 4444U + 303U);
    }

    EXPECT_EQ(h.surface.messages, std::vector<std::wstring>{L"Please, power reset device! "});
    EXPECT_EQ(h.surface.looks.back(), ResultLook::Pass);
    EXPECT_TRUE(h.dock.ProtocolErrors().empty()) << h.dock.ProtocolErrors().front();
    EXPECT_EQ(h.dock.Chip1Contents(), package::SampleImages::Image(4));
    ASSERT_EQ(h.dock.Chip2Files().size(), 2U);
    EXPECT_EQ(h.dock.Chip2Files()[0], package::SampleImages::Image(1));
    EXPECT_EQ(h.dock.Chip2Files()[1], package::SampleImages::Image(2));
    EXPECT_TRUE(std::ranges::equal(h.dock.Chip3Written(), package::SampleImages::Image(0)));
    EXPECT_EQ(h.flow.Step(), IspStep::Idle);
    EXPECT_EQ(h.surface.Lines().back(), L"Engineer file version!");
    EXPECT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton));

    // The threads change nothing of what the dock receives or the user sees.
    FlowHarness pumped;
    RunPumped(pumped);
    EXPECT_TRUE(h.dock.Received() == pumped.dock.Received());
    EXPECT_EQ(h.surface.Lines(), pumped.surface.Lines());
    EXPECT_EQ(h.surface.records.size(), pumped.surface.records.size());
    EXPECT_EQ(h.surface.looks, pumped.surface.looks);
    EXPECT_EQ(h.surface.pauses, pumped.surface.pauses);
}
