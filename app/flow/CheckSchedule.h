#pragma once

#include <optional>

#include "app/flow/DialogSurface.h"
#include "tools/ToolResultText.h"

// When the parts of a check of "FW Ver" run: the hub check, the DisplayPort
// check and the scan that reads the dock's version. Each part runs on a
// one-shot timer of the surface; the schedule sets them, and the flow runs
// the part a fired timer names and says when a tool check is done. Two
// policies: the window's timers, and back to back for a check that no one
// watches.
class CheckSchedule {
public:
    enum class Part { Hub, Dp, Scan };
    // One-shot timers of the parts.
    static constexpr int kScanTimer = 1;
    static constexpr int kHubTimer = 3;
    static constexpr int kDpTimer = 4;
    static constexpr unsigned kArrivalScanDelayMs = 200;

    explicit CheckSchedule(FlowSurface& surface) : m_surface(surface) {}
    virtual ~CheckSchedule() = default;
    CheckSchedule(const CheckSchedule&) = delete;
    CheckSchedule& operator=(const CheckSchedule&) = delete;

    // "FW Ver": every part is to come.
    virtual void Begin() = 0;
    // A tool check has run; `runOver`: no run is under way.
    virtual void AfterToolCheck(Part part, bool runOver) = 0;
    // A vendor tool's run has ended; `runOver` as for AfterToolCheck.
    virtual void OnToolEnded(bool /*runOver*/) {}

    // The part a fired timer runs, if it is one of the schedule's: it is no
    // longer to come.
    std::optional<Part> Fired(int timerId);
    // A HID interface arrived: the scan comes soon.
    void ScanSoon();
    // A run starts: no part still to come may reopen the link under it.
    void Cancel();
    // A part of "FW Ver" is still to come: a verdict now is not the last one.
    bool Pending() const { return m_hubPending || m_dpPending || m_scanPending; }

protected:
    void Schedule(Part part, unsigned milliseconds);
    // A part to come whose time is not known yet.
    void Announce(Part part);

private:
    virtual void OnCancel() {}

    FlowSurface& m_surface;
    bool m_hubPending = false;
    bool m_dpPending = false;
    bool m_scanPending = false;
};

// The window's timers: the hub check at 2 s, the DisplayPort check at 8 s,
// the scan at 12 s. An arrival may bring the scan forward; its verdict is
// then given again 4 s after the last tool check, as the usual order gives it.
class WindowTimersSchedule final : public CheckSchedule {
public:
    static constexpr unsigned kHubCheckDelayMs = 2000;
    static constexpr unsigned kDpCheckDelayMs = 8000;
    static constexpr unsigned kFwVerScanDelayMs = 12000;
    static constexpr unsigned kScanAfterToolCheckMs = kFwVerScanDelayMs - kDpCheckDelayMs;

    using CheckSchedule::CheckSchedule;
    void Begin() override;
    void AfterToolCheck(Part part, bool runOver) override;
};

// Back to back: the hub check at once, each later part as soon as the tool
// of the part before has ended. The check takes the tools' own time and the
// scan's.
class BackToBackSchedule final : public CheckSchedule {
public:
    BackToBackSchedule(FlowSurface& surface, const ToolResults& results)
        : CheckSchedule(surface), m_results(results) {}
    void Begin() override;
    void AfterToolCheck(Part part, bool runOver) override;
    void OnToolEnded(bool runOver) override;

private:
    void OnCancel() override { m_awaitedTool.reset(); }

    const ToolResults& m_results;
    // The tool check whose run must end before the next part.
    std::optional<Part> m_awaitedTool;
};
