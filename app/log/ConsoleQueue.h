#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// Where lines go whose writer must never be held up: a line is taken or
// refused at once, or, for the few that must arrive, waited for so long.
class LineSink {
public:
    virtual ~LineSink() = default;
    // Queued when there is room, else refused. Returns whether it was taken.
    virtual bool Post(std::wstring line) = 0;
    // Waits up to `timeout` until the line has been written. Returns whether it was.
    virtual bool PostAndWait(std::wstring line, std::chrono::milliseconds timeout) = 0;
};

// Lines for a console or a pipe that may be slow, or that nobody reads: a
// thread of its own writes them, through a bounded queue, so the flow never
// waits for its output. Lines that find the queue full are dropped there
// (the log file keeps them all); the lines scripts read wait for room, and
// for their writing, but only so long.
class ConsoleQueue final : public LineSink {
public:
    using Writer = std::function<void(const std::wstring& line)>;
    static constexpr std::size_t kCapacity = 256;
    static constexpr std::chrono::milliseconds kDrainTimeout{2000};

    explicit ConsoleQueue(Writer writer, std::size_t capacity = kCapacity,
                          std::chrono::milliseconds drainTimeout = kDrainTimeout);
    // Gives what is queued up to `drainTimeout` to be written and drops the
    // rest; the writing thread ends after the write it may be in, or with the
    // process: a writer that never returns holds nothing up.
    ~ConsoleQueue() override;
    ConsoleQueue(const ConsoleQueue&) = delete;
    ConsoleQueue& operator=(const ConsoleQueue&) = delete;

    // A log or progress line: queued when there is room, else dropped.
    bool Post(std::wstring line) override;
    // A line a script reads.
    bool PostAndWait(std::wstring line, std::chrono::milliseconds timeout) override;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
