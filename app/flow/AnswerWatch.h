#pragma once

#include "app/flow/DialogSurface.h"

// One deadline for every wait on the dock: the mode and version queries of a
// check, each answer of a run, and the finish command's answer after chip 3's
// pass. One timer of the surface; what it waits for decides what its end
// means.
class AnswerWatch {
public:
    enum class Awaited { Nothing, ModeQuery, VersionQuery, RunAnswer, Finish };
    static constexpr int kTimer = 5;

    explicit AnswerWatch(FlowSurface& surface) : m_surface(surface) {}

    // Waits `milliseconds` for `what`; a wait under way is replaced.
    void Await(Awaited what, unsigned milliseconds) {
        m_awaited = what;
        m_surface.SetTimer(kTimer, milliseconds);
    }
    // The awaited answer came. The deadline stays until the flow has handled
    // the answer and stops it, so a stale timer that fires meanwhile finds
    // nothing awaited.
    void Answered() { m_awaited = Awaited::Nothing; }
    // Nothing is awaited any more, and the deadline is gone.
    void Stop() {
        m_awaited = Awaited::Nothing;
        m_surface.KillTimer(kTimer);
    }
    Awaited What() const { return m_awaited; }
    // The deadline has passed: what was awaited; nothing is any more.
    Awaited Expired() {
        m_surface.KillTimer(kTimer);
        const Awaited awaited = m_awaited;
        m_awaited = Awaited::Nothing;
        return awaited;
    }

private:
    FlowSurface& m_surface;
    Awaited m_awaited = Awaited::Nothing;
};
