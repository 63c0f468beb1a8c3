#include "app/UpgradeFlow.h"

#include <algorithm>
#include <cwctype>

#include "app/LogLineFormat.h"
#include "app/VersionGate.h"
#include "device/DockIdentity.h"
#include "device/IspAnswer.h"
#include "device/IspCommand.h"
#include "device/IspDataPacket.h"
#include "package/ModelNames.h"

namespace {

// The dock's model as a deployment inventory shows it: its product ID, and its
// name when the model table knows it.
std::wstring ModelText(std::uint16_t productId) {
    const std::wstring name = LookUpModelName(productId);
    return FormatLogLine(L"0x%04x", static_cast<unsigned>(productId)) +
           (name == kUnknownModelName ? L"" : L" " + name);
}

// The step that closes the image a send step has sent whole.
std::uint8_t EndStepOf(std::uint8_t sendStep) {
    switch (sendStep) {
        case UpgradeFlow::STEP_CHIP2_FILE1_SEND:
            return UpgradeFlow::STEP_CHIP2_FILE1_END;
        case UpgradeFlow::STEP_CHIP2_FILE2_SEND:
            return UpgradeFlow::STEP_CHIP2_FILE2_END;
        case UpgradeFlow::STEP_CHIP3_SEND:
            return UpgradeFlow::STEP_CHIP3_END;
        case UpgradeFlow::STEP_CHIP1_SEND:
            return UpgradeFlow::STEP_CHIP1_END;
        default:
            return sendStep;
    }
}

bool SameInterfaceName(std::wstring_view a, std::wstring_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
        return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
    });
}

struct CheckTexts {
    const wchar_t* notFound;
    const wchar_t* productId;
    const wchar_t* deviceError;
    const wchar_t* fileError;
};

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
                if (m_nIspStep == STEP_IDLE) {
                    m_window.EnableControl(kStartButton, true);
                    m_window.EnableControl(kFwVerButton, true);
                    // No version answer follows in the bootloader, and it is the
                    // version answer that gives exit back after a check.
                    m_window.EnableControl(kExitButton, true);
                    EndCheck(FlowEnding::UpdateOffered);
                } else if (m_nIspStep != STEP_SHOW_PASS) {
                    // Back in its bootloader, the dock resumes the run at chip 3's
                    // erase; after a failure, exit was given back and is taken again.
                    m_nIspStep = STEP_CHIP3_ERASE;
                    DisableButtonsForWriting();
                }
            } else {
                m_nIspStep = STEP_IDLE;
                Log(L"AP device found!");
                SendGetVersion();
                AwaitQuery(AnswerWatch::Awaited::VersionQuery);
            }
        }
    } else if (code == device::USBUID_ISP_EFM8_CMD_DEVICE_VERSION) {
        if (const auto version = device::DecodeVersionAnswer(report)) {
            m_watch.Answered();
            m_deviceVersion = *version;
            if (CheckFirmwareVersion(m_images.m_byCodeVersion, *version) == 1) {
                m_window.EnableControl(kStartButton, true);
                m_window.EnableControl(kFwVerButton, true);
            }
            m_window.EnableControl(kExitButton, true);
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

void UpgradeFlow::SendSwitchMode() {
    if (m_bIspMode) {
        Send(device::BuildFinishCommand(m_images.m_wImage0Sum, m_images.m_dwImageLength[0],
                                        m_images.m_byCodeVersion));
    } else {
        Send(device::BuildJumpIspCommand());
    }
}

void UpgradeFlow::SendGetMode() {
    Send(device::BuildDeviceStatusCommand());
}
void UpgradeFlow::SendGetVersion() {
    Send(device::BuildDeviceVersionCommand());
}
void UpgradeFlow::SendChip3Erase() {
    Send(device::BuildEraseCommand(m_images.m_dwImageLength[0]));
}
void UpgradeFlow::SendChip3Checksum() {
    Send(device::BuildChecksumCommand(m_images.m_dwImageLength[0]));
}
void UpgradeFlow::SendChip1Prepare() {
    Send(device::BuildTiInitialCommand());
}
void UpgradeFlow::SendChip1Erase() {
    Send(device::BuildTiEraseCommand());
}
void UpgradeFlow::SendChip1EraseStatus() {
    Send(device::BuildTiStatusCommand());
}
void UpgradeFlow::SendChip1Checksum() {
    Send(device::BuildTiChecksumCommand(m_images.m_dwImageLength[4]));
}
void UpgradeFlow::SendChip1End() {
    Send(device::BuildTiEndCommand());
}
void UpgradeFlow::SendChip2Start() {
    Send(device::BuildMegachipInitialCommand());
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

// ---------------------------------------------------------------------------
// The programming sequence

void UpgradeFlow::BeginImage(int image, std::wstring heading, Step sendStep) {
    m_transfer.Begin(image, m_images.m_dwImageLength[image], sendStep == STEP_CHIP1_SEND);
    Log(std::move(heading));
    Log(L"");
    if (sendStep == STEP_CHIP2_FILE1_SEND) {
        m_window.SetProgressFill(kFillGold);
    }
    m_window.SetProgressPosition(0);
    m_nIspStep = sendStep;
}

void UpgradeFlow::SendStep() {
    const std::uint16_t percent = m_transfer.Percent();
    if (m_nIspStep == STEP_CHIP2_FILE2_SEND && percent == 0) {
        LogPercent(L"Wait...", percent);
    } else {
        LogPercent(FormatLogLine(L"%6u", m_transfer.Position()), percent);
    }
    if (!SendDataPacket()) {
        FailRun(L"Firmware file read error, update stopped!");
    }
}

void UpgradeFlow::EndImage(bool leadingSpace) {
    LogPercent(FormatLogLine(leadingSpace ? L" %6u" : L"%6u", m_transfer.Total()), 100);
}

void UpgradeFlow::FailRun(std::wstring_view line) {
    Log(std::wstring(line));
    EnterFailStep();
}

void UpgradeFlow::EnterFailStep() {
    // The verdict shows at once: after some failures nothing more is sent,
    // so no answer would come to show it.
    m_nIspStep = STEP_SHOW_FAIL;
    ShowVerdict(ResultLook::Fail);
    m_surface.ReportEnding(FlowEnding::RunFailed);
}

void UpgradeFlow::ShowVerdict(ResultLook look) {
    m_window.SetResultLook(look);
    // A run that has ended must never lock the user in: the close box of a
    // dialog whose cancel button is disabled does nothing either.
    m_window.EnableControl(kExitButton, true);
}

void UpgradeFlow::EndCheck(FlowEnding ending) {
    // A verdict that a part of "FW Ver" still to come would give again is not
    // the check's: only the last one is reported.
    if (RunOver() && !m_schedule->Pending()) {
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
    m_window.EnableControl(kExitButton, true);
    // The tool checks of "FW Ver" are followed by a scan, whose ending counts.
    if (check == DeviceCheck::Scan) {
        EndCheck(ending);
    }
}

std::wstring_view UpgradeFlow::AwaitedAnswer() const {
    // A run waits in the step that the awaited answer will run.
    switch (m_nIspStep) {
        case STEP_CHIP2_START:
            return L"chip 1's end";
        case STEP_CHIP2_FILE1_BEGIN:
            return L"chip 2's start";
        case STEP_CHIP2_FILE1_SEND:
        case STEP_CHIP2_FILE2_SEND:
            return L"a chip 2 data packet";
        case STEP_CHIP3_ERASE:
            return L"the dock's restart into its bootloader";
        case STEP_CHIP3_ERASE_CHECK:
            return L"chip 3's erase";
        case STEP_CHIP3_VERIFY:
            return L"chip 3's checksum";
        case STEP_CHIP3_SEND:
            return L"a chip 3 data packet";
        case STEP_CHIP1_PREPARE_CHECK:
            return L"chip 1's prepare";
        case STEP_CHIP1_ERASE_CHECK:
            return L"chip 1's erase";
        case STEP_CHIP1_ERASE_WAIT:
            return L"chip 1's erase status";
        case STEP_CHIP1_SEND:
            return L"a chip 1 data packet";
        case STEP_CHIP1_VERIFY:
            return L"chip 1's checksum";
        default:
            return L"the last report";
    }
}

bool UpgradeFlow::RunOver() const {
    return m_nIspStep == STEP_IDLE || m_nIspStep == STEP_SHOW_PASS || m_nIspStep == STEP_SHOW_FAIL;
}

void UpgradeFlow::WatchForAnswer() {
    if (RunOver()) {
        // A query of a check stays watched from when it was sent: answers
        // that cannot be read do not put its end off.
        const AnswerWatch::Awaited awaited = m_watch.What();
        if (awaited == AnswerWatch::Awaited::Nothing ||
            awaited == AnswerWatch::Awaited::RunAnswer) {
            m_watch.Stop();
        }
        return;
    }
    m_watch.Await(AnswerWatch::Awaited::RunAnswer,
                  m_nIspStep == STEP_CHIP3_ERASE ? kRestartTimeoutMs : kAnswerTimeoutMs);
}

void UpgradeFlow::AwaitQuery(AnswerWatch::Awaited query) {
    if (!m_link.State().m_bOpen) {
        return;  // nothing was sent
    }
    m_watch.Await(query, kAnswerTimeoutMs);
}

void UpgradeFlow::OnNoAnswer() {
    const AnswerWatch::Awaited awaited = m_watch.Expired();
    if (RunOver()) {
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
        m_window.EnableControl(kStartButton, false);
        m_window.EnableControl(kFwVerButton, true);
        m_window.EnableControl(kExitButton, true);
        EndCheck(FlowEnding::CheckFailed);
        return;
    }
    const unsigned seconds =
        (m_nIspStep == STEP_CHIP3_ERASE ? kRestartTimeoutMs : kAnswerTimeoutMs) / 1000;
    Log(L"No answer from the dock within " + std::to_wstring(seconds) + L" s to " +
        std::wstring(AwaitedAnswer()) + L", update stopped!");
    m_surface.KillTimer(TIMER_CHIP1_ERASE);
    m_nIspStep = STEP_IDLE;
    ShowVerdict(ResultLook::Fail);
    m_surface.ReportEnding(FlowEnding::RunFailed);
}

void UpgradeFlow::StepSequencer() {
    // Steps that hand over "at once" loop here; every other step ends the call
    // and waits for the dock's answer to what it sent.
    for (bool atOnce = true; atOnce;) {
        atOnce = false;
        switch (m_nIspStep) {
            case STEP_CHIP2_START:
                SendChip2Start();
                m_nIspStep = STEP_CHIP2_FILE1_BEGIN;
                break;
            case STEP_CHIP2_FILE1_BEGIN:
                BeginImage(
                    1, FormatLogLine(L"Chip 2 File 1/2 : %6u BYTES", m_images.m_dwImageLength[1]),
                    STEP_CHIP2_FILE1_SEND);
                atOnce = true;
                break;
            case STEP_CHIP2_FILE2_BEGIN:
                BeginImage(2, FormatLogLine(L"File 2/2 : %6u BYTES", m_images.m_dwImageLength[2]),
                           STEP_CHIP2_FILE2_SEND);
                atOnce = true;
                break;
            case STEP_CHIP3_ERASE_CHECK:
                if (LastStatus() != 0) {
                    Log(L"ISP Chip 3 ERASE ERROR!");
                    EnterFailStep();
                } else {
                    BeginImage(0,
                               FormatLogLine(L"File 1/1 : %6u BYTES", m_images.m_dwImageLength[0]),
                               STEP_CHIP3_SEND);
                    atOnce = true;
                }
                break;
            case STEP_CHIP2_FILE1_SEND:
            case STEP_CHIP2_FILE2_SEND:
            case STEP_CHIP3_SEND:
            case STEP_CHIP1_SEND:
                if (m_transfer.Done()) {
                    m_nIspStep = EndStepOf(m_nIspStep);
                    atOnce = true;
                } else {
                    SendStep();
                }
                break;
            case STEP_CHIP2_FILE1_END:
                EndImage(false);
                Log(L"File 1/2 End");
                m_nIspStep = STEP_CHIP2_FILE2_BEGIN;
                atOnce = true;
                break;
            case STEP_CHIP2_FILE2_END:
                EndImage(true);
                Log(L"File 2/2 End, ISP Chip 2 FINISH");
                m_nIspStep = STEP_CHIP3_SWITCH;
                atOnce = true;
                break;
            case STEP_CHIP3_SWITCH:
                m_window.SetProgressFill(kFillGold);
                SendSwitchMode();
                m_nIspStep = STEP_CHIP3_ERASE;
                break;
            case STEP_CHIP3_ERASE:
                // In its application the dock is still on its way to the bootloader.
                if (m_bIspMode) {
                    SendChip3Erase();
                    m_nIspStep = STEP_CHIP3_ERASE_CHECK;
                }
                break;
            case STEP_CHIP3_VERIFY:
                if (LastChecksumEquals(m_images.m_wImage0Sum)) {
                    Log(L"Chip 3 Checksum pass, ISP Success!");
                    if (m_bChip1Failed) {
                        Log(L"Chip 1 failed its checksum verification: the update did not pass.");
                    }
                    SendSwitchMode();
                    // The verdict comes before the request to power the dock off: a
                    // user who does so before closing the message still sees it, and
                    // the removal is then the expected power reset.
                    m_nIspStep = STEP_SHOW_PASS;
                    ShowVerdict(m_bChip1Failed ? ResultLook::Fail : ResultLook::Pass);
                    // Timers fire while the message is open; the run no longer
                    // waits for an answer that could time out.
                    WatchForAnswer();
                    m_surface.ShowModalMessage(L"Please, power reset device! ");
                    // The finish's answer is read once the message has closed,
                    // so its wait starts then; a power reset meanwhile ended it.
                    if (m_nIspStep == STEP_SHOW_PASS) {
                        AwaitQuery(AnswerWatch::Awaited::Finish);
                    }
                } else {
                    Log(L"ISP Chip 3 false!");
                    EnterFailStep();
                }
                break;
            case STEP_CHIP3_END:
                EndImage(false);
                Log(L"File 1/1 End");
                Log(L"ISP Chip 3 Finish!");
                m_window.SetProgressFill(kFillGreen);
                SendChip3Checksum();
                m_nIspStep = STEP_CHIP3_VERIFY;
                break;
            case STEP_SHOW_PASS:
                // The dock took the finish command: the run is over.
                if (m_watch.What() == AnswerWatch::Awaited::Finish) {
                    m_watch.Answered();
                }
                ShowVerdict(m_bChip1Failed ? ResultLook::Fail : ResultLook::Pass);
                m_surface.ReportEnding(m_bChip1Failed ? FlowEnding::RunFailed
                                                      : FlowEnding::RunPassed);
                break;
            case STEP_SHOW_FAIL:
                ShowVerdict(ResultLook::Fail);
                break;
            case STEP_CHIP1_PREPARE:
                m_window.SetProgressFill(kFillGold);
                Log(L"WORK_PREPARE..");
                SendChip1Prepare();
                m_nIspStep = STEP_CHIP1_PREPARE_CHECK;
                break;
            case STEP_CHIP1_PREPARE_CHECK:
                if (LastStatus() != 0) {
                    Log(L"ISP Chip 1 FLASH ERROR!");
                    SendChip1End();
                    EnterFailStep();
                } else {
                    SendChip1Erase();
                    m_nIspStep = STEP_CHIP1_ERASE_CHECK;
                }
                break;
            case STEP_CHIP1_ERASE_CHECK:
                if (LastStatus() != 0) {
                    Log(L"ISP Chip 1 ERASE ERROR!");
                    SendChip1End();
                    EnterFailStep();
                } else {
                    Log(L"Chip 1 Erasing...");
                    SendChip1EraseStatus();
                    m_nIspStep = STEP_CHIP1_ERASE_WAIT;
                    m_bChip1EraseExpired = false;
                    m_surface.SetTimer(TIMER_CHIP1_ERASE, kChip1EraseLimitMs);
                }
                break;
            case STEP_CHIP1_ERASE_WAIT:
                if (LastStatus() != 0 && m_bChip1EraseExpired) {
                    // An erase that is still busy after a minute will not finish.
                    Log(L"ISP Chip 1 ERASE ERROR!");
                    SendChip1End();
                    EnterFailStep();
                } else if (LastStatus() != 0) {
                    SendChip1EraseStatus();
                    m_surface.Pause(kErasePollPauseMs);
                } else {
                    m_surface.KillTimer(TIMER_CHIP1_ERASE);
                    BeginImage(
                        4,
                        FormatLogLine(L"Chip 1 File 1/1 : %6u BYTES", m_images.m_dwImageLength[4]),
                        STEP_CHIP1_SEND);
                    atOnce = true;
                }
                break;
            case STEP_CHIP1_END:
                EndImage(false);
                Log(L"File 1/1 End");
                Log(L"ISP Chip 1 Finish!");
                Log(L"Verify..");
                SendChip1Checksum();
                m_nIspStep = STEP_CHIP1_VERIFY;
                break;
            case STEP_CHIP1_VERIFY:
                if (LastChecksumEquals(m_images.m_wImage4Sum)) {
                    Log(L"Chip 1 Checksum pass, ISP Success!");
                } else {
                    const auto answer = std::span(m_lastReport.data(), m_lastReportLength);
                    Log(FormatLogLine(
                        L"Chip 1 checksum cul:%6x , %6x",
                        static_cast<unsigned>(device::DecodeChecksum(answer).value_or(0)),
                        static_cast<unsigned>(m_images.m_wImage4Sum)));
                    Log(L"ISP false!");
                    m_bChip1Failed = true;
                }
                m_nIspStep = STEP_CHIP2_START;
                SendChip1End();
                break;
            default:
                // Idle, and the unused step values, do nothing.
                break;
        }
    }
}

// ---------------------------------------------------------------------------
// Device checks and the version gate

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
    if (!RunOver() && !(check == DeviceCheck::Scan && m_nIspStep == STEP_CHIP3_ERASE)) {
        return;
    }
    m_link.OpenDevice(m_package.m_wPackageVid, m_package.m_wPackagePid, device::kDockRelease);
    if (RunOver()) {
        // An answer to an earlier query died with the old handles.
        m_watch.Stop();
    }
    m_bDeviceReady = false;
    m_window.EnableControl(kStartButton, false);
    m_window.EnableControl(kFwVerButton, false);
    m_window.EnableControl(kExitButton, false);

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
            SendGetMode();
            AwaitQuery(AnswerWatch::Awaited::ModeQuery);
            m_bDeviceReady = true;
            if (m_nIspStep != STEP_IDLE) {
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

std::vector<std::wstring> UpgradeFlow::CheckSummary() const {
    const std::wstring device = m_bIspMode        ? L"bootloader"
                                : m_deviceVersion ? VersionText(*m_deviceVersion)
                                                  : L"none";
    const ToolResult hub = m_toolResults.m_hubToolText.Get();
    const std::wstring dp = DpVersionLine(m_toolResults.m_dpToolText.Get());
    return {
        L"package=" + VersionText(m_images.m_byCodeVersion),
        L"device=" + device,
        L"hub=" + (hub.state == ToolResult::State::NotRun ? L"none" : HubResultLine(hub)),
        L"dp=" + (dp.empty() ? L"none" : dp),
        L"model=" + ModelText(m_package.m_wPackagePid),
    };
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

// ---------------------------------------------------------------------------
// Device watch, timers and buttons

void UpgradeFlow::OnHidArrival() {
    // Any HID device arriving (a mouse, a keyboard) would start a scan that
    // asks the dock for its mode in the middle of a transfer. Only the wait
    // for the dock's return in its bootloader needs the scan.
    if (RunOver() || m_nIspStep == STEP_CHIP3_ERASE) {
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
        switch (m_nIspStep) {
            case STEP_CHIP3_ERASE:  // leaving on its way into the bootloader
            case STEP_IDLE:
                break;
            case STEP_SHOW_PASS:  // the power reset the user was asked for
                m_nIspStep = STEP_IDLE;
                m_watch.Stop();
                m_surface.ReportEnding(m_bChip1Failed ? FlowEnding::RunFailed
                                                      : FlowEnding::RunPassed);
                break;
            default:
                m_nIspStep = STEP_IDLE;
                Log(L"Error!, restart please.");
                // The run is over without a result: it failed.
                ShowVerdict(ResultLook::Fail);
                m_surface.ReportEnding(FlowEnding::RunFailed);
                break;
        }
        m_window.EnableControl(kStartButton, false);
        // Nothing is under way any more (a check that lost the dock before
        // its answer, the power reset after PASS): a scan may have disabled
        // the exit, and no answer will come to give it back.
        if (m_nIspStep == STEP_IDLE) {
            m_window.EnableControl(kExitButton, true);
        }
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
                    m_schedule->AfterToolCheck(*part, RunOver());
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
    m_window.EnableControl(kFwVerButton, false);
    m_window.EnableControl(kStartButton, false);
    m_window.EnableControl(kExitButton, false);
    m_schedule->Begin();
    // The results of an earlier check, and any of its runs still to end,
    // belong to that check.
    m_toolResults.m_hubToolText.Reset();
    m_toolResults.m_dpToolText.Reset();
}

void UpgradeFlow::OnToolEnded() {
    m_schedule->OnToolEnded(RunOver());
}

// A run talks to the dock alone: no check of "FW Ver" may reopen the link
// under it.
void UpgradeFlow::CancelFwVerChecks() {
    m_schedule->Cancel();
}

void UpgradeFlow::DisableButtonsForWriting() {
    m_window.EnableControl(kFwVerButton, false);
    m_window.EnableControl(kStartButton, false);
    m_window.EnableControl(kScanButton, false);
    m_window.EnableControl(kExitButton, false);
}

void UpgradeFlow::OnStartUpgrade() {
    if (!m_bDeviceReady) {
        return;
    }
    m_window.ClearLog();
    Log(L"Waiting...");
    m_window.SetResultLook(ResultLook::Neutral);
    m_bChip1Failed = false;
    if (m_bIspMode) {
        m_nIspStep = STEP_CHIP3_ERASE;
    } else if (m_images.m_chUpdatePlan == '2') {
        m_nIspStep = STEP_CHIP2_START;
    } else if (m_images.m_chUpdatePlan == '3') {
        m_nIspStep = STEP_CHIP1_PREPARE;
    } else {
        m_nIspStep = STEP_CHIP3_SWITCH;
    }
    CancelFwVerChecks();
    DisableButtonsForWriting();
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

void UpgradeFlow::Log(std::wstring text) {
    m_surface.PostLog(LogRecord{std::move(text), 0, LogText});
}

void UpgradeFlow::LogPercent(std::wstring text, std::uint16_t percent) {
    m_surface.PostLog(LogRecord{std::move(text), percent, LogProgress});
}
