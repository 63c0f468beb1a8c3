#pragma once

#include "app/flow/CheckFacts.h"
#include "app/flow/FlowEnding.h"

// What the flow tells the piece that decides its outcome: a run began (on a
// dock as the last check found it), wrote the dock, came to an end; a check
// came to its verdict. Which of these endings counts, and what follows it,
// is that piece's to decide, not the flow's.
class FlowEvents {
public:
    virtual ~FlowEvents() = default;

    virtual void RunBegan(const CheckFacts& before) = 0;
    // The run's first erase or data command went out: the dock's firmware
    // is no longer what it was.
    virtual void RunWrote() = 0;
    virtual void RunEnded(FlowEnding ending) = 0;
    virtual void CheckEnded(FlowEnding ending, const CheckFacts& facts) = 0;
};
