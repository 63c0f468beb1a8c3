#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// What a vendor tool's run has come to, for the check that started it.
struct ToolResult {
    enum class State {
        NotRun,   // no run was started for this check
        Running,  // started and not ended yet
        Done,     // ended: `text` holds its result
        Failed,   // could not start, or was ended at its bound: `text` says which
    };
    State state = State::NotRun;
    // Done: "HUB FW is 0x%04x" of the hub tool's exit code, or all that the
    // DisplayPort tool printed. Failed: a line for the log that names the tool.
    std::wstring text;

    bool operator==(const ToolResult&) const = default;
};

// The result of one vendor tool, handed over whole between the tool's worker
// and the window thread. Each run holds a ticket; a result handed back with a
// ticket that is no longer the current one (a later check has begun) is
// dropped, so no check ever reads what a run of an earlier one left, unless
// the later check took that run over as its own: a tool still running is
// never started a second time beside itself.
class ToolResultText {
public:
    // A new check: no run of this tool for it yet.
    void Reset() {
        const std::lock_guard lock(m_mutex);
        ++m_ticket;
        m_result = ToolResult{};
    }
    // A run starts for the current check; its worker hands the ticket back.
    std::uint64_t Begin() {
        const std::lock_guard lock(m_mutex);
        m_result = ToolResult{.state = ToolResult::State::Running, .text = {}};
        m_runTicket = ++m_ticket;
        m_inFlight = true;
        return m_ticket;
    }
    // A run of this tool has not handed its result back yet, whichever check
    // started it.
    bool InFlight() const {
        const std::lock_guard lock(m_mutex);
        return m_inFlight;
    }
    // The current check takes the run still in flight as its own: its result,
    // when it comes, is this check's.
    void Rejoin() {
        const std::lock_guard lock(m_mutex);
        m_ticket = m_runTicket;
        m_result = ToolResult{.state = ToolResult::State::Running, .text = {}};
    }
    void Finish(std::uint64_t ticket, std::wstring text) {
        Store(ticket, ToolResult{.state = ToolResult::State::Done, .text = std::move(text)});
    }
    void Fail(std::uint64_t ticket, std::wstring reason) {
        Store(ticket, ToolResult{.state = ToolResult::State::Failed, .text = std::move(reason)});
    }
    ToolResult Get() const {
        const std::lock_guard lock(m_mutex);
        return m_result;
    }

private:
    void Store(std::uint64_t ticket, ToolResult result) {
        const std::lock_guard lock(m_mutex);
        if (ticket == m_runTicket) {
            m_inFlight = false;
        }
        if (ticket == m_ticket && m_result.state == ToolResult::State::Running) {
            m_result = std::move(result);
        }
    }

    mutable std::mutex m_mutex;
    std::uint64_t m_ticket = 0;
    // The last run started, and whether its result is still to come.
    std::uint64_t m_runTicket = 0;
    bool m_inFlight = false;
    ToolResult m_result;
};

// The hub tool's and the DisplayPort tool's results of the current check. The
// tool launcher writes them, the version gate reads them: each front end
// gives one to both.
struct ToolResults {
    ToolResultText m_hubToolText;
    ToolResultText m_dpToolText;
};
