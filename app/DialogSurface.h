#pragma once

#include <cstdint>
#include <string_view>

#include "app/FlowEnding.h"
#include "app/LogRecord.h"
#include "app/ResultLook.h"

// What a check or an update does to the window. The dialog carries it out on
// its controls; tests record it and drive the timers with a virtual clock.
class DialogSurface {
public:
    virtual ~DialogSurface() = default;

    virtual void EnableControl(int id, bool enabled) = 0;
    // Look and text of the result label change together.
    virtual void SetResultLook(ResultLook look) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressFill(std::uint32_t argb) = 0;
    // Blocks the calling handler until the user closes the message.
    virtual void ShowModalMessage(std::wstring_view text) = 0;
    // One-shot timers: setting a running one replaces it.
    virtual void SetTimer(int id, unsigned milliseconds) = 0;
    virtual void KillTimer(int id) = 0;
    // Keeps the calling handler, and with it the reading of the next answer,
    // waiting for this long.
    virtual void Pause(unsigned milliseconds) = 0;
    virtual void PostLog(LogRecord record) = 0;
    virtual void ClearLog() = 0;
    virtual void EndDialog() = 0;
    // A check or a run has come to an ending. The window has shown it in its
    // log and on its label already; a front end that nobody watches acts on it.
    virtual void ReportEnding(FlowEnding ending) = 0;
};
