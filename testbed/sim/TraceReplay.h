#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/sim/SimTypes.h"

// A trace the tool wrote, read back: its header, and the dock's side of it
// played as a dock. Each report the tool sends is held against the one the
// trace recorded; the same one is answered as it was then, after the
// recorded delay, and the dock leaves and comes back where it did. At the
// first report that differs the dock says nothing more, and the replay names
// the trace's line, the bytes expected and the bytes sent.
namespace sim {

// What the dock does when a recorded report has come.
struct ReplayedAnswer {
    std::optional<std::vector<std::uint8_t>> answer;
    unsigned afterMs = 0;
    std::vector<BusEventKind> bus;
};

class TraceReplay {
public:
    // Reads a trace file's text; the last trace in it counts (the tool
    // appends). The reason it cannot be replayed, or nothing.
    std::optional<std::string> Read(std::string_view text);

    // A header line's value ("package", "tool", "windows", "interface").
    std::string Header(std::string_view name) const;
    // The vendor tools' results and the last ending the trace recorded.
    const std::string& HubResult() const { return m_hub; }
    const std::string& DpResult() const { return m_dp; }
    const std::string& Ending() const { return m_ending; }

    ReplayedAnswer Answer(std::span<const std::uint8_t> sent);
    // The first report that differed from the trace, or none.
    const std::optional<std::string>& Mismatch() const { return m_mismatch; }
    // Every report the trace recorded has been sent.
    bool Done() const { return m_next == m_exchanges.size(); }

private:
    struct Reply {
        enum class Kind { Answer, Removed, Arrived } kind = Kind::Answer;
        std::uint64_t at = 0;
        std::vector<std::uint8_t> bytes;
    };
    struct Exchange {
        std::size_t line = 0;
        std::uint64_t at = 0;
        std::vector<std::uint8_t> sent;
        std::vector<Reply> replies;
    };

    std::vector<std::pair<std::string, std::string>> m_header;
    std::vector<Exchange> m_exchanges;
    std::size_t m_next = 0;
    std::string m_hub;
    std::string m_dp;
    std::string m_ending;
    std::optional<std::string> m_mismatch;
};

// The traffic of a trace in a compact shape that a review can read: each
// command by its name with the status its answer gave, the data packets of
// each image as one count, the link's opening and closing, and the dock's
// leaving and coming back. Times and the bytes of the data are left out, so
// only a change of the protocol changes it.
std::vector<std::string> TrafficShape(std::string_view traceText);

}  // namespace sim
