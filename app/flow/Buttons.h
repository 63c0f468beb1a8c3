#pragma once

#include "app/flow/DialogSurface.h"
#include "res/resource.h"

// Where a check or a run stands, as far as the buttons show it.
enum class ButtonPhase {
    // Nothing under way and no update to offer: the dialog as it opens, a
    // query the dock left unanswered, an offer whose dock has gone.
    CheckAllowed,
    // A check or a run talks to the dock: nothing may be pressed.
    Busy,
    // A check that judged the dock without an offer, or ended before it
    // reached it, and a run that ended: the user may only leave.
    Over,
    // The update is offered: start it, check again or leave.
    Offered,
};

// The enabled state of the dialog's buttons. The scan button is not among
// them: it stays hidden and disabled, as checks scan on their own.
struct EnabledButtons {
    bool start;
    bool fwVer;
    bool exit;
    bool operator==(const EnabledButtons&) const = default;
};

constexpr EnabledButtons ButtonsFor(ButtonPhase phase) {
    switch (phase) {
        case ButtonPhase::CheckAllowed:
            return {.start = false, .fwVer = true, .exit = true};
        case ButtonPhase::Busy:
            return {.start = false, .fwVer = false, .exit = false};
        case ButtonPhase::Over:
            return {.start = false, .fwVer = false, .exit = true};
        case ButtonPhase::Offered:
            return {.start = true, .fwVer = true, .exit = true};
    }
    return {};
}

// The dock has gone: an offer is withdrawn, a check that was under way is
// over; a run that waits for the dock's return in its bootloader goes on.
constexpr ButtonPhase AfterRemoval(ButtonPhase phase, bool runGoesOn) {
    switch (phase) {
        case ButtonPhase::Offered:
            return ButtonPhase::CheckAllowed;
        case ButtonPhase::Busy:
            return runGoesOn ? ButtonPhase::Busy : ButtonPhase::Over;
        default:
            return phase;
    }
}

// Whatever else holds, the user may leave: a check or a run that has come to
// its verdict gives exit back and leaves the other buttons as they are.
constexpr ButtonPhase WithExit(ButtonPhase phase) {
    return phase == ButtonPhase::Busy ? ButtonPhase::Over : phase;
}

// The three buttons a check and a run show, following one phase: each change
// shows all of them.
class ButtonPanel {
public:
    static constexpr int kStartButton = IDC_START_UPGRADE;
    static constexpr int kExitButton = IDC_EXIT;
    static constexpr int kFwVerButton = IDC_FW_VER;

    explicit ButtonPanel(WindowSurface& window) : m_window(window) {}

    void Show(ButtonPhase phase) {
        m_phase = phase;
        const EnabledButtons enabled = ButtonsFor(phase);
        m_window.EnableControl(kStartButton, enabled.start);
        m_window.EnableControl(kFwVerButton, enabled.fwVer);
        m_window.EnableControl(kExitButton, enabled.exit);
    }
    ButtonPhase Phase() const { return m_phase; }

private:
    WindowSurface& m_window;
    // The dialog opens with "FW Ver" and exit enabled.
    ButtonPhase m_phase = ButtonPhase::CheckAllowed;
};
