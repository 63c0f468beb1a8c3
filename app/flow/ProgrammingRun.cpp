#include "app/flow/ProgrammingRun.h"

#include <algorithm>
#include <array>

#include "app/log/LogLineFormat.h"
#include "device/IspAnswer.h"
#include "device/IspDataPacket.h"

ProgrammingRun::ProgrammingRun(FlowSurface& surface, WindowSurface& window, ButtonPanel& buttons,
                               HidLink& link, PackageFile& packageFile,
                               const package::ImageTable& images, AnswerWatch& watch,
                               FlowEvents& events, const bool& bootloader)
    : m_surface(surface),
      m_window(window),
      m_buttons(buttons),
      m_link(link),
      m_packageFile(packageFile),
      m_images(images),
      m_watch(watch),
      m_events(events),
      m_bIspMode(bootloader) {}

// ---------------------------------------------------------------------------
// What the flow hands over

void ProgrammingRun::Start() {
    m_bWrote = false;
    Enter(FirstStep(m_images.m_chUpdatePlan, m_bIspMode));
    m_buttons.Show(ButtonPhase::Busy);
    StepSequencer();
    WatchForAnswer();
}

bool ProgrammingRun::ResumeInBootloader() {
    if (m_step == IspStep::Idle || m_step == IspStep::ShowPass) {
        return false;
    }
    // After a failure the dock resumes with a run of its own, and the exit
    // that the failure gave back is taken again.
    const bool begins = Over();
    if (begins) {
        m_bWrote = false;
    }
    Enter(IspStep::Chip3Erase);
    m_buttons.Show(ButtonPhase::Busy);
    return begins;
}

bool ProgrammingRun::OnApplicationAnswer() {
    if (Over()) {
        // A check's answer: whatever the run showed is behind it. A dock
        // that verified and took the finish command has passed, even when
        // it comes back without the power reset having been seen.
        if (m_step == IspStep::ShowPass) {
            End(FlowEnding::RunPassed);
        }
        m_step = IspStep::Idle;
        return true;
    }
    if (AwaitsBootloader() && m_bDockLeft) {
        // Its restart into the bootloader did not take (or its power went
        // while it restarted, before chip 3 was erased): nothing more
        // will come of this run.
        Log(L"AP device found!");
        m_step = IspStep::Idle;
        m_watch.Stop();
        Log(L"The dock restarted into its application instead of its update mode: the update "
            L"did not finish.");
        m_window.SetResultLook(ResultLook::Fail);
        // FW Ver checks the dock again, and offers the update again.
        m_buttons.Show(ButtonPhase::CheckAllowed);
        End(FlowEnding::RunFailed);
    }
    // Before the dock has left, the answer is to a scan that another HID
    // device's arrival brought, from a dock still on its way out.
    return false;
}

void ProgrammingRun::OnAnswer(std::span<const std::uint8_t> report) {
    m_lastReport.fill(0);
    m_lastReportLength = std::min(report.size(), m_lastReport.size());
    std::copy_n(report.begin(), m_lastReportLength, m_lastReport.begin());
    StepSequencer();
    WatchForAnswer();
}

void ProgrammingRun::OnDockFound() {
    StepSequencer();
    WatchForAnswer();
}

void ProgrammingRun::OnRemoval() {
    switch (m_step) {
        case IspStep::Chip3Erase:  // leaving on its way into the bootloader
            m_bDockLeft = true;
            break;
        case IspStep::Idle:
            break;
        case IspStep::ShowPass:  // the power reset the user was asked for
            m_step = IspStep::Idle;
            m_watch.Stop();
            End(FlowEnding::RunPassed);
            break;
        default:
            m_surface.KillTimer(kChip1EraseTimer);
            m_step = IspStep::Idle;
            Log(L"Error!, restart please.");
            // The run is over without a result: it failed.
            ShowVerdict(ResultLook::Fail);
            End(FlowEnding::RunFailed);
            break;
    }
}

void ProgrammingRun::OnNoAnswer(AnswerWatch::Awaited awaited) {
    if (awaited == AnswerWatch::Awaited::Finish) {
        // Written and verified all the same: the dock waits in its
        // bootloader for the power reset that starts the new firmware.
        Log(L"No answer from the dock within " + std::to_wstring(kAnswerTimeoutMs / 1000) +
            L" s to the finish command: power reset the dock to run its new firmware.");
        End(FlowEnding::RunPassed);
        return;
    }
    if (Over()) {
        return;
    }
    Log(L"No answer from the dock within " + std::to_wstring(AnswerTimeoutMs(m_step) / 1000) +
        L" s to " + std::wstring(AwaitedAnswer(m_step)) + L", update stopped!");
    m_surface.KillTimer(kChip1EraseTimer);
    m_step = IspStep::Idle;
    ShowVerdict(ResultLook::Fail);
    End(FlowEnding::RunFailed);
}

void ProgrammingRun::OnChip1EraseTimer() {
    m_surface.KillTimer(kChip1EraseTimer);
    m_bChip1EraseExpired = true;
}

void ProgrammingRun::WatchForAnswer() {
    if (Over()) {
        // A query of a check stays watched from when it was sent: answers
        // that cannot be read do not put its end off.
        const AnswerWatch::Awaited awaited = m_watch.What();
        if (awaited == AnswerWatch::Awaited::Nothing ||
            awaited == AnswerWatch::Awaited::RunAnswer) {
            m_watch.Stop();
        }
        return;
    }
    m_watch.Await(AnswerWatch::Awaited::RunAnswer, AnswerTimeoutMs(m_step));
}

// ---------------------------------------------------------------------------
// The steps, carried out from the programming sequence's table

void ProgrammingRun::StepSequencer() {
    // A step that sends nothing hands over to the next at once; every other
    // ends the call and waits for the dock's answer to what it sent.
    for (bool atOnce = true; atOnce;) {
        const StepRow* row = RowOf(m_step);
        // Idle, and the unused step numbers, do nothing.
        if (row == nullptr || !PassGate(*row)) {
            return;
        }
        if (row->imageEnd != ImageEnd::None) {
            LogPercent(FormatLogLine(row->imageEnd == ImageEnd::SpacedTotal ? L" %6u" : L"%6u",
                                     m_transfer.Total()),
                       100);
        }
        for (const wchar_t* line : row->lines) {
            if (line != nullptr) {
                Log(line);
            }
        }
        if (row->image >= 0) {
            BeginImage(*row);
        }
        if (row->fill != 0) {
            m_window.SetProgressFill(row->fill);
        }
        Send(row->report);
        Enter(row->next);
        atOnce = row->report == StepReport::Nothing;
        if (m_step == IspStep::Chip1EraseWait) {
            m_bChip1EraseExpired = false;
            m_surface.SetTimer(kChip1EraseTimer, kChip1EraseLimitMs);
        } else if (m_step == IspStep::ShowPass) {
            EnterPassStep();
        }
    }
}

void ProgrammingRun::Enter(IspStep step) {
    if (step == IspStep::Chip3Erase && m_step != IspStep::Chip3Erase) {
        m_bDockLeft = false;
    }
    m_step = step;
}

bool ProgrammingRun::PassGate(const StepRow& row) {
    switch (row.gate) {
        case StepGate::None:
            return true;
        case StepGate::StatusOk:
            if (LastStatus() == 0) {
                return true;
            }
            break;
        case StepGate::Bootloader:
            return m_bIspMode;
        case StepGate::Chip3Sum:
            if (LastChecksumEquals(m_images.m_wImage0Sum)) {
                return true;
            }
            break;
        case StepGate::EraseDone:
            if (LastStatus() == 0) {
                m_surface.KillTimer(kChip1EraseTimer);
                return true;
            }
            // An erase that is still busy after a minute will not finish.
            if (!m_bChip1EraseExpired) {
                Send(StepReport::Chip1EraseStatus);
                m_surface.Pause(kErasePollPauseMs);
                return false;
            }
            break;
        case StepGate::ImageSent:
            if (m_transfer.Done()) {
                return true;
            }
            SendStep();
            return false;
        case StepGate::Chip1Sum:
            if (Chip1SumMatches()) {
                return true;
            }
            break;
        case StepGate::Verdict:
            if (m_step == IspStep::ShowPass) {
                // The dock took the finish command: the run is over.
                if (m_watch.What() == AnswerWatch::Awaited::Finish) {
                    m_watch.Answered();
                }
                ShowVerdict(ResultLook::Pass);
                End(FlowEnding::RunPassed);
            } else {
                ShowVerdict(ResultLook::Fail);
            }
            return false;
    }
    Log(row.failLine);
    Send(row.failReport);
    EnterFailStep();
    return false;
}

void ProgrammingRun::BeginImage(const StepRow& row) {
    const std::uint32_t length = m_images.m_dwImageLength[row.image];
    // Chip 1 takes its image in 256-byte blocks.
    m_transfer.Begin(row.image, length, row.next == IspStep::Chip1Send);
    Log(FormatLogLine(row.heading, length));
    Log(L"");
    m_window.SetProgressPosition(0);
}

void ProgrammingRun::SendStep() {
    const std::uint16_t percent = m_transfer.Percent();
    if (m_step == IspStep::Chip2File2Send && percent == 0) {
        LogPercent(L"Wait...", percent);
    } else {
        LogPercent(FormatLogLine(L"%6u", m_transfer.Position()), percent);
    }
    if (!SendDataPacket()) {
        FailRun(L"Firmware file read error, update stopped!");
    }
}

bool ProgrammingRun::SendDataPacket() {
    if (!m_link.State().m_bOpen) {
        return true;
    }
    const std::uint8_t length = m_transfer.NextLength();
    std::array<std::uint8_t, device::kMaxPacketData> payload{};
    const std::span<std::uint8_t> bytes(payload.data(), length);
    if (!package::ReadImageBytes(m_packageFile, m_images, m_transfer.Image(), m_transfer.Position(),
                                 bytes)) {
        return false;
    }
    const auto packet = device::BuildDataPacket(m_transfer.NextPacketNumber(), bytes);
    if (!packet) {
        return false;
    }
    m_transfer.Sent(length);
    NoteWriting();
    m_link.WriteReport(*packet);
    return true;
}

void ProgrammingRun::Send(StepReport report) {
    const auto built = BuildStepReport(report, m_images, m_bIspMode);
    if (!built || !m_link.State().m_bOpen) {
        return;
    }
    if (report == StepReport::Chip1Erase || report == StepReport::Chip3Erase) {
        NoteWriting();
    }
    m_link.WriteReport(*built);
}

void ProgrammingRun::NoteWriting() {
    if (!m_bWrote) {
        m_bWrote = true;
        m_events.RunWrote();
    }
}

bool ProgrammingRun::Chip1SumMatches() {
    if (LastChecksumEquals(m_images.m_wImage4Sum)) {
        Log(L"Chip 1 Checksum pass, ISP Success!");
        return true;
    }
    // The finish command would tell the dock the new version over a chip
    // that did not verify, and every later check would find it current:
    // the run stops here, and the next check offers the update again.
    const auto answer = std::span(m_lastReport.data(), m_lastReportLength);
    Log(FormatLogLine(L"Chip 1 checksum cul:%6x , %6x",
                      static_cast<unsigned>(device::DecodeChecksum(answer).value_or(0)),
                      static_cast<unsigned>(m_images.m_wImage4Sum)));
    return false;
}

void ProgrammingRun::FailRun(std::wstring_view line) {
    Log(std::wstring(line));
    EnterFailStep();
}

void ProgrammingRun::EnterFailStep() {
    // The verdict shows at once: after some failures nothing more is sent,
    // so no answer would come to show it.
    m_step = IspStep::ShowFail;
    ShowVerdict(ResultLook::Fail);
    End(FlowEnding::RunFailed);
}

void ProgrammingRun::EnterPassStep() {
    // The verdict comes before the request to power the dock off: a user who
    // does so before closing the message still sees it, and the removal is
    // then the expected power reset.
    ShowVerdict(ResultLook::Pass);
    // Timers fire while the message is open; the run no longer waits for an
    // answer that could time out.
    WatchForAnswer();
    m_surface.ShowModalMessage(L"Please, power reset device! ");
    // The finish's answer is read once the message has closed, so its wait
    // starts then; a power reset meanwhile ended it.
    if (m_step == IspStep::ShowPass && m_link.State().m_bOpen) {
        m_watch.Await(AnswerWatch::Awaited::Finish, kAnswerTimeoutMs);
    }
}

void ProgrammingRun::ShowVerdict(ResultLook look) {
    m_window.SetResultLook(look);
    // A run that has ended must never lock the user in: the close box of a
    // dialog whose cancel button is disabled does nothing either.
    m_buttons.Show(WithExit(m_buttons.Phase()));
}

void ProgrammingRun::End(FlowEnding ending) {
    m_events.RunEnded(ending);
}

void ProgrammingRun::Log(std::wstring text) {
    m_surface.PostLog(LogRecord{std::move(text), 0, LogText});
}

void ProgrammingRun::LogPercent(std::wstring text, std::uint16_t percent) {
    m_surface.PostLog(LogRecord{std::move(text), percent, LogProgress});
}

std::uint8_t ProgrammingRun::LastStatus() const {
    // An answer too short to carry a status cannot report success.
    return device::DecodeStatus(std::span(m_lastReport.data(), m_lastReportLength)).value_or(0xFF);
}

bool ProgrammingRun::LastChecksumEquals(std::uint16_t expected) const {
    return device::DecodeChecksum(std::span(m_lastReport.data(), m_lastReportLength)) == expected;
}
