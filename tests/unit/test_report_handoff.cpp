#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "device/ReportHandOff.h"

namespace {

// The window's message queue, as far as the hand-over needs one: the reader
// posts a notice, the window thread takes notices one by one.
class NoticeQueue {
public:
    void Post() {
        {
            const std::lock_guard lock(m_mutex);
            ++m_notices;
        }
        m_changed.notify_one();
    }
    void Take() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_notices > 0; });
        --m_notices;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_notices = 0;
};

device::IspReport NumberedReport(int number) {
    device::IspReport bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(number + static_cast<int>(i));
    }
    return bytes;
}

TEST(ReportHandOff, EveryReportReachesTheWindowOnceInOrderAndTheNextWaitsForTheHandler) {
    constexpr int kReports = 2000;
    ReportHandOff handOff;
    NoticeQueue window;
    std::atomic<bool> handling{false};
    std::atomic<int> readWhileHandling{0};

    std::thread reader([&] {
        for (int number = 0; number < kReports; ++number) {
            const device::IspReport bytes = NumberedReport(number);
            ASSERT_TRUE(handOff.Offer(bytes, static_cast<std::uint32_t>(number)));
            window.Post();
            ASSERT_TRUE(handOff.WaitHandled());
            if (handling.load()) {
                ++readWhileHandling;
            }
        }
    });

    std::vector<int> seen;
    for (int notice = 0; notice < kReports; ++notice) {
        window.Take();
        handOff.Handle([&](const ReportHandOff::Report& report) {
            handling = true;
            EXPECT_EQ(report.length, 64);
            EXPECT_EQ(report.bytes, NumberedReport(static_cast<int>(report.openNumber)));
            seen.push_back(static_cast<int>(report.openNumber));
            handling = false;
        });
    }
    reader.join();

    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kReports));
    for (int number = 0; number < kReports; ++number) {
        EXPECT_EQ(seen[static_cast<std::size_t>(number)], number);
    }
    EXPECT_EQ(readWhileHandling.load(), 0);
}

TEST(ReportHandOff, StopReleasesAReaderWaitingForItsReport) {
    ReportHandOff handOff;
    ASSERT_TRUE(handOff.Offer(NumberedReport(1), 7));
    bool released = true;
    std::thread reader([&] { released = handOff.WaitHandled(); });
    handOff.Stop();
    reader.join();
    EXPECT_FALSE(released);
}

TEST(ReportHandOff, StopWhileTheWindowHandlesAReportReleasesTheReader) {
    ReportHandOff handOff;
    ASSERT_TRUE(handOff.Offer(NumberedReport(2), 1));
    bool released = true;
    std::thread reader([&] { released = handOff.WaitHandled(); });
    int calls = 0;
    handOff.Handle([&](const ReportHandOff::Report&) {
        ++calls;
        // The window closes from inside a handler (a nested message loop).
        handOff.Stop();
        reader.join();
    });
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(released);
}

TEST(ReportHandOff, AfterStopNothingIsOfferedOrHandled) {
    ReportHandOff handOff;
    handOff.Stop();
    EXPECT_FALSE(handOff.Offer(NumberedReport(3), 1));
    int calls = 0;
    handOff.Handle([&](const ReportHandOff::Report&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(handOff.WaitHandled());
}

TEST(ReportHandOff, AWithdrawnReportIsNotHandledAndReleasesTheReader) {
    ReportHandOff handOff;
    ASSERT_TRUE(handOff.Offer(NumberedReport(4), 1));
    handOff.Withdraw();
    int calls = 0;
    handOff.Handle([&](const ReportHandOff::Report&) { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(handOff.WaitHandled());
}

TEST(ReportHandOff, ANoticeWithoutAReportRunsNothing) {
    ReportHandOff handOff;
    int calls = 0;
    handOff.Handle([&](const ReportHandOff::Report&) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(ReportHandOff, AReportIsHandledOnceEvenWhenNoticedTwice) {
    ReportHandOff handOff;
    ASSERT_TRUE(handOff.Offer(NumberedReport(5), 1));
    int calls = 0;
    handOff.Handle([&](const ReportHandOff::Report&) { ++calls; });
    handOff.Handle([&](const ReportHandOff::Report&) { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(ReportHandOff, AHandlerThatFailsStillReleasesTheReader) {
    ReportHandOff handOff;
    ASSERT_TRUE(handOff.Offer(NumberedReport(6), 1));
    EXPECT_THROW(handOff.Handle([](const ReportHandOff::Report&) {
        throw std::runtime_error("handler failed");
    }),
                 std::runtime_error);
    EXPECT_TRUE(handOff.WaitHandled());
}

TEST(ReportHandOff, KeepsAtMostOneReportsWorthAndZeroesWhatFollowsTheLength) {
    ReportHandOff handOff;
    std::vector<std::uint8_t> longReport(100, 0xAB);
    ASSERT_TRUE(handOff.Offer(longReport, 1));
    handOff.Handle([](const ReportHandOff::Report& report) {
        EXPECT_EQ(report.length, 64);
        for (const std::uint8_t byte : report.bytes) {
            EXPECT_EQ(byte, 0xAB);
        }
    });

    ASSERT_TRUE(handOff.Offer(NumberedReport(9), 1));
    handOff.Handle([](const ReportHandOff::Report&) {});
    const std::vector<std::uint8_t> shortReport{0x02, 0x07, 0xFE};
    ASSERT_TRUE(handOff.Offer(shortReport, 2));
    handOff.Handle([](const ReportHandOff::Report& report) {
        EXPECT_EQ(report.length, 3);
        EXPECT_EQ(report.openNumber, 2U);
        EXPECT_EQ(report.bytes[2], 0xFE);
        for (std::size_t i = 3; i < report.bytes.size(); ++i) {
            EXPECT_EQ(report.bytes[i], 0) << "byte " << i;
        }
    });
}

}  // namespace
