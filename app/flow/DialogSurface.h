#pragma once

#include <cstdint>
#include <string_view>

#include "app/flow/ResultLook.h"
#include "app/log/LogRecord.h"

// What every front end gives a check and an update: its timers, its log, a
// way to tell the user something, and its end. How a check or a run ended
// goes to the flow's events instead (see FlowEvents). The dialog carries it out on
// its window, the silent runner without one; tests record it and drive the
// timers with a virtual clock.
class FlowSurface {
public:
    virtual ~FlowSurface() = default;

    // Blocks the calling handler until the user closes the message.
    virtual void ShowModalMessage(std::wstring_view text) = 0;
    // One-shot timers: setting a running one replaces it.
    virtual void SetTimer(int id, unsigned milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    // Keeps the calling handler, and with it the reading of the next answer,
    // waiting for this long.
    virtual void Pause(unsigned milliseconds) = 0;
    virtual void PostLog(LogRecord record) = 0;
    virtual void EndDialog() = 0;
};

// What a check and an update show in a window: which buttons can be pressed,
// the result label, the progress bar, and a log cleared for a run.
class WindowSurface {
public:
    virtual ~WindowSurface() = default;

    virtual void EnableControl(int id, bool enabled) = 0;
    // Look and text of the result label change together.
    virtual void SetResultLook(ResultLook look) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressFill(std::uint32_t argb) = 0;
    virtual void ClearLog() = 0;
};

// A front end without a window shows nothing of it.
class NoWindow final : public WindowSurface {
public:
    void EnableControl(int /*id*/, bool /*enabled*/) override {}
    void SetResultLook(ResultLook /*look*/) override {}
    void SetProgressPosition(int /*position*/) override {}
    void SetProgressFill(std::uint32_t /*argb*/) override {}
    void ClearLog() override {}
};

// The window's front end, and the tests' recorder, are both.
class DialogSurface : public FlowSurface, public WindowSurface {};
