// The device checks of "FW Ver" and of a run's return in the bootloader, and
// the verdict a check comes to.
#include "app/flow/UpgradeFlow.h"
#include "app/flow/VersionGate.h"
#include "app/log/LogLineFormat.h"
#include "device/DockIdentity.h"
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
    if (!RunOver(m_step) && !(check == DeviceCheck::Scan && m_step == IspStep::Chip3Erase)) {
        return;
    }
    m_link.OpenDevice(m_package.m_wPackageVid, m_package.m_wPackagePid, device::kDockRelease);
    if (RunOver(m_step)) {
        // An answer to an earlier query died with the old handles.
        m_watch.Stop();
    }
    m_bDeviceReady = false;
    ShowButtons(ButtonPhase::Busy);

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
            Send(device::BuildDeviceStatusCommand());
            AwaitQuery(AnswerWatch::Awaited::ModeQuery);
            m_bDeviceReady = true;
            if (m_step != IspStep::Idle) {
                StepSequencer();
                WatchForAnswer();
            }
            break;
        case DeviceCheck::Hub:
            NoteMissingTool(m_tools.StartHubTool());
            break;
        case DeviceCheck::Dp:
            NoteMissingTool(m_tools.StartDpTool());
            break;
    }
}

void UpgradeFlow::NoteMissingTool(const std::optional<MissingTool>& missing) {
    if (missing) {
        Log(missing->name + L" is missing: " + missing->path);
    }
}

void UpgradeFlow::EndCheck(FlowEnding ending) {
    // A verdict that a part of "FW Ver" still to come would give again is not
    // the check's: only the last one is reported.
    if (RunOver(m_step) && !m_schedule->Pending()) {
        // Whatever the verdict, a check whose vendor tool could not run (it is
        // missing, or it was ended at its bound) did not judge the dock.
        const bool toolFailed =
            m_toolResults.m_hubToolText.Get().state == ToolResult::State::Failed ||
            m_toolResults.m_dpToolText.Get().state == ToolResult::State::Failed;
        m_surface.ReportEnding(toolFailed ? FlowEnding::CheckFailed : ending);
    }
}

void UpgradeFlow::EndCheckEarly(DeviceCheck check, FlowEnding ending) {
    // The check is over: the user must be able to leave.
    ShowButtons(WithExit(m_buttons));
    // The tool checks of "FW Ver" are followed by a scan, whose ending counts.
    if (check == DeviceCheck::Scan) {
        EndCheck(ending);
    }
}

CheckFacts UpgradeFlow::Facts() const {
    return CheckFacts{.package = m_images.m_byCodeVersion,
                      .device = m_deviceVersion,
                      .bootloader = m_bIspMode,
                      .hub = m_toolResults.m_hubToolText.Get(),
                      .dp = m_toolResults.m_dpToolText.Get(),
                      .productId = m_package.m_wPackagePid};
}

int UpgradeFlow::CheckFirmwareVersion(const std::array<std::uint8_t, 4>& fileVersion,
                                      const std::array<std::uint8_t, 4>& deviceVersion) {
    const GateVerdict verdict =
        JudgeVersions(fileVersion, deviceVersion, m_toolResults.m_hubToolText.Get(),
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
    return verdict.offer ? 1 : 0;
}
