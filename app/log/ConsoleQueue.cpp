#include "app/log/ConsoleQueue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

// Kept alive by the queue and its thread, whichever ends last.
struct ConsoleQueue::Shared {
    Writer writer;
    std::size_t capacity = 0;
    std::chrono::milliseconds drainTimeout{0};
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::wstring> lines;
    std::uint64_t queued = 0;   // lines ever queued
    std::uint64_t written = 0;  // lines ever written
    bool closing = false;

    void WriteUntilClosed() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closing || !lines.empty(); });
            // Once the queue is gone, what it could not write in its drain
            // time is dropped: its console may be gone too.
            if (closing) {
                return;
            }
            std::wstring line = std::move(lines.front());
            lines.pop_front();
            lock.unlock();
            try {
                writer(line);
            } catch (...) {
                // A line that could not be written is lost, as on a full queue.
            }
            lock.lock();
            ++written;
            changed.notify_all();
        }
    }
};

ConsoleQueue::ConsoleQueue(Writer writer, std::size_t capacity,
                           std::chrono::milliseconds drainTimeout)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->writer = std::move(writer);
    m_shared->capacity = capacity;
    m_shared->drainTimeout = drainTimeout;
    std::thread([shared = m_shared] { shared->WriteUntilClosed(); }).detach();
}

ConsoleQueue::~ConsoleQueue() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait_for(lock, m_shared->drainTimeout,
                               [this] { return m_shared->written == m_shared->queued; });
    m_shared->closing = true;
    m_shared->changed.notify_all();
}

bool ConsoleQueue::Post(std::wstring line) {
    const std::lock_guard lock(m_shared->mutex);
    if (m_shared->lines.size() >= m_shared->capacity) {
        return false;
    }
    m_shared->lines.push_back(std::move(line));
    ++m_shared->queued;
    m_shared->changed.notify_all();
    return true;
}

bool ConsoleQueue::PostAndWait(std::wstring line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->changed.wait_until(
            lock, deadline, [this] { return m_shared->lines.size() < m_shared->capacity; })) {
        return false;
    }
    m_shared->lines.push_back(std::move(line));
    const std::uint64_t mine = ++m_shared->queued;
    m_shared->changed.notify_all();
    return m_shared->changed.wait_until(lock, deadline,
                                        [this, mine] { return m_shared->written >= mine; });
}
