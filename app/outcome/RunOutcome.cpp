#include "app/outcome/RunOutcome.h"

#include "app/outcome/StatusRecord.h"

std::vector<std::wstring> SummaryLines(const Conclusion& conclusion) {
    std::vector<std::wstring> lines = CheckSummaryLines(conclusion.facts);
    lines.push_back(L"status=" + std::wstring(StatusTokenOf(conclusion.ending)));
    return lines;
}

std::vector<std::wstring> EventLines(const Conclusion& conclusion) {
    std::vector<std::wstring> lines = SummaryLines(conclusion);
    lines.insert(lines.end() - 1, L"code=" + std::to_wstring(conclusion.code));
    return lines;
}

void RunOutcome::RunBegan(const CheckFacts& before) {
    if (m_run || m_over) {
        return;
    }
    m_run = Run{.before = before, .wrote = false};
    m_actions.keepAwake(true);
}

void RunOutcome::RunWrote() {
    if (m_run) {
        m_run->wrote = true;
    }
}

void RunOutcome::RunEnded(FlowEnding ending) {
    if (!m_run) {
        return;  // its one ending has come already
    }
    const Run run = *m_run;
    m_run.reset();
    m_actions.keepAwake(false);

    // What the dock runs after its power reset: the package's version only
    // when every chip was written and verified.
    const bool passed = ending == FlowEnding::RunPassed;
    CheckFacts facts = run.before;
    facts.previous = run.before.device;
    facts.device = passed ? run.before.package : run.before.device;
    facts.bootloader = run.before.bootloader && !passed;
    Conclude(Judge(m_audience, ending, /*ofRun=*/true, facts, run.wrote));
}

void RunOutcome::CheckEnded(FlowEnding ending, const CheckFacts& facts) {
    // A scan inside a run finds the dock on its way back; a check after the
    // unattended ending has no one to report to.
    if (m_run || m_over) {
        return;
    }
    if (ending == FlowEnding::UpdateOffered && m_audience.unattended && !m_audience.checkOnly) {
        m_actions.takeOffer();
        return;
    }
    Conclude(Judge(m_audience, ending, /*ofRun=*/false, facts, /*wrote=*/false));
}

void RunOutcome::EndedBeforeAnyCheck() {
    if (!m_over) {
        Conclude(BeforeAnyCheck(m_audience));
    }
}

Conclusion RunOutcome::BeforeAnyCheck(const Audience& audience) {
    Conclusion conclusion = Judge(audience, FlowEnding::CheckFailed, /*ofRun=*/false, {}, false);
    // Nothing was checked to print; but an older Current must not outlive
    // it, and the administrator learns of it in either front end.
    conclusion.summary = false;
    conclusion.event = EventOf(conclusion.code);
    return conclusion;
}

Conclusion RunOutcome::Judge(const Audience& audience, FlowEnding ending, bool ofRun,
                             CheckFacts facts, bool wrote) {
    // The window's checks are ones that only check: an offer is 0.
    const int code =
        ExitCodeOf(ending, audience.checkOnly || !audience.unattended).value_or(exit_code::kFailed);
    Conclusion conclusion{.ending = ending,
                          .ofRun = ofRun,
                          .code = code,
                          .facts = std::move(facts),
                          .event = std::nullopt,
                          .notice = std::nullopt,
                          .summary = audience.unattended && audience.checkOnly && !ofRun};
    // Unattended, every run of the tool reports one event; in the window,
    // each run does, and its checks do not.
    if (audience.unattended || ofRun) {
        conclusion.event = EventOf(code);
    }
    if (audience.notice) {
        conclusion.notice = ConsoleNoticeOf(code, wrote);
    }
    return conclusion;
}

void RunOutcome::Conclude(const Conclusion& conclusion) {
    m_over = m_audience.unattended;
    m_actions.conclude(conclusion);
}
