#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/flow/CheckFacts.h"
#include "app/flow/FlowEvents.h"
#include "app/outcome/Announcements.h"
#include "app/outcome/ExitCodes.h"

// Whom the tool's outcome is for.
struct Audience {
    // No one watches (the silent runner): the first ending that counts is the
    // process's, and the check's offer is taken at once.
    bool unattended = false;
    // Only a check: nothing is written to the dock (/c).
    bool checkOnly = false;
    // The person at the console is told of a dock left to power reset or
    // half written.
    bool notice = false;
};

// An ending that counts, and everything that follows it. The front ends
// carry it out: the status record always, the rest as it says.
struct Conclusion {
    FlowEnding ending = FlowEnding::CheckFailed;
    // A run's ending, not a check's.
    bool ofRun = false;
    // The process's default exit code for it.
    int code = exit_code::kFailed;
    // The dock as the record and the event report it: for a run, the version
    // it held before and the one it runs after its power reset.
    CheckFacts facts;
    std::optional<EndingEvent> event;
    std::optional<std::wstring_view> notice;
    // /c prints the summary lines.
    bool summary = false;
};

// The event's strings: package, device, previous, hub, dp, model, then the
// code and the status.
std::vector<std::wstring> EventLines(const Conclusion& conclusion);
// /c's lines: package, device, previous, hub, dp, model, then the status,
// last so that a script may read it from the final line.
std::vector<std::wstring> SummaryLines(const Conclusion& conclusion);

// What a front end does on the outcome's word.
struct OutcomeActions {
    // The machine is kept from sleeping while a run writes the dock, and
    // then no longer.
    std::function<void(bool awake)> keepAwake;
    // No one watches: the update a check offers is started, as the user's
    // press of start would, once the check's handlers are done.
    std::function<void()> takeOffer;
    std::function<void(const Conclusion&)> conclude;
};

// Decides which of the flow's endings count and what follows each. It
// knows whether a run began and whether it wrote the dock, and the dock as
// the check before it found it. A check's ending inside a run never counts;
// a run comes to exactly one ending, however many paths report it (the
// finish's answer, the power reset, a time-out); unattended, the first
// ending that counts is the last.
class RunOutcome final : public FlowEvents {
public:
    RunOutcome(Audience audience, OutcomeActions actions)
        : m_audience(audience), m_actions(std::move(actions)) {}

    void RunBegan(const CheckFacts& before) override;
    void RunWrote() override;
    void RunEnded(FlowEnding ending) override;
    void CheckEnded(FlowEnding ending, const CheckFacts& facts) override;

    // An ending before any check could run: a log file refused, a package
    // that does not load, a window that cannot be made.
    void EndedBeforeAnyCheck();
    static Conclusion BeforeAnyCheck(const Audience& audience);

private:
    struct Run {
        CheckFacts before;
        bool wrote = false;
    };

    static Conclusion Judge(const Audience& audience, FlowEnding ending, bool ofRun,
                            CheckFacts facts, bool wrote);
    void Conclude(const Conclusion& conclusion);

    Audience m_audience;
    OutcomeActions m_actions;
    std::optional<Run> m_run;
    bool m_over = false;
};
