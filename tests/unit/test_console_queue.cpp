#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/log/ConsoleQueue.h"

namespace {

// A console nobody reads: each write blocks until the test opens the gate.
// Held by the writer too: a write may still be under way when a test ends.
struct StuckConsole : std::enable_shared_from_this<StuckConsole> {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::vector<std::wstring> written;

    ConsoleQueue::Writer Writer() {
        return [self = shared_from_this()](const std::wstring& line) {
            std::unique_lock lock(self->mutex);
            self->opened.wait(lock, [&self] { return self->open; });
            self->written.push_back(line);
        };
    }
    void Open() {
        const std::lock_guard lock(mutex);
        open = true;
        opened.notify_all();
    }
};

}  // namespace

TEST(ConsoleQueue, AConsoleNobodyReadsNeverHoldsUpTheFlow) {
    const auto stuck = std::make_shared<StuckConsole>();
    StuckConsole& console = *stuck;
    constexpr std::size_t kCapacity = 4;
    {
        ConsoleQueue queue(console.Writer(), kCapacity, std::chrono::milliseconds(5000));
        // The writer takes at most one line into its stuck write; the rest
        // fill the queue, and what comes after is dropped at once.
        std::size_t queued = 0;
        for (int i = 0; i < 20; ++i) {
            queued += queue.Post(L"line " + std::to_wstring(i)) ? 1 : 0;
        }
        EXPECT_GE(queued, kCapacity);
        EXPECT_LE(queued, kCapacity + 1);
        EXPECT_FALSE(queue.PostAndWait(L"device=E116", std::chrono::milliseconds(20)))
            << "a line for scripts waits only so long";

        console.Open();
        EXPECT_TRUE(queue.PostAndWait(L"status=written", std::chrono::milliseconds(5000)));
    }
    // Written in order, the dropped ones missing, the script's line last.
    const std::lock_guard lock(console.mutex);
    ASSERT_FALSE(console.written.empty());
    EXPECT_EQ(console.written.front(), L"line 0");
    EXPECT_EQ(console.written.back(), L"status=written");
}

TEST(ConsoleQueue, EndingWithAWriteThatNeverReturnsTakesOnlyTheDrainTime) {
    const auto stuck = std::make_shared<StuckConsole>();
    StuckConsole& console = *stuck;
    {
        ConsoleQueue queue(console.Writer(), 4, std::chrono::milliseconds(10));
        EXPECT_TRUE(queue.Post(L"stuck"));
        EXPECT_TRUE(queue.Post(L"behind it"));
    }
    // The queue is gone at the end of its drain time, its write still stuck:
    // nothing was written. Its thread ends with the process, or here once
    // the console is read.
    {
        const std::lock_guard lock(console.mutex);
        EXPECT_TRUE(console.written.empty());
    }
    console.Open();
}
