#include "app/flow/UpgradeFlow.h"

#include <algorithm>
#include <cwctype>

#include "device/IspAnswer.h"
#include "device/IspCommand.h"

namespace {

bool SameInterfaceName(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
}

}  // namespace

UpgradeFlow::UpgradeFlow(FlowSurface& surface, WindowSurface& window, HidLink& link,
                         ToolLauncher& tools, ToolResults& toolResults, PackageFile& packageFile,
                         const package::ImageTable& images, const PackageIdentity& package,
                         Schedule schedule)
    : m_surface(surface),
      m_window(window),
      m_link(link),
      m_tools(tools),
      m_toolResults(toolResults),
      m_packageFile(packageFile),
      m_images(images),
      m_package(package),
      m_schedule(schedule == Schedule::BackToBack
                     ? std::unique_ptr<CheckSchedule>(
                           std::make_unique<BackToBackSchedule>(surface, toolResults))
                     : std::make_unique<WindowTimersSchedule>(surface)),
      m_watch(surface) {}

// ---------------------------------------------------------------------------
// Answers

void UpgradeFlow::OnIspReport(std::span<const std::uint8_t> report) {
    const std::optional<std::uint8_t> code = device::AnsweredCode(report);
    if (code == device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS) {
        if (const auto mode = device::DecodeModeAnswer(report)) {
            m_watch.Answered();
            m_bIspMode = *mode == device::DeviceMode::Bootloader;
            if (m_bIspMode) {
                Log(L"ISP device found!");
                if (m_step == IspStep::Idle) {
                    // No version answer follows in the bootloader: the offer
                    // stands on the mode alone.
                    ShowButtons(ButtonPhase::Offered);
                    EndCheck(FlowEnding::UpdateOffered);
                } else if (m_step != IspStep::ShowPass) {
                    // Back in its bootloader, the dock resumes the run at chip 3's
                    // erase; after a failure, exit was given back and is taken again.
                    m_step = IspStep::Chip3Erase;
                    ShowButtons(ButtonPhase::Busy);
                }
            } else {
                m_step = IspStep::Idle;
                Log(L"AP device found!");
                Send(device::BuildDeviceVersionCommand());
                AwaitQuery(AnswerWatch::Awaited::VersionQuery);
            }
        }
    } else if (code == device::USBUID_ISP_EFM8_CMD_DEVICE_VERSION) {
        if (const auto version = device::DecodeVersionAnswer(report)) {
            m_watch.Answered();
            m_deviceVersion = *version;
            const bool offer = CheckFirmwareVersion(m_images.m_byCodeVersion, *version) == 1;
            ShowButtons(offer ? ButtonPhase::Offered : WithExit(m_buttons));
            EndCheck(m_gateEnding);
        }
    }

    m_lastReport.fill(0);
    m_lastReportLength = std::min(report.size(), m_lastReport.size());
    std::copy_n(report.begin(), m_lastReportLength, m_lastReport.begin());
    StepSequencer();
    WatchForAnswer();
}

std::uint8_t UpgradeFlow::LastStatus() const {
    // An answer too short to carry a status cannot report success.
    return device::DecodeStatus(std::span(m_lastReport.data(), m_lastReportLength)).value_or(0xFF);
}

bool UpgradeFlow::LastChecksumEquals(std::uint16_t expected) const {
    return device::DecodeChecksum(std::span(m_lastReport.data(), m_lastReportLength)) == expected;
}

// ---------------------------------------------------------------------------
// Senders

void UpgradeFlow::Send(const device::IspReport& report) {
    if (m_link.State().m_bOpen) {
        m_link.WriteReport(report);
    }
}

void UpgradeFlow::Send(StepReport report) {
    if (const auto built = BuildStepReport(report, m_images, m_bIspMode)) {
        Send(*built);
    }
}

// ---------------------------------------------------------------------------
// The answer watch

void UpgradeFlow::WatchForAnswer() {
    if (RunOver(m_step)) {
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

void UpgradeFlow::AwaitQuery(AnswerWatch::Awaited query) {
    if (!m_link.State().m_bOpen) {
        return;  // nothing was sent
    }
    m_watch.Await(query, kAnswerTimeoutMs);
}

void UpgradeFlow::OnNoAnswer() {
    const AnswerWatch::Awaited awaited = m_watch.Expired();
    if (RunOver(m_step)) {
        if (awaited == AnswerWatch::Awaited::Nothing ||
            awaited == AnswerWatch::Awaited::RunAnswer) {
            return;
        }
        if (awaited == AnswerWatch::Awaited::Finish) {
            // Written and verified all the same: the dock waits in its
            // bootloader for the power reset that starts the new firmware.
            Log(L"No answer from the dock within " + std::to_wstring(kAnswerTimeoutMs / 1000) +
                L" s to the finish command: power reset the dock to run its new firmware.");
            m_surface.ReportEnding(m_bChip1Failed ? FlowEnding::RunFailed : FlowEnding::RunPassed);
            return;
        }
        // The check is over without a dock to update: it may be checked again
        // or left, but not updated.
        Log(std::wstring(L"No answer from the dock within ") +
            std::to_wstring(kAnswerTimeoutMs / 1000) + L" s to the " +
            (awaited == AnswerWatch::Awaited::ModeQuery ? L"mode" : L"version") + L" query!");
        m_bDeviceReady = false;
        ShowButtons(ButtonPhase::CheckAllowed);
        EndCheck(FlowEnding::CheckFailed);
        return;
    }
    Log(L"No answer from the dock within " + std::to_wstring(AnswerTimeoutMs(m_step) / 1000) +
        L" s to " + std::wstring(AwaitedAnswer(m_step)) + L", update stopped!");
    m_surface.KillTimer(TIMER_CHIP1_ERASE);
    m_step = IspStep::Idle;
    ShowVerdict(ResultLook::Fail);
    m_surface.ReportEnding(FlowEnding::RunFailed);
}

// ---------------------------------------------------------------------------
// Device watch, timers and buttons

void UpgradeFlow::OnHidArrival() {
    // Any HID device arriving (a mouse, a keyboard) would start a scan that
    // asks the dock for its mode in the middle of a transfer. Only the wait
    // for the dock's return in its bootloader needs the scan.
    if (RunOver(m_step) || m_step == IspStep::Chip3Erase) {
        m_schedule->ScanSoon();
    }
}

bool UpgradeFlow::OnHidRemoval(std::wstring_view interfaceName) {
    HidLinkState& link = m_link.State();
    if (!SameInterfaceName(interfaceName, link.m_strDevicePath)) {
        return false;
    }
    if (link.m_bOpen) {
        m_bIspMode = false;
        link.m_bOpen = false;
        link.m_bReadOpen = false;
        link.m_bWriteOpen = false;
        m_link.CloseDevice();
        Log(L"No Device found!");
        switch (m_step) {
            case IspStep::Chip3Erase:  // leaving on its way into the bootloader
            case IspStep::Idle:
                break;
            case IspStep::ShowPass:  // the power reset the user was asked for
                m_step = IspStep::Idle;
                m_watch.Stop();
                m_surface.ReportEnding(m_bChip1Failed ? FlowEnding::RunFailed
                                                      : FlowEnding::RunPassed);
                break;
            default:
                m_step = IspStep::Idle;
                Log(L"Error!, restart please.");
                // The run is over without a result: it failed.
                ShowVerdict(ResultLook::Fail);
                m_surface.ReportEnding(FlowEnding::RunFailed);
                break;
        }
        // Nothing is under way any more (a check that lost the dock before
        // its answer, the power reset after PASS): no answer will come to
        // give the buttons back.
        ShowButtons(AfterRemoval(m_buttons, m_step != IspStep::Idle));
        // A query the dock was asked before it left goes unanswered; that is
        // no silence to report.
        m_watch.Answered();
        WatchForAnswer();
    }
    return true;
}

void UpgradeFlow::OnDialogTimer(int id) {
    switch (id) {
        case TIMER_SCAN:
        case TIMER_HUB_CHECK:
        case TIMER_DP_CHECK:
            if (const std::optional<DeviceCheck> part = m_schedule->Fired(id)) {
                RunDeviceCheck(*part);
                if (*part != DeviceCheck::Scan) {
                    m_schedule->AfterToolCheck(*part, RunOver(m_step));
                }
            }
            break;
        case TIMER_NO_ANSWER:
            OnNoAnswer();
            break;
        case TIMER_CHIP1_ERASE:
            m_surface.KillTimer(TIMER_CHIP1_ERASE);
            m_bChip1EraseExpired = true;
            break;
        default:
            break;
    }
}

void UpgradeFlow::OnFwVer() {
    for (int i = 0; i < 9; ++i) {
        Log(L" ");
    }
    ShowButtons(ButtonPhase::Busy);
    m_schedule->Begin();
    // The results of an earlier check, and any of its runs still to end,
    // belong to that check.
    m_toolResults.m_hubToolText.Reset();
    m_toolResults.m_dpToolText.Reset();
}

void UpgradeFlow::OnToolEnded() {
    m_schedule->OnToolEnded(RunOver(m_step));
}

void UpgradeFlow::OnStartUpgrade() {
    if (!m_bDeviceReady) {
        return;
    }
    m_window.ClearLog();
    Log(L"Waiting...");
    m_window.SetResultLook(ResultLook::Neutral);
    m_bChip1Failed = false;
    m_step = FirstStep(m_images.m_chUpdatePlan, m_bIspMode);
    // A run talks to the dock alone: no check of "FW Ver" may reopen the
    // link under it.
    m_schedule->Cancel();
    ShowButtons(ButtonPhase::Busy);
    StepSequencer();
    WatchForAnswer();
}

void UpgradeFlow::OnExit() {
    m_surface.KillTimer(TIMER_SCAN);
    m_surface.KillTimer(TIMER_HUB_CHECK);
    m_surface.KillTimer(TIMER_DP_CHECK);
    m_surface.KillTimer(TIMER_NO_ANSWER);
    m_surface.KillTimer(TIMER_CHIP1_ERASE);
    m_surface.EndDialog();
}

void UpgradeFlow::ShowButtons(ButtonPhase phase) {
    m_buttons = phase;
    const EnabledButtons enabled = ButtonsFor(phase);
    m_window.EnableControl(kStartButton, enabled.start);
    m_window.EnableControl(kFwVerButton, enabled.fwVer);
    m_window.EnableControl(kExitButton, enabled.exit);
}

void UpgradeFlow::Log(std::wstring text) {
    m_surface.PostLog(LogRecord{std::move(text), 0, LogText});
}

void UpgradeFlow::LogPercent(std::wstring text, std::uint16_t percent) {
    m_surface.PostLog(LogRecord{std::move(text), percent, LogProgress});
}
