#include "app/flow/UpgradeFlow.h"

#include "app/flow/VersionGate.h"
#include "app/log/LogLineFormat.h"
#include "device/DockIdentity.h"
#include "device/HidInterfaceMatch.h"
#include "device/IspAnswer.h"
#include "device/IspCommand.h"
#include "package/ModelNames.h"

namespace {

struct CheckTexts {
    const wchar_t* notFound;
    const wchar_t* productId;
    const wchar_t* deviceError;
    const wchar_t* fileError;
};

}  // namespace

UpgradeFlow::UpgradeFlow(FlowSurface& surface, WindowSurface& window, FlowEvents& events,
                         HidLink& link, ToolLauncher& tools, ToolResults& toolResults,
                         PackageFile& packageFile, const package::ImageTable& images,
                         const PackageIdentity& package, Schedule schedule)
    : m_surface(surface),
      m_window(window),
      m_events(events),
      m_link(link),
      m_tools(tools),
      m_toolResults(toolResults),
      m_images(images),
      m_package(package),
      m_schedule(schedule == Schedule::BackToBack
                     ? std::unique_ptr<CheckSchedule>(
                           std::make_unique<BackToBackSchedule>(surface, toolResults))
                     : std::make_unique<WindowTimersSchedule>(surface)),
      m_watch(surface),
      m_buttons(window),
      m_run(surface, window, m_buttons, link, packageFile, images, m_watch, events, m_bIspMode) {}

// ---------------------------------------------------------------------------
// Answers

void UpgradeFlow::OnIspReport(std::span<const std::uint8_t> report) {
    const std::optional<std::uint8_t> code = device::AnsweredCode(report);
    if (code == device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS) {
        if (const auto mode = device::DecodeModeAnswer(report)) {
            OnModeAnswer(*mode);
        }
    } else if (code == device::USBUID_ISP_EFM8_CMD_DEVICE_VERSION) {
        if (const auto version = device::DecodeVersionAnswer(report)) {
            OnVersionAnswer(*version);
        }
    }
    m_run.OnAnswer(report);
}

void UpgradeFlow::OnModeAnswer(device::DeviceMode mode) {
    m_watch.Answered();
    m_bIspMode = mode == device::DeviceMode::Bootloader;
    if (m_bIspMode) {
        Log(L"ISP device found!");
        if (m_run.Step() == IspStep::Idle) {
            // No version answer follows in the bootloader: the offer stands
            // on the mode alone.
            m_buttons.Show(ButtonPhase::Offered);
            EndCheck(FlowEnding::UpdateOffered);
        } else if (m_run.ResumeInBootloader()) {
            m_events.RunBegan(Facts());
        }
    } else if (m_run.OnApplicationAnswer()) {
        Log(L"AP device found!");
        m_link.WriteWhenOpen(device::BuildDeviceVersionCommand());
        AwaitQuery(AnswerWatch::Awaited::VersionQuery);
    }
}

void UpgradeFlow::OnVersionAnswer(const std::array<std::uint8_t, 4>& version) {
    m_watch.Answered();
    m_deviceVersion = version;
    const bool offer = JudgeDock(version);
    m_buttons.Show(offer ? ButtonPhase::Offered : WithExit(m_buttons.Phase()));
    EndCheck(m_gateEnding);
}

bool UpgradeFlow::JudgeDock(const std::array<std::uint8_t, 4>& deviceVersion) {
    const GateVerdict verdict =
        JudgeVersions(m_images.m_byCodeVersion, deviceVersion, m_toolResults.m_hubToolText.Get(),
                      m_toolResults.m_dpToolText.Get());
    for (const std::wstring& line : verdict.lines) {
        Log(line);
    }
    if (verdict.resetProgress) {
        m_window.SetProgressPosition(0);
    }
    for (const ResultLook look : verdict.looks) {
        m_window.SetResultLook(look);
    }
    m_gateEnding = verdict.ending;
    return verdict.offer;
}

// ---------------------------------------------------------------------------
// Device checks

void UpgradeFlow::OnScanDevices() {
    RunDeviceCheck(DeviceCheck::Scan);
}
void UpgradeFlow::CheckHubFirmware() {
    RunDeviceCheck(DeviceCheck::Hub);
}
void UpgradeFlow::CheckDpFirmware() {
    RunDeviceCheck(DeviceCheck::Dp);
}

void UpgradeFlow::RunDeviceCheck(DeviceCheck check) {
    static constexpr CheckTexts kScanTexts{L"No device found!", L"PID error!", L"device Error!",
                                           L"file Error!"};
    static constexpr CheckTexts kHubTexts{L"HUB FW CHK No device found!", L"HUB FW CHK PID error!",
                                          L"FW CHK device Error!", L"FW CHK file Error!"};
    static constexpr CheckTexts kDpTexts{L"DP FW CHK No device found!", L"DP FW CHK PID error!",
                                         L"DP CHK device Error!", L"DP CHK file Error!"};
    const CheckTexts& texts = check == DeviceCheck::Scan
                                  ? kScanTexts
                                  : (check == DeviceCheck::Hub ? kHubTexts : kDpTexts);

    // Reopening the link ends the handles a run talks through: an answer on its
    // way is lost. Only the scan that finds the dock back in its bootloader
    // belongs to a run.
    const bool runScan = check == DeviceCheck::Scan && m_run.AwaitsBootloader();
    if (!m_run.Over() && !runScan) {
        return;
    }
    m_link.OpenDevice(m_package.m_wPackageVid, m_package.m_wPackagePid, device::kDockRelease);
    if (m_run.Over()) {
        // An answer to an earlier query died with the old handles.
        m_watch.Stop();
    }
    if (check == DeviceCheck::Scan && !runScan) {
        NoteDockSeen();
    }
    m_bDeviceReady = false;
    m_buttons.Show(ButtonPhase::Busy);

    const HidLinkState& link = m_link.State();
    if (!link.m_bOpen) {
        Log(texts.notFound);
        m_window.SetProgressPosition(0);
        EndCheckEarly(check, link.m_bVendorSeen ? FlowEnding::NotApplicable : FlowEnding::NoDock);
        if (link.m_bVendorSeen) {
            Log(texts.productId);
            Log(FormatLogLine(L"File PID: 0X%X : ",
                              static_cast<unsigned>(m_package.m_wPackagePid)) +
                LookUpModelName(m_package.m_wPackagePid));
            Log(FormatLogLine(L"Device PID: 0X%X : ",
                              static_cast<unsigned>(link.m_wSeenProductId)) +
                LookUpModelName(link.m_wSeenProductId));
        }
        return;
    }
    if (!link.m_bThreadsStarted || !link.m_bReadOpen || !link.m_bWriteOpen) {
        Log(texts.deviceError);
        EndCheckEarly(check, FlowEnding::CheckFailed);
        return;
    }
    if (!m_package.m_bPackageLoaded) {
        Log(texts.fileError);
        EndCheckEarly(check, FlowEnding::CheckFailed);
        return;
    }

    switch (check) {
        case DeviceCheck::Scan:
            m_link.WakeReader();
            m_link.WriteWhenOpen(device::BuildDeviceStatusCommand());
            AwaitQuery(AnswerWatch::Awaited::ModeQuery);
            m_bDeviceReady = true;
            if (m_run.Step() != IspStep::Idle) {
                m_run.OnDockFound();
            }
            break;
        case DeviceCheck::Hub:
            StartTool(m_toolResults.m_hubToolText, &ToolLauncher::StartHubTool, L"hub");
            break;
        case DeviceCheck::Dp:
            StartTool(m_toolResults.m_dpToolText, &ToolLauncher::StartDpTool, L"DisplayPort");
            break;
    }
}

void UpgradeFlow::NoteDockSeen() {
    // A scan of a check starts from nothing: no version of an earlier dock.
    m_deviceVersion.reset();
    const HidLinkState& link = m_link.State();
    if (link.m_bOpen) {
        m_productId = m_package.m_wPackagePid;
    } else if (link.m_bVendorSeen) {
        m_productId = link.m_wSeenProductId;
    } else {
        m_productId.reset();
    }
}

void UpgradeFlow::StartTool(ToolResultText& result,
                            std::optional<MissingTool> (ToolLauncher::*start)(),
                            std::wstring_view tool) {
    // Two runs of one vendor tool would talk to one chip at once.
    if (result.InFlight()) {
        result.Rejoin();
        Log(L"The " + std::wstring(tool) +
            L" tool of the last check is still running: this check waits for its result.");
        return;
    }
    if (const std::optional<MissingTool> missing = (m_tools.*start)()) {
        Log(missing->name + L" is missing: " + missing->path);
    }
}

void UpgradeFlow::EndCheck(FlowEnding ending) {
    // A verdict that a part of "FW Ver" still to come would give again is not
    // the check's: only the last one is.
    if (m_schedule->Pending()) {
        return;
    }
    // Whatever the verdict, a check whose vendor tool could not run (it is
    // missing, or it was ended at its bound) did not judge the dock.
    const bool toolFailed = m_toolResults.m_hubToolText.Get().state == ToolResult::State::Failed ||
                            m_toolResults.m_dpToolText.Get().state == ToolResult::State::Failed;
    m_events.CheckEnded(toolFailed ? FlowEnding::CheckFailed : ending, Facts());
}

void UpgradeFlow::EndCheckEarly(DeviceCheck check, FlowEnding ending) {
    // The check is over: the user must be able to leave.
    m_buttons.Show(WithExit(m_buttons.Phase()));
    // The tool checks of "FW Ver" are followed by a scan, whose ending counts.
    if (check == DeviceCheck::Scan) {
        EndCheck(ending);
    }
}

CheckFacts UpgradeFlow::Facts() const {
    const bool bootloader = m_bIspMode;
    const std::optional<FirmwareVersion> device =
        bootloader ? std::nullopt : std::optional<FirmwareVersion>(m_deviceVersion);
    return CheckFacts{
        .package = m_package.m_bPackageLoaded
                       ? std::optional<FirmwareVersion>(m_images.m_byCodeVersion)
                       : std::nullopt,
        .device = device,
        .previous = device,
        .bootloader = bootloader,
        .hub = m_toolResults.m_hubToolText.Get(),
        .dp = m_toolResults.m_dpToolText.Get(),
        .productId = m_productId,
    };
}

// ---------------------------------------------------------------------------
// The answer watch

void UpgradeFlow::AwaitQuery(AnswerWatch::Awaited query) {
    if (!m_link.State().m_bOpen) {
        return;  // nothing was sent
    }
    m_watch.Await(query, kAnswerTimeoutMs);
}

void UpgradeFlow::OnNoAnswer() {
    const AnswerWatch::Awaited awaited = m_watch.Expired();
    if (!m_run.Over() || awaited == AnswerWatch::Awaited::Finish) {
        m_run.OnNoAnswer(awaited);
        return;
    }
    if (awaited == AnswerWatch::Awaited::Nothing || awaited == AnswerWatch::Awaited::RunAnswer) {
        return;
    }
    // The check is over without a dock to update: it may be checked again
    // or left, but not updated.
    Log(std::wstring(L"No answer from the dock within ") +
        std::to_wstring(kAnswerTimeoutMs / 1000) + L" s to the " +
        (awaited == AnswerWatch::Awaited::ModeQuery ? L"mode" : L"version") + L" query!");
    m_bDeviceReady = false;
    m_buttons.Show(ButtonPhase::CheckAllowed);
    EndCheck(FlowEnding::CheckFailed);
}

// ---------------------------------------------------------------------------
// Device watch, timers and buttons

void UpgradeFlow::OnHidArrival() {
    // Any HID device arriving (a mouse, a keyboard) would start a scan that
    // asks the dock for its mode in the middle of a transfer. Only the wait
    // for the dock's return in its bootloader needs the scan.
    if (m_run.Over() || m_run.AwaitsBootloader()) {
        m_schedule->ScanSoon();
    }
}

bool UpgradeFlow::OnHidRemoval(std::wstring_view interfaceName) {
    HidLinkState& link = m_link.State();
    if (!device::SameInterfaceName(interfaceName, link.m_strDevicePath)) {
        return false;
    }
    if (link.m_bOpen) {
        m_bIspMode = false;
        link.m_bOpen = false;
        link.m_bReadOpen = false;
        link.m_bWriteOpen = false;
        m_link.CloseDevice();
        Log(L"No Device found!");
        m_run.OnRemoval();
        // Nothing is under way any more (a check that lost the dock before
        // its answer, the power reset after PASS): no answer will come to
        // give the buttons back.
        m_buttons.Show(AfterRemoval(m_buttons.Phase(), m_run.Step() != IspStep::Idle));
        // A query the dock was asked before it left goes unanswered; that is
        // no silence to report.
        m_watch.Answered();
        m_run.WatchForAnswer();
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
                    m_schedule->AfterToolCheck(*part, m_run.Over());
                }
            }
            break;
        case TIMER_NO_ANSWER:
            OnNoAnswer();
            break;
        case TIMER_CHIP1_ERASE:
            m_run.OnChip1EraseTimer();
            break;
        default:
            break;
    }
}

void UpgradeFlow::OnFwVer() {
    for (int i = 0; i < 9; ++i) {
        Log(L" ");
    }
    m_buttons.Show(ButtonPhase::Busy);
    m_schedule->Begin();
    // The results of an earlier check, and any of its runs still to end,
    // belong to that check; so does the dock it found.
    m_toolResults.m_hubToolText.Reset();
    m_toolResults.m_dpToolText.Reset();
    m_deviceVersion.reset();
    m_productId.reset();
}

void UpgradeFlow::OnToolEnded() {
    m_schedule->OnToolEnded(m_run.Over());
    // A check that judged the dock while one of its tools still ran left
    // only exit; once none runs, the dock may be checked again.
    if (m_run.Over() && !m_schedule->Pending() && m_buttons.Phase() == ButtonPhase::Over &&
        !m_toolResults.m_hubToolText.InFlight() && !m_toolResults.m_dpToolText.InFlight()) {
        m_buttons.Show(ButtonPhase::CheckAllowed);
    }
}

void UpgradeFlow::OnStartUpgrade() {
    if (!m_bDeviceReady) {
        return;
    }
    m_window.ClearLog();
    Log(L"Waiting...");
    m_window.SetResultLook(ResultLook::Neutral);
    // A run talks to the dock alone: no check of "FW Ver" may reopen the
    // link under it.
    m_schedule->Cancel();
    m_events.RunBegan(Facts());
    m_run.Start();
}

void UpgradeFlow::OnExit() {
    m_surface.KillTimer(TIMER_SCAN);
    m_surface.KillTimer(TIMER_HUB_CHECK);
    m_surface.KillTimer(TIMER_DP_CHECK);
    m_surface.KillTimer(TIMER_NO_ANSWER);
    m_surface.KillTimer(TIMER_CHIP1_ERASE);
    m_surface.EndDialog();
}

void UpgradeFlow::Log(std::wstring text) {
    m_surface.PostLog(LogRecord{std::move(text), 0, LogText});
}
