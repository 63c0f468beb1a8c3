#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <set>

#include "app/outcome/Announcements.h"
#include "app/outcome/StatusRecord.h"
#include "testbed/sim/TraceReplay.h"
#include "tests/support/FlowHarness.h"

// Every way a run can end: each must leave a verdict on the label, never PASS
// after a failure, and an exit button the user can press.
namespace {

bool EverPassed(const RecordingSurface& surface) {
    return std::find(surface.looks.begin(), surface.looks.end(), ResultLook::Pass) !=
           surface.looks.end();
}

// Hands the dock's answers over one by one until the run waits in `step`
// (after the restart into the bootloader too).
bool HandOverUntilStep(FlowHarness& h, IspStep step) {
    for (int guard = 0; guard < 20000; ++guard) {
        if (h.flow.Step() == step) {
            return true;
        }
        if (h.link.Pending() == 0) {
            h.Advance(200, /*pump=*/false);  // the scan after the dock's return
            if (h.link.Pending() == 0 && h.flow.Step() != step) {
                return false;
            }
            continue;
        }
        h.Pump(1);
    }
    return false;
}

// Starts a run of all three chips and hands it over until it waits in `step`.
bool RunUntilStep(FlowHarness& h, IspStep step) {
    h.Scan();
    h.flow.OnStartUpgrade();
    return HandOverUntilStep(h, step);
}

// The technician pulls the cable: the window hears of it at once, before any
// answer still on its way, and the dock says nothing more.
void PullTheDock(FlowHarness& h) {
    for (const sim::BusEvent& event : h.dock.Unplug()) {
        h.flow.OnHidRemoval(event.path);
    }
}

// Hands over the rest of a run: what the dock still says, its return in the
// bootloader and, after PASS, the power-off the user is asked for (but not
// the dock's return from it).
void RunToTheEnd(FlowHarness& h) {
    h.Pump();
    if (h.flow.Step() == IspStep::Chip3Erase) {
        h.Advance(200);  // the scan that finds the dock in its bootloader
    }
    if (h.flow.Step() == IspStep::ShowPass) {
        PullTheDock(h);
    }
}

void StartAndRunToTheEnd(FlowHarness& h) {
    h.Scan();
    h.flow.OnStartUpgrade();
    RunToTheEnd(h);
}

// ---------------------------------------------------------------------------
// How a fault is brought about; `at` is the step it strikes in.

void Pulled(FlowHarness& h, IspStep at) {
    ASSERT_TRUE(RunUntilStep(h, at)) << StepNumber(at);
    PullTheDock(h);
}

// The removal the jump into the bootloader causes itself.
void LeavesForItsBootloader(FlowHarness& h, IspStep at) {
    ASSERT_TRUE(RunUntilStep(h, at)) << StepNumber(at);
    h.flow.OnHidRemoval(h.link.State().m_strDevicePath);
}

void PulledWhileTheMessageIsOpen(FlowHarness& h, IspStep /*at*/) {
    h.surface.onMessage = [&h] { PullTheDock(h); };
    ASSERT_TRUE(RunUntilStep(h, IspStep::Chip3Verify));
    h.Pump();
}

// The dock may restart by itself while the message is still open; the scan its
// return brings finds it again, and then the user powers it off as asked.
void RestartedThenPulledWhileTheMessageIsOpen(FlowHarness& h, IspStep /*at*/) {
    h.surface.onMessage = [&h] {
        PullTheDock(h);
        h.dock.Plug();
        h.flow.OnHidArrival();
        h.Advance(200, /*pump=*/false);
        PullTheDock(h);
    };
    ASSERT_TRUE(RunUntilStep(h, IspStep::Chip3Verify));
    h.Pump();
}

// The run has already failed (chip 1's prepare) and waits for the answer to
// the end command that followed.
void PulledAfterAFailure(FlowHarness& h, IspStep at) {
    h.dock.Faults().chip1FlashError = true;
    Pulled(h, at);
}

// What the dock was about to say is lost, and it says nothing more; the run
// must give up after exactly `timeoutMs` on the virtual clock.
template <unsigned timeoutMs>
void FallsSilent(FlowHarness& h, IspStep at) {
    ASSERT_TRUE(RunUntilStep(h, at)) << StepNumber(at);
    h.dock.Faults().silentFromReport = h.dock.ReportCount() + 1;
    while (h.link.TakeNext()) {
    }
    ASSERT_EQ(h.flow.Step(), at);
    h.Advance(timeoutMs - 1);
    EXPECT_EQ(h.flow.Step(), at) << "given up too early";
    h.Advance(1);
}

// Written and verified, the dock takes the finish command and never answers
// it: the run ends after exactly the answer time-out, from the moment the
// power-reset message closed, without the power reset.
void FinishUnanswered(FlowHarness& h, IspStep at) {
    h.dock.Faults().finishUnanswered = true;
    unsigned closedAt = 0;
    h.surface.onMessage = [&h, &closedAt] { closedAt = h.surface.now; };
    ASSERT_TRUE(RunUntilStep(h, at));
    h.Pump();
    const std::size_t endings = h.surface.Endings().size();  // the check's, before the run
    h.Advance(kAnswerTimeoutMs - 1 - (h.surface.now - closedAt));
    EXPECT_EQ(h.surface.Endings().size(), endings) << "given up too early";
    h.Advance(1);
}

// The dock's interfaces arrive just after "FW Ver": the scan they bring offers
// the update before the hub and DisplayPort checks have run, and the user
// starts at once. The checks' times pass while the run waits in `at`.
void StartedBeforeTheChecksOfFwVer(FlowHarness& h, IspStep at) {
    h.flow.OnFwVer();
    h.flow.OnHidArrival();
    h.Advance(200);
    h.flow.OnStartUpgrade();
    ASSERT_TRUE(HandOverUntilStep(h, at)) << StepNumber(at);
    h.Advance(8000, /*pump=*/false);
    RunToTheEnd(h);
}

// A dock that stays silent to the mode query of a check, in every state a
// run can leave behind.
void SilentToTheScan(FlowHarness& h, IspStep at) {
    UpgradeFlowTestAccess::SetStep(h.flow, at);
    h.dock.Faults().silentFromReport = 1;
    h.Scan();
    h.Advance(kAnswerTimeoutMs);
}

// Chip 3 failed its checksum and the dock waits in its bootloader; a HID
// arrival brings a scan, and the run resumes at chip 3's erase: the exit that
// the failure gave back is taken away while chip 3 is written.
void ResumedInItsBootloaderAfterAFailure(FlowHarness& h, IspStep /*at*/) {
    h.dock.Faults().chip3WrongChecksum = true;
    StartAndRunToTheEnd(h);
    ASSERT_EQ(h.flow.Step(), IspStep::ShowFail);
    ASSERT_TRUE(h.surface.Enabled(UpgradeFlow::kExitButton));
    h.dock.Faults().chip3WrongChecksum = false;
    h.flow.OnHidArrival();
    h.Advance(200, /*pump=*/false);
    ASSERT_TRUE(HandOverUntilStep(h, IspStep::Chip3Send));
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false}));
    h.surface.looks.clear();  // the resumed writing is judged on its own
    RunToTheEnd(h);
}

template <bool sim::DockFaults::*fault>
void Armed(FlowHarness& h, IspStep /*at*/) {
    h.dock.Faults().*fault = true;
    StartAndRunToTheEnd(h);
}

// The erase is given up after a minute of busy answers, not before and not
// much later.
void EraseBusyForever(FlowHarness& h, IspStep /*at*/) {
    h.dock.Faults().chip1EndlessBusy = true;
    h.Scan();
    h.flow.OnStartUpgrade();
    h.Pump();
    EXPECT_GE(h.surface.now, 60000U);
    EXPECT_LT(h.surface.now, 60100U);
}

// While the run waits for the dock's restart, before the dock has left the
// bus, a scan that another device's arrival brought finds it still in its
// application: that is no answer to the run, which goes on.
void AnsweredFromItsApplicationBeforeItLeaves(FlowHarness& h, IspStep at) {
    ASSERT_TRUE(RunUntilStep(h, at)) << StepNumber(at);
    h.flow.OnIspReport(sim::StatusAnswer(device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS, 0x00));
    RunToTheEnd(h);
}

// A mouse plugged in during a transfer; the window goes on handling its
// timers while the dock answers.
void ForeignArrival(FlowHarness& h, IspStep at) {
    ASSERT_TRUE(RunUntilStep(h, at)) << StepNumber(at);
    h.flow.OnHidArrival();
    h.Advance(200, /*pump=*/false);
    RunToTheEnd(h);
}

// ---------------------------------------------------------------------------
// The matrix

// What a deployment system and the people at both ends learn of the ending
// that counts, as the outcome decides it: the exit code in the default and
// the installer convention (none while the run goes on), the status token of
// the record and of /c, the event reported, and the console's notice; and
// whether it is the run's own, which comes exactly once.
struct Outcome {
    std::optional<int> code;
    std::optional<int> installerCode;
    std::wstring_view status;
    std::optional<EndingEvent> event;
    std::optional<std::wstring_view> notice;
    bool ofRun = true;
};
constexpr std::wstring_view kFailedNotice =
    L"Your dock's firmware update did not finish, and the dock may not work until it is updated "
    L"again. Leave it connected; if it still does not work later, contact your IT support.";
constexpr std::wstring_view kPassedNotice =
    L"Your dock's firmware was updated. To finish, unplug the dock's own power cable (not only "
    L"the cable to this computer), wait 10 seconds and plug it back in.";
constexpr EndingEvent kFailedEvent{1001, EventType::Error};
constexpr Outcome kFailed{1, 1603, L"Failed", kFailedEvent, kFailedNotice};
// Failed before anything was written: no one need be told.
constexpr Outcome kFailedUnwritten{1, 1603, L"Failed", kFailedEvent, std::nullopt};
constexpr Outcome kPassed{2, 3010, L"PendingPowerReset", EndingEvent{1002, EventType::Information},
                          kPassedNotice};
// A check's own ending, in the window: no event.
constexpr Outcome kCheckFailed{1, 1603, L"Failed", std::nullopt, std::nullopt, false};
constexpr Outcome kGoesOn{std::nullopt, std::nullopt, L"", std::nullopt, std::nullopt};

struct Ending {
    std::vector<std::wstring> lastLines;
    ResultLook look;
    IspStep step;
    Buttons buttons;
    // What a deployment system reads of the ending.
    Outcome outcome;
    // The command the dock received last, where it matters.
    std::optional<std::uint8_t> lastCommand = std::nullopt;
    // The dock received exactly what it receives in a run without faults.
    bool trafficOfAGoodRun = false;
};

struct Row {
    const char* name;
    IspStep at;
    void (*bringAbout)(FlowHarness&, IspStep);
    Ending end;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

using F = UpgradeFlow;
constexpr Buttons kOnlyExit{false, false, true};
constexpr Buttons kNone{false, false, false};

const std::vector<std::wstring> kRemovedInARun{L"No Device found!", L"Error!, restart please."};
const std::vector<std::wstring> kPassedAndPowerReset{L"Chip 3 Checksum pass, ISP Success!",
                                                     L"No Device found!"};

std::vector<std::wstring> NoAnswer(const std::wstring& seconds, const std::wstring& awaited) {
    return {L"No answer from the dock within " + seconds + L" s to " + awaited +
            L", update stopped!"};
}

const Row kRows[] = {
    // Removal in every step a run waits in.
    {"RemovedAwaitingChip1Prepare",
     IspStep::Chip1PrepareCheck,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailedUnwritten}},
    {"RemovedAwaitingChip1Erase",
     IspStep::Chip1EraseCheck,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedDuringChip1ErasePolls",
     IspStep::Chip1EraseWait,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedDuringChip1Data",
     IspStep::Chip1Send,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedAwaitingChip1Checksum",
     IspStep::Chip1Verify,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedAwaitingChip1End",
     IspStep::Chip2Start,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedAwaitingChip2Start",
     IspStep::Chip2File1Begin,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedDuringChip2File1Data",
     IspStep::Chip2File1Send,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedDuringChip2File2Data",
     IspStep::Chip2File2Send,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    // The expected restart: the run waits on for the dock's return.
    {"LeavesForItsBootloader",
     IspStep::Chip3Erase,
     LeavesForItsBootloader,
     {{L"No Device found!"}, ResultLook::Neutral, IspStep::Chip3Erase, kNone, kGoesOn}},
    {"RemovedAwaitingChip3Erase",
     IspStep::Chip3EraseCheck,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedDuringChip3Data",
     IspStep::Chip3Send,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"RemovedAwaitingChip3Checksum",
     IspStep::Chip3Verify,
     Pulled,
     {kRemovedInARun, ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    // The power reset the user was asked for, before or after closing the message.
    {"PoweredOffWhileTheMessageIsOpen",
     IspStep::ShowPass,
     PulledWhileTheMessageIsOpen,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed}},
    {"RestartedThenPoweredOffWhileTheMessageIsOpen",
     IspStep::ShowPass,
     RestartedThenPulledWhileTheMessageIsOpen,
     {{L"Chip 3 Checksum pass, ISP Success!", L"No Device found!", L"No Device found!"},
      ResultLook::Pass,
      IspStep::Idle,
      kOnlyExit,
      kPassed}},
    {"FinishUnanswered",
     IspStep::ShowPass,
     FinishUnanswered,
     {{L"Chip 3 Checksum pass, ISP Success!",
       L"No answer from the dock within 10 s to the finish command: power reset the dock to run "
       L"its new firmware."},
      ResultLook::Pass,
      IspStep::ShowPass,
      kOnlyExit,
      kPassed}},
    {"PoweredOffAfterTheMessage",
     IspStep::ShowPass,
     Pulled,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed}},
    {"RemovedAfterAFailure",
     IspStep::ShowFail,
     PulledAfterAFailure,
     {{L"ISP Chip 1 FLASH ERROR!", L"No Device found!", L"Error!, restart please."},
      ResultLook::Fail,
      IspStep::Idle,
      kOnlyExit,
      kFailedUnwritten}},

    // Error statuses and checksums the dock reports.
    {"Chip1PrepareFails",
     IspStep::Idle,
     Armed<&sim::DockFaults::chip1FlashError>,
     {{L"WORK_PREPARE..", L"ISP Chip 1 FLASH ERROR!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailedUnwritten,
      device::USBUID_ISP_EFM8_CMD_TI_END}},
    {"Chip1EraseFails",
     IspStep::Idle,
     Armed<&sim::DockFaults::chip1EraseError>,
     {{L"WORK_PREPARE..", L"ISP Chip 1 ERASE ERROR!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailed,
      device::USBUID_ISP_EFM8_CMD_TI_END}},
    {"Chip3EraseFails",
     IspStep::Idle,
     Armed<&sim::DockFaults::chip3EraseError>,
     {{L"ISP device found!", L"ISP Chip 3 ERASE ERROR!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailed,
      device::USBUID_ISP_EFM8_CMD_ERASE}},
    {"Chip3ChecksumDiffers",
     IspStep::Idle,
     Armed<&sim::DockFaults::chip3WrongChecksum>,
     {{L"ISP Chip 3 Finish!", L"ISP Chip 3 false!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailed,
      device::USBUID_ISP_EFM8_CMD_CHECKSUM}},
    // No finish with the new version follows a chip 1 that did not verify.
    {"Chip1ChecksumDiffers",
     IspStep::Idle,
     Armed<&sim::DockFaults::chip1WrongChecksum>,
     {{L"Chip 1 checksum cul:  37a2 ,   37a1", L"ISP false!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailed,
      device::USBUID_ISP_EFM8_CMD_TI_END}},
    // The restart after the jump boots the application again: the run is
    // over, and "FW Ver" checks the dock again.
    {"BackInItsApplicationAfterTheJump",
     IspStep::Idle,
     Armed<&sim::DockFaults::jumpIntoApplication>,
     {{L"AP device found!",
       L"The dock restarted into its application instead of its update mode: the update did "
       L"not finish."},
      ResultLook::Fail,
      IspStep::Idle,
      Buttons{false, true, true},
      kFailed,
      device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS}},
    {"AnsweredFromItsApplicationBeforeItLeaves",
     IspStep::Chip3Erase,
     AnsweredFromItsApplicationBeforeItLeaves,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},
    {"Chip1EraseBusyForever",
     IspStep::Idle,
     EraseBusyForever,
     {{L"Chip 1 Erasing...", L"ISP Chip 1 ERASE ERROR!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      kOnlyExit,
      kFailed,
      device::USBUID_ISP_EFM8_CMD_TI_END}},

    // A dock that falls silent, in each kind of wait.
    {"SilentAwaitingChip1Prepare",
     IspStep::Chip1PrepareCheck,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 1's prepare"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailedUnwritten}},
    {"SilentAwaitingChip1Erase",
     IspStep::Chip1EraseCheck,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 1's erase"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"SilentDuringChip1ErasePolls",
     IspStep::Chip1EraseWait,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 1's erase status"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailed}},
    {"SilentDuringChip1Data",
     IspStep::Chip1Send,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"a chip 1 data packet"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailed}},
    {"SilentAwaitingChip1Checksum",
     IspStep::Chip1Verify,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 1's checksum"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"SilentAwaitingChip1End",
     IspStep::Chip2Start,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 1's end"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"SilentAwaitingChip2Start",
     IspStep::Chip2File1Begin,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 2's start"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"SilentDuringChip2File1Data",
     IspStep::Chip2File1Send,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"a chip 2 data packet"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailed}},
    {"SilentDuringChip2File2Data",
     IspStep::Chip2File2Send,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"a chip 2 data packet"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailed}},
    {"SilentAwaitingTheBootloader",
     IspStep::Chip3Erase,
     FallsSilent<30000>,
     {NoAnswer(L"30", L"the dock's restart into its bootloader"), ResultLook::Fail, IspStep::Idle,
      kOnlyExit, kFailed}},
    {"SilentAwaitingChip3Erase",
     IspStep::Chip3EraseCheck,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 3's erase"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},
    {"SilentDuringChip3Data",
     IspStep::Chip3Send,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"a chip 3 data packet"), ResultLook::Fail, IspStep::Idle, kOnlyExit,
      kFailed}},
    {"SilentAwaitingChip3Checksum",
     IspStep::Chip3Verify,
     FallsSilent<10000>,
     {NoAnswer(L"10", L"chip 3's checksum"), ResultLook::Fail, IspStep::Idle, kOnlyExit, kFailed}},

    // Checks of "FW Ver" still to come when the run starts never reopen the
    // link under it.
    {"StartedBeforeTheChecksOfFwVerDuringChip1Data",
     IspStep::Chip1Send,
     StartedBeforeTheChecksOfFwVer,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},
    {"StartedBeforeTheChecksOfFwVerDuringChip2Data",
     IspStep::Chip2File1Send,
     StartedBeforeTheChecksOfFwVer,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},

    // A run resumed in the bootloader after a failure takes exit away again.
    {"ResumedInItsBootloaderAfterAFailure",
     IspStep::ShowFail,
     ResumedInItsBootloaderAfterAFailure,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed}},

    // The check a run leaves behind: a silent dock leaves "FW Ver" and exit.
    {"SilentToTheScanWhenIdle",
     IspStep::Idle,
     SilentToTheScan,
     {{L"No answer from the dock within 10 s to the mode query!"},
      ResultLook::Neutral,
      IspStep::Idle,
      Buttons{false, true, true},
      kCheckFailed}},
    {"SilentToTheScanAfterAFailure",
     IspStep::ShowFail,
     SilentToTheScan,
     {{L"No answer from the dock within 10 s to the mode query!"},
      ResultLook::Fail,
      IspStep::ShowFail,
      Buttons{false, true, true},
      kCheckFailed}},
    {"SilentToTheScanAfterPass",
     IspStep::ShowPass,
     SilentToTheScan,
     {{L"No answer from the dock within 10 s to the mode query!"},
      ResultLook::Pass,
      IspStep::ShowPass,
      Buttons{false, true, true},
      kCheckFailed}},

    // Another HID device arriving does not disturb a transfer.
    {"ForeignArrivalDuringChip1Data",
     IspStep::Chip1Send,
     ForeignArrival,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},
    {"ForeignArrivalDuringChip2Data",
     IspStep::Chip2File2Send,
     ForeignArrival,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},
    {"ForeignArrivalDuringChip3Data",
     IspStep::Chip3Send,
     ForeignArrival,
     {kPassedAndPowerReset, ResultLook::Pass, IspStep::Idle, kOnlyExit, kPassed, std::nullopt,
      true}},
};

// What the dock receives in a run without faults, driven as the rows drive it.
const std::vector<device::IspReport>& GoodRunTraffic() {
    static const std::vector<device::IspReport> traffic = [] {
        FlowHarness h;
        StartAndRunToTheEnd(h);
        return h.dock.Received();
    }();
    return traffic;
}

// The lines of `expected` and `actual` as a diff: "-" for a line only the
// first has, "+" for one only the second has, "  " for the lines they share.
std::string ShapeDiff(const std::vector<std::string>& expected,
                      const std::vector<std::string>& actual) {
    const std::size_t n = expected.size();
    const std::size_t m = actual.size();
    std::vector<std::vector<std::size_t>> common(n + 1, std::vector<std::size_t>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t j = m; j-- > 0;) {
            common[i][j] = expected[i] == actual[j] ? common[i + 1][j + 1] + 1
                                                    : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    std::string diff;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            diff += "  " + expected[i++] + "\n";
            ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            diff += "+ " + actual[j++] + "\n";
        } else {
            diff += "- " + expected[i++] + "\n";
        }
    }
    return diff;
}

// Each row's traffic in its shape, as kept under tests/data/shapes, so that a
// change of the bytes the tool sends shows as a diff in review; `make shapes`
// (KR_WRITE_SHAPES=1) writes them anew.
void ExpectShape(const std::string& name, const std::vector<std::string>& shape) {
    const std::filesystem::path file =
        std::filesystem::path(KR_SOURCE_DIR) / "tests/data/shapes" / (name + ".txt");
    if (std::getenv("KR_WRITE_SHAPES") != nullptr) {
        std::ofstream out(file, std::ios::binary);
        for (const std::string& line : shape) {
            out << line << "\n";
        }
        return;
    }
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file << " is missing: make shapes writes it";
    std::vector<std::string> kept;
    for (std::string line; std::getline(in, line);) {
        kept.push_back(line);
    }
    EXPECT_TRUE(kept == shape) << "the traffic's shape differs from " << file << ":\n"
                               << ShapeDiff(kept, shape);
}

class FaultMatrix : public testing::TestWithParam<Row> {};

TEST_P(FaultMatrix, EndsVisibly) {
    const Row& row = GetParam();
    const Ending& end = row.end;
    const std::vector<device::IspReport>& good = GoodRunTraffic();

    // The window's outcome, with the console's notice that a silent run gives.
    FlowHarness h({}, '3', UpgradeFlow::Schedule::WindowTimers,
                  Audience{.unattended = false, .checkOnly = false, .notice = true});
    h.StartTrace();
    row.bringAbout(h, row.at);
    if (HasFatalFailure()) {
        return;
    }
    h.Pump();  // whatever is still on its way

    EXPECT_EQ(LastLines(h.surface, end.lastLines.size()), end.lastLines);
    EXPECT_EQ(h.surface.Look(), end.look);
    EXPECT_EQ(h.flow.Step(), end.step);
    EXPECT_EQ(ButtonsOf(h.surface), end.buttons);
    // Each run comes to exactly one ending; the row's is the last run's, or
    // the check's that counted last. The machine is kept awake from each
    // run's start to its ending.
    const auto& conclusions = h.surface.conclusions;
    const auto& awake = h.surface.awakeChanges;
    const bool runEnded = end.outcome.code && end.outcome.ofRun;
    const auto begun = std::count(awake.begin(), awake.end(), true);
    for (std::size_t i = 0; i < awake.size(); ++i) {
        EXPECT_EQ(awake[i], i % 2 == 0);
    }
    EXPECT_EQ(awake.size() % 2 == 0, !end.outcome.ofRun || runEnded);
    EXPECT_EQ(std::count_if(conclusions.begin(), conclusions.end(),
                            [](const Conclusion& c) { return c.ofRun; }),
              runEnded || !end.outcome.ofRun ? begun : begun - 1);
    if (end.outcome.code) {
        const auto counted =
            std::find_if(conclusions.rbegin(), conclusions.rend(),
                         [&](const Conclusion& c) { return c.ofRun || !end.outcome.ofRun; });
        ASSERT_NE(counted, conclusions.rend());
        EXPECT_EQ(counted->ofRun, end.outcome.ofRun);
        EXPECT_EQ(counted->code, *end.outcome.code);
        EXPECT_EQ(InstallerCodeOf(counted->code), end.outcome.installerCode);
        EXPECT_EQ(StatusTokenOf(counted->ending), end.outcome.status);
        EXPECT_EQ(counted->event, end.outcome.event);
        EXPECT_EQ(counted->notice, end.outcome.notice);
    }

    // Once a failure has shown, PASS never shows again; a failed run never
    // shows it at all.
    const auto& looks = h.surface.looks;
    EXPECT_EQ(std::find(std::find(looks.begin(), looks.end(), ResultLook::Fail), looks.end(),
                        ResultLook::Pass),
              looks.end());
    if (end.look == ResultLook::Fail) {
        EXPECT_FALSE(EverPassed(h.surface));
    }

    // A run that is over waits for nothing; one that waits on is watched.
    const bool over =
        end.step == IspStep::Idle || end.step == IspStep::ShowPass || end.step == IspStep::ShowFail;
    EXPECT_EQ(h.surface.timers.contains(F::TIMER_NO_ANSWER), !over);
    if (over) {
        EXPECT_TRUE(h.surface.Enabled(F::kExitButton));
    }

    if (end.lastCommand) {
        ASSERT_FALSE(h.dock.Received().empty());
        EXPECT_EQ(h.dock.Received().back()[device::kCodePos], *end.lastCommand);
    }
    if (end.trafficOfAGoodRun) {
        EXPECT_EQ(h.dock.Received().size(), good.size());
        EXPECT_TRUE(h.dock.Received() == good);
    }
    ExpectShape(row.name, sim::TrafficShape(h.traced.Text()));
}

std::string RowName(const testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(RunEndings, FaultMatrix, testing::ValuesIn(kRows), RowName);

}  // namespace

TEST(RunEndings, TheRemovalRowsCoverEveryStepARunWaitsIn) {
    FlowHarness h;
    std::set<IspStep> waited;
    const auto note = [&] {
        if (h.flow.Step() != IspStep::Idle) {
            waited.insert(h.flow.Step());
        }
    };
    h.surface.onMessage = note;
    h.Scan();
    h.flow.OnStartUpgrade();
    note();
    while (h.link.Pending() > 0 || h.surface.timers.contains(F::TIMER_SCAN)) {
        if (h.link.Pending() == 0) {
            h.Advance(200, /*pump=*/false);
        } else {
            h.Pump(1);
        }
        note();
    }

    std::set<IspStep> removed;
    for (const Row& row : kRows) {
        if (row.bringAbout == Pulled || row.bringAbout == LeavesForItsBootloader ||
            row.bringAbout == PulledWhileTheMessageIsOpen ||
            row.bringAbout == PulledAfterAFailure) {
            removed.insert(row.at);
        }
    }
    EXPECT_TRUE(std::ranges::includes(removed, waited));
    EXPECT_TRUE(removed.contains(IspStep::ShowFail));
}

TEST(RunEndings, ThePassVerdictShowsBeforeThePowerResetMessage) {
    FlowHarness h;
    std::optional<ResultLook> lookDuringMessage;
    bool exitDuringMessage = false;
    h.surface.onMessage = [&] {
        lookDuringMessage = h.surface.Look();
        exitDuringMessage = h.surface.Enabled(UpgradeFlow::kExitButton);
    };
    ASSERT_TRUE(RunUntilStep(h, IspStep::Chip3Verify));
    h.Pump();
    EXPECT_EQ(lookDuringMessage, ResultLook::Pass);
    EXPECT_TRUE(exitDuringMessage);
}

TEST(RunEndings, ADeviceCheckThatEndsEarlyLeavesExitOn) {
    FlowHarness h;
    h.link.Unplug();
    h.Pump();
    for (void (UpgradeFlow::*check)() :
         {&UpgradeFlow::OnScanDevices, &UpgradeFlow::CheckHubFirmware,
          &UpgradeFlow::CheckDpFirmware}) {
        h.flow.OnFwVer();
        EXPECT_FALSE(h.surface.Enabled(UpgradeFlow::kExitButton));
        (h.flow.*check)();
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true}));
    }
}

TEST(RunEndings, AMessageLeftOpenForLongDoesNotTimeTheRunOut) {
    FlowHarness h;
    // The window keeps handling its timers while the message is open.
    h.surface.onMessage = [&h] { h.Advance(60000, /*pump=*/false); };
    ASSERT_TRUE(RunUntilStep(h, IspStep::Chip3Verify));
    h.Pump();
    EXPECT_EQ(h.surface.Look(), ResultLook::Pass);
    const auto lines = h.surface.Lines();
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::wstring& line) {
        return line.starts_with(L"No answer");
    }));
}

// The notice goes to the console's session only when someone is logged on
// there: the person who can reach the dock.
TEST(RunEndings, TheConsoleNoticeGoesOnlyToALoggedOnUser) {
    const struct {
        std::optional<std::uint32_t> session;
        const wchar_t* user;
        const wchar_t* refusal;  // nullptr: the notice is sent
    } cases[] = {
        {std::nullopt, L"", L"no session is attached to the console"},
        {1, L"", L"no one is logged on at the console (session 1)"},
        {1, L"anna", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::wstring> refusal = NoticeRefusal(c.session, c.user);
        EXPECT_EQ(refusal, c.refusal ? std::optional<std::wstring>(c.refusal) : std::nullopt);
    }
}

// What the record and the event say of the dock after a run: the version it
// held before, the one it runs after its power reset (the package's only when
// every chip was written and verified), and its own model; and a check that
// finds no dock says nothing of the one found before.
TEST(RunEndings, TheRecordOfARunNamesTheVersionsBeforeAndAfterIt) {
    const struct {
        const char* name;
        device::DeviceMode mode;
        void (*bringAbout)(FlowHarness&);
        std::vector<std::wstring> record;  // DeviceVersion, PreviousVersion, Model
        std::vector<std::wstring> lines;   // device=, previous=, model=
    } cases[] = {
        {"written",
         device::DeviceMode::Application,
         StartAndRunToTheEnd,
         {L"E117", L"E116", L"0xf607"},
         {L"device=E117", L"previous=E116", L"model=0xf607"}},
        {"failed at chip 3",
         device::DeviceMode::Application,
         [](FlowHarness& h) {
             h.dock.Faults().chip3WrongChecksum = true;
             StartAndRunToTheEnd(h);
         },
         {L"E116", L"E116", L"0xf607"},
         {L"device=E116", L"previous=E116", L"model=0xf607"}},
        {"written from the bootloader",
         device::DeviceMode::Bootloader,
         StartAndRunToTheEnd,
         {L"E117", L"", L"0xf607"},
         {L"device=E117", L"previous=none", L"model=0xf607"}},
        {"failed from the bootloader",
         device::DeviceMode::Bootloader,
         [](FlowHarness& h) {
             h.dock.Faults().chip3EraseError = true;
             StartAndRunToTheEnd(h);
         },
         {L"", L"", L"0xf607"},
         {L"device=bootloader", L"previous=none", L"model=0xf607"}},
        {"no dock after a dock",
         device::DeviceMode::Application,
         [](FlowHarness& h) {
             h.Scan();
             h.link.Unplug();
             h.Pump();
             h.flow.OnFwVer();
             h.Advance(12000);
         },
         {L"", L"", L""},
         {L"device=none", L"previous=none", L"model=none"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::DockSettings settings;
        settings.mode = c.mode;
        FlowHarness h(settings);
        c.bringAbout(h);
        ASSERT_FALSE(h.surface.conclusions.empty());
        const Conclusion& conclusion = h.surface.conclusions.back();
        const StatusRecord record =
            BuildStatusRecord(conclusion.ending, conclusion.facts, conclusion.code, L"", L"");
        std::vector<std::wstring> values;
        for (const wchar_t* name : {L"DeviceVersion", L"PreviousVersion", L"Model"}) {
            for (const StatusRecord::Value& value : record.strings) {
                if (value.name == name) {
                    values.push_back(value.text);
                }
            }
        }
        EXPECT_EQ(values, c.record);
        const std::vector<std::wstring> lines = EventLines(conclusion);
        EXPECT_EQ((std::vector<std::wstring>{lines[1], lines[2], lines[5]}), c.lines);
    }
}
