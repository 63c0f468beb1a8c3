#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "app/flow/FlowEvents.h"
#include "app/log/ConsoleQueue.h"
#include "device/LinkTrace.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"

// The trace of a run for support: what went over the wire, line by line, so
// that a run on a real dock can be read and replayed against the tool.
//
//   # DOCK Firmware Update Tool trace
//   # tool 1.0.0.0
//   # package E117 10c4:f607 plan 3 sums ae17 37a1
//   # windows 10.0.19045
//   # interface \\?\hid#vid_10c4&pid_f607#... in 64 out 64   (at the first open)
//   MS > 0201FEFF07...     a report out, report ID first
//   MS < 0201FEFF07...     a report in, as long as it was read
//   MS open PATH in 64 out 64 | MS close | MS write-failed ERROR
//   MS arrived PATH | MS removed PATH
//   MS tool hub TEXT | MS tool dp TEXT | MS check STATUS | MS ending STATUS
//   MS N lines dropped
//
// MS is the milliseconds since the trace began. Lines go through a bounded
// queue to a thread that writes them, so the flow never waits for the file;
// the lines a full queue refused are counted and said in their place, never
// left out unsaid. Any thread may write.
class TraceWriter final : public LinkTrace {
public:
    using Clock = std::function<std::uint64_t()>;

    static constexpr std::wstring_view kTitle = L"# DOCK Firmware Update Tool trace";

    TraceWriter(Clock clock, LineSink& queue) : m_clock(std::move(clock)), m_queue(queue) {}

    void Begin(std::wstring_view toolVersion, const package::ImageTable& images,
               const PackageIdentity& package, std::wstring_view windowsVersion);

    void Opened(std::wstring_view path, std::uint16_t inputLength,
                std::uint16_t outputLength) override;
    void Closed() override;
    void Sent(std::span<const std::uint8_t> report) override;
    void WriteFailed(std::uint32_t error) override;
    void Received(std::span<const std::uint8_t> report) override;
    void Arrived(std::wstring_view path) override;
    void Removed(std::wstring_view path) override;

    void ToolResult(std::wstring_view tool, std::wstring_view text);
    // A check's verdict and a run's ending, by their status tokens.
    void CheckEnded(std::wstring_view status);
    void RunEnded(std::wstring_view status);

    // The trace is over: lines refused since the last one taken are said,
    // waiting for room up to `timeout`.
    void End(std::chrono::milliseconds timeout);

private:
    void Event(std::wstring text);
    void Write(std::wstring line);
    std::wstring DroppedLine() const;

    Clock m_clock;
    LineSink& m_queue;
    std::mutex m_mutex;
    std::uint64_t m_dropped = 0;
    bool m_interfaceNamed = false;
};

// The package as a trace names it: its version, its USB IDs, its update plan
// and the sums of the images the dock verifies.
std::wstring TracePackageIdentity(const package::ImageTable& images,
                                  const PackageIdentity& package);

// A report's bytes as a trace line carries them: two hexadecimal digits each.
std::wstring HexBytes(std::span<const std::uint8_t> bytes);

// The flow's events on their way to the outcome, with the vendor tools'
// results, each check's verdict and each run's ending written to the trace.
class TracedEvents final : public FlowEvents {
public:
    TracedEvents(FlowEvents& next, TraceWriter* trace) : m_next(next), m_trace(trace) {}

    void RunBegan(const CheckFacts& before) override { m_next.RunBegan(before); }
    void RunWrote() override { m_next.RunWrote(); }
    void RunEnded(FlowEnding ending) override;
    void CheckEnded(FlowEnding ending, const CheckFacts& facts) override;

private:
    FlowEvents& m_next;
    TraceWriter* m_trace;
};
