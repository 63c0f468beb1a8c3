#include "app/flow/CheckSchedule.h"

namespace {

int TimerOf(CheckSchedule::Part part) {
    switch (part) {
        case CheckSchedule::Part::Hub:
            return CheckSchedule::kHubTimer;
        case CheckSchedule::Part::Dp:
            return CheckSchedule::kDpTimer;
        case CheckSchedule::Part::Scan:
            break;
    }
    return CheckSchedule::kScanTimer;
}

}  // namespace

void CheckSchedule::Schedule(Part part, unsigned milliseconds) {
    m_surface.SetTimer(TimerOf(part), milliseconds);
    Announce(part);
}

void CheckSchedule::Announce(Part part) {
    (part == Part::Hub ? m_hubPending : part == Part::Dp ? m_dpPending : m_scanPending) = true;
}

std::optional<CheckSchedule::Part> CheckSchedule::Fired(int timerId) {
    Part part = Part::Scan;
    if (timerId == kHubTimer) {
        part = Part::Hub;
        m_hubPending = false;
    } else if (timerId == kDpTimer) {
        part = Part::Dp;
        m_dpPending = false;
    } else if (timerId == kScanTimer) {
        m_scanPending = false;
    } else {
        return std::nullopt;
    }
    m_surface.KillTimer(timerId);
    return part;
}

void CheckSchedule::ScanSoon() {
    Schedule(Part::Scan, kArrivalScanDelayMs);
}

void CheckSchedule::Cancel() {
    for (const int timer : {kHubTimer, kDpTimer, kScanTimer}) {
        m_surface.KillTimer(timer);
    }
    m_hubPending = false;
    m_dpPending = false;
    m_scanPending = false;
    OnCancel();
}

void WindowTimersSchedule::Begin() {
    Cancel();
    Schedule(Part::Hub, kHubCheckDelayMs);
    Schedule(Part::Dp, kDpCheckDelayMs);
    Schedule(Part::Scan, kFwVerScanDelayMs);
}

void WindowTimersSchedule::AfterToolCheck(Part /*part*/, bool runOver) {
    // A scan brought forward by an arrival gave its verdict before this tool
    // check, which took the buttons away again: the verdict is given anew.
    if (runOver && !Pending()) {
        Schedule(Part::Scan, kScanAfterToolCheckMs);
    }
}

void BackToBackSchedule::Begin() {
    Cancel();
    // As soon as the window thread is free; each later part follows the end
    // of the one before.
    Schedule(Part::Hub, 0);
    // Announced now: no verdict before the last part counts.
    Announce(Part::Dp);
    Announce(Part::Scan);
}

void BackToBackSchedule::AfterToolCheck(Part part, bool runOver) {
    if (!runOver) {
        return;
    }
    const ToolResultText& result =
        part == Part::Hub ? m_results.m_hubToolText : m_results.m_dpToolText;
    if (result.Get().state == ToolResult::State::Running) {
        m_awaitedTool = part;  // OnToolEnded goes on
        return;
    }
    m_awaitedTool.reset();
    // The tool has ended, or the check ended before it reached the dock and
    // started none: the next part follows at once.
    Schedule(part == Part::Hub ? Part::Dp : Part::Scan, 0);
}

void BackToBackSchedule::OnToolEnded(bool runOver) {
    if (m_awaitedTool) {
        AfterToolCheck(*m_awaitedTool, runOver);
    }
}
