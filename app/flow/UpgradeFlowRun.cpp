// The steps of a run, carried out from the programming sequence's table.
#include "app/flow/UpgradeFlow.h"
#include "app/log/LogLineFormat.h"
#include "device/IspAnswer.h"
#include "device/IspDataPacket.h"

void UpgradeFlow::StepSequencer() {
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
        m_step = row->next;
        atOnce = row->report == StepReport::Nothing;
        if (m_step == IspStep::Chip1EraseWait) {
            m_bChip1EraseExpired = false;
            m_surface.SetTimer(TIMER_CHIP1_ERASE, kChip1EraseLimitMs);
        } else if (m_step == IspStep::ShowPass) {
            EnterPassStep();
        }
    }
}

bool UpgradeFlow::PassGate(const StepRow& row) {
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
                m_surface.KillTimer(TIMER_CHIP1_ERASE);
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
            NoteChip1Checksum();
            return true;
        case StepGate::Verdict:
            if (m_step == IspStep::ShowPass) {
                // The dock took the finish command: the run is over.
                if (m_watch.What() == AnswerWatch::Awaited::Finish) {
                    m_watch.Answered();
                }
                ShowVerdict(m_bChip1Failed ? ResultLook::Fail : ResultLook::Pass);
                m_surface.ReportEnding(m_bChip1Failed ? FlowEnding::RunFailed
                                                      : FlowEnding::RunPassed);
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

void UpgradeFlow::BeginImage(const StepRow& row) {
    const std::uint32_t length = m_images.m_dwImageLength[row.image];
    // Chip 1 takes its image in 256-byte blocks.
    m_transfer.Begin(row.image, length, row.next == IspStep::Chip1Send);
    Log(FormatLogLine(row.heading, length));
    Log(L"");
    m_window.SetProgressPosition(0);
}

void UpgradeFlow::SendStep() {
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

bool UpgradeFlow::SendDataPacket() {
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
    m_link.WriteReport(*packet);
    return true;
}

void UpgradeFlow::NoteChip1Checksum() {
    if (LastChecksumEquals(m_images.m_wImage4Sum)) {
        Log(L"Chip 1 Checksum pass, ISP Success!");
        return;
    }
    const auto answer = std::span(m_lastReport.data(), m_lastReportLength);
    Log(FormatLogLine(L"Chip 1 checksum cul:%6x , %6x",
                      static_cast<unsigned>(device::DecodeChecksum(answer).value_or(0)),
                      static_cast<unsigned>(m_images.m_wImage4Sum)));
    Log(L"ISP false!");
    m_bChip1Failed = true;
}

void UpgradeFlow::FailRun(std::wstring_view line) {
    Log(std::wstring(line));
    EnterFailStep();
}

void UpgradeFlow::EnterFailStep() {
    // The verdict shows at once: after some failures nothing more is sent,
    // so no answer would come to show it.
    m_step = IspStep::ShowFail;
    ShowVerdict(ResultLook::Fail);
    m_surface.ReportEnding(FlowEnding::RunFailed);
}

void UpgradeFlow::EnterPassStep() {
    if (m_bChip1Failed) {
        Log(L"Chip 1 failed its checksum verification: the update did not pass.");
    }
    // The verdict comes before the request to power the dock off: a user who
    // does so before closing the message still sees it, and the removal is
    // then the expected power reset.
    ShowVerdict(m_bChip1Failed ? ResultLook::Fail : ResultLook::Pass);
    // Timers fire while the message is open; the run no longer waits for an
    // answer that could time out.
    WatchForAnswer();
    m_surface.ShowModalMessage(L"Please, power reset device! ");
    // The finish's answer is read once the message has closed, so its wait
    // starts then; a power reset meanwhile ended it.
    if (m_step == IspStep::ShowPass) {
        AwaitQuery(AnswerWatch::Awaited::Finish);
    }
}

void UpgradeFlow::ShowVerdict(ResultLook look) {
    m_window.SetResultLook(look);
    // A run that has ended must never lock the user in: the close box of a
    // dialog whose cancel button is disabled does nothing either.
    ShowButtons(WithExit(m_buttons));
}
