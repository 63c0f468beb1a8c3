#include <gtest/gtest.h>

#include "app/flow/VersionGate.h"
#include "app/outcome/Announcements.h"
#include "app/outcome/StatusRecord.h"
#include "package/ModelNames.h"
#include "tests/support/FlowHarness.h"

namespace {

constexpr int kStart = UpgradeFlow::kStartButton;
constexpr int kFwVer = UpgradeFlow::kFwVerButton;
constexpr int kExit = UpgradeFlow::kExitButton;

std::size_t ModeQueries(const sim::DockSimulator& dock) {
    return static_cast<std::size_t>(
        std::count_if(dock.Received().begin(), dock.Received().end(), [](const auto& report) {
            return report[2] == 0xFE && report[4] == device::USBUID_ISP_EFM8_CMD_DEVICE_STATUS;
        }));
}

}  // namespace

TEST(CheckFlow, FwVerRunsTheHubCheckTheDisplayPortCheckAndTheScanOnTheirTimers) {
    FlowHarness h;
    h.flow.OnFwVer();
    EXPECT_EQ(h.surface.Lines(), std::vector<std::wstring>(9, L" "));
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false}));

    h.Advance(1999);
    EXPECT_EQ(h.tools.hubStarts, 0);
    h.Advance(1);
    EXPECT_EQ(h.tools.hubStarts, 1);
    h.Advance(5999);
    EXPECT_EQ(h.tools.dpStarts, 0);
    h.Advance(1);
    EXPECT_EQ(h.tools.dpStarts, 1);
    EXPECT_EQ(ModeQueries(h.dock), 0U);
    h.Advance(4000);
    EXPECT_EQ(ModeQueries(h.dock), 1U);

    EXPECT_EQ(LastLines(h.surface, 6), (std::vector<std::wstring>{
                                           L"AP device found!",
                                           L"File Version: E117",
                                           L"Device Version: E116",
                                           L"HUB FW is 0x8720",
                                           L"Pegasus App: 7.02.05 Boot: 1.1",
                                           L"Engineer file version!",
                                       }));
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));
    EXPECT_TRUE(h.flow.DeviceReady());
    EXPECT_EQ(h.surface.Endings(), std::vector<FlowEnding>{FlowEnding::UpdateOffered});
    // What the event and the status record carry of it, as a detection rule
    // compares it.
    const Conclusion& conclusion = h.surface.conclusions.back();
    EXPECT_EQ(EventLines(conclusion), (std::vector<std::wstring>{
                                          L"package=E117",
                                          L"device=E116",
                                          L"previous=E116",
                                          L"hub=HUB FW is 0x8720",
                                          L"dp=Pegasus App: 7.02.05 Boot: 1.1",
                                          L"model=0xf607",
                                          L"code=0",
                                          L"status=UpdateAvailable",
                                      }));
    const StatusRecord record = BuildStatusRecord(
        conclusion.ending, conclusion.facts, conclusion.code, L"1.2.3.4", L"2026-12-10T15:04:05Z");
    EXPECT_EQ(record.strings, (std::vector<StatusRecord::Value>{
                                  {L"Status", L"UpdateAvailable"},
                                  {L"PackageVersion", L"E117"},
                                  {L"DeviceVersion", L"E116"},
                                  {L"PreviousVersion", L"E116"},
                                  {L"HubVersion", L"0x8720"},
                                  {L"DpVersion", L"7.02.05 Boot: 1.1"},
                                  {L"Model", L"0xf607"},
                                  {L"ToolVersion", L"1.2.3.4"},
                                  {L"LastRunUtc", L"2026-12-10T15:04:05Z"},
                              }));
}

// With no one watching, a check runs back to back: each tool to its end, then
// the next part at once. It takes the tools' own time and the scan's.
TEST(CheckFlow, BackToBackEachToolRunsToItsEndThenTheNextPartAtOnce) {
    FlowHarness h({}, '3', UpgradeFlow::Schedule::BackToBack);
    h.tools.hubAnswer = ScriptedTools::Answer::Running;
    h.tools.dpAnswer = ScriptedTools::Answer::Running;
    h.flow.OnFwVer();
    h.Advance(0);
    EXPECT_EQ(h.tools.hubStarts, 1);
    h.Advance(60000);
    EXPECT_EQ(h.tools.dpStarts, 0) << "the hub tool has not ended";
    EXPECT_TRUE(h.surface.Endings().empty()) << "no verdict while a part is to come";

    h.tools.results.m_hubToolText.Finish(h.tools.hubTicket, L"HUB FW is 0x8720");
    h.flow.OnToolEnded();
    h.Advance(0);
    EXPECT_EQ(h.tools.dpStarts, 1);
    EXPECT_EQ(ModeQueries(h.dock), 0U);
    h.tools.results.m_dpToolText.Finish(h.tools.dpTicket, L"Pegasus App: 7.02.05 Boot: 1.1");
    h.flow.OnToolEnded();
    h.Advance(0);
    EXPECT_EQ(ModeQueries(h.dock), 1U);
    EXPECT_EQ(h.surface.now, 60000U);
    EXPECT_EQ(LastLines(h.surface, 3), (std::vector<std::wstring>{
                                           L"HUB FW is 0x8720",
                                           L"Pegasus App: 7.02.05 Boot: 1.1",
                                           L"Engineer file version!",
                                       }));
    EXPECT_EQ(h.surface.Endings(), std::vector<FlowEnding>{FlowEnding::UpdateOffered});

    // Without a dock no tool starts, and the parts follow one another at once.
    FlowHarness noDock({}, '3', UpgradeFlow::Schedule::BackToBack);
    noDock.link.Unplug();
    noDock.Pump();
    noDock.flow.OnFwVer();
    noDock.Advance(0);
    EXPECT_EQ(LastLines(noDock.surface, 3),
              (std::vector<std::wstring>{L"HUB FW CHK No device found!",
                                         L"DP FW CHK No device found!", L"No device found!"}));
    EXPECT_EQ(noDock.surface.Endings(), std::vector<FlowEnding>{FlowEnding::NoDock});
}

TEST(CheckFlow, AnArrivalMovesTheScanForward) {
    FlowHarness h;
    h.flow.OnFwVer();
    h.Advance(5000);
    h.flow.OnHidArrival();
    h.Advance(199);
    EXPECT_EQ(ModeQueries(h.dock), 0U);
    h.Advance(1);
    EXPECT_EQ(ModeQueries(h.dock), 1U);
    // The DisplayPort check still to come takes the buttons away: the version
    // check follows it 4 s later, as the 12 s scan follows the 8 s check.
    h.Advance(6799);
    EXPECT_EQ(ModeQueries(h.dock), 1U);
    h.Advance(1);
    EXPECT_EQ(ModeQueries(h.dock), 2U);
    h.Advance(20000);
    EXPECT_EQ(ModeQueries(h.dock), 2U);
}

// The dock's own interfaces arrive just after "FW Ver": its scan's verdict
// comes before either tool has run. Each tool check takes the buttons away;
// the verdict is given again with both results in hand, and every button
// comes back.
TEST(CheckFlow, AnArrivalRightAfterFwVerEndsWithTheButtonsBackAndTheToolResultsJudged) {
    FlowHarness h;
    h.flow.OnFwVer();
    h.Advance(100);
    h.flow.OnHidArrival();
    h.Advance(200);
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));
    EXPECT_EQ(h.surface.Lines().back(), L"Engineer file version!");

    h.Advance(1700);  // the hub check
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false}));
    h.Advance(6000);  // the DisplayPort check
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false}));
    h.Advance(4000);  // the version check that follows it
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));
    EXPECT_EQ(LastLines(h.surface, 4), (std::vector<std::wstring>{
                                           L"Device Version: E116",
                                           L"HUB FW is 0x8720",
                                           L"Pegasus App: 7.02.05 Boot: 1.1",
                                           L"Engineer file version!",
                                       }));
    EXPECT_TRUE(h.surface.timers.empty());
    EXPECT_TRUE(h.flow.DeviceReady());
}

// A dock that stays silent, or whose answer is too short to read, ends the
// check after 10 s: it may be checked again or left, but not updated.
TEST(CheckFlow, AQueryOfACheckLeftUnansweredGivesFwVerAndExitBack) {
    const struct {
        const char* name;
        std::uint32_t silentFrom;         // report count the dock falls silent at, 0 never
        std::uint16_t inputReportLength;  // how much of each answer is read
        const wchar_t* line;
    } cases[] = {
        {"silent to the mode query", 1, 64,
         L"No answer from the dock within 10 s to the mode query!"},
        {"silent to the version query", 2, 64,
         L"No answer from the dock within 10 s to the version query!"},
        {"mode answer too short", 0, 5, L"No answer from the dock within 10 s to the mode query!"},
        {"version answer too short", 0, 8,
         L"No answer from the dock within 10 s to the version query!"},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        h.dock.Faults().silentFromReport = c.silentFrom;
        h.dock.Interfaces()[0].inputReportLength = c.inputReportLength;
        h.flow.OnFwVer();
        h.Advance(12000);
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false})) << c.name;
        h.Advance(9999);
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false})) << c.name;
        h.Advance(1);
        EXPECT_EQ(h.surface.Lines().back(), c.line) << c.name;
        EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, true, true})) << c.name;
        EXPECT_FALSE(h.flow.DeviceReady()) << c.name;
        EXPECT_TRUE(h.surface.timers.empty()) << c.name;
        EXPECT_EQ(h.surface.Look(), ResultLook::Neutral) << c.name;
    }
}

TEST(CheckFlow, WithoutADockEveryCheckSaysSoAndOnlyExitComesBack) {
    FlowHarness h;
    h.link.Unplug();
    h.Pump();
    h.flow.OnFwVer();
    h.Advance(12000);
    EXPECT_EQ(LastLines(h.surface, 3),
              (std::vector<std::wstring>{L"HUB FW CHK No device found!",
                                         L"DP FW CHK No device found!", L"No device found!"}));
    // Nothing to update, but the user can leave.
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true}));
    EXPECT_EQ(h.tools.hubStarts + h.tools.dpStarts, 0);
}

TEST(CheckFlow, AForeignProductIdIsNamedWithBothModelsByEachCheck) {
    const struct {
        void (UpgradeFlow::*check)();
        std::wstring notFound;
        std::wstring productId;
    } cases[] = {
        {&UpgradeFlow::OnScanDevices, L"No device found!", L"PID error!"},
        {&UpgradeFlow::CheckHubFirmware, L"HUB FW CHK No device found!", L"HUB FW CHK PID error!"},
        {&UpgradeFlow::CheckDpFirmware, L"DP FW CHK No device found!", L"DP FW CHK PID error!"},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        h.surface.progress = 40;
        h.dock.Interfaces().front().identity.productId = 0xF602;
        (h.flow.*c.check)();
        EXPECT_EQ(h.surface.Lines(), (std::vector<std::wstring>{
                                         c.notFound,
                                         c.productId,
                                         L"File PID: 0XF607 : Device Name error",
                                         L"Device PID: 0XF602 : KR-Dock 200 USB-C",
                                     }));
        EXPECT_EQ(h.surface.progress, 0);
        EXPECT_EQ(h.tools.hubStarts + h.tools.dpStarts, 0);

        // Another vendor altogether is no dock of ours: nothing to name.
        FlowHarness other;
        other.dock.Interfaces().front().identity.vendorId = 0x1234;
        (other.flow.*c.check)();
        EXPECT_EQ(other.surface.Lines(), std::vector<std::wstring>{c.notFound});
    }
}

TEST(ModelNames, SevenModelsThenEmptyRowsAndNoneForThePackagesOwnProduct) {
    for (std::size_t row = 0; row < 7; ++row) {
        EXPECT_NE(g_modelNames[row].productId, 0) << row;
        EXPECT_FALSE(g_modelNames[row].name.empty()) << row;
        EXPECT_EQ(LookUpModelName(g_modelNames[row].productId), g_modelNames[row].name) << row;
    }
    for (std::size_t row = 7; row < kModelNameRows; ++row) {
        EXPECT_EQ(g_modelNames[row].productId, 0) << row;
        EXPECT_TRUE(g_modelNames[row].name.empty()) << row;
    }
    EXPECT_EQ(LookUpModelName(0xF607), L"Device Name error");
    EXPECT_EQ(LookUpModelName(0xFFFF), L"Device Name error");
    // The empty rows answer for product ID 0, with their empty name.
    EXPECT_EQ(LookUpModelName(0), L"");
}

TEST(CheckFlow, DeviceAndFileErrorsOfEachCheck) {
    const struct {
        void (UpgradeFlow::*check)();
        std::wstring deviceError;
        std::wstring fileError;
    } cases[] = {
        {&UpgradeFlow::OnScanDevices, L"device Error!", L"file Error!"},
        {&UpgradeFlow::CheckHubFirmware, L"FW CHK device Error!", L"FW CHK file Error!"},
        {&UpgradeFlow::CheckDpFirmware, L"DP CHK device Error!", L"DP CHK file Error!"},
    };
    for (const auto& c : cases) {
        FlowHarness noRead;
        noRead.dock.Interfaces().front().readOpenFails = true;
        (noRead.flow.*c.check)();
        EXPECT_EQ(noRead.surface.Lines().back(), c.deviceError);

        FlowHarness noPackage;
        noPackage.package.identity.m_bPackageLoaded = false;
        (noPackage.flow.*c.check)();
        EXPECT_EQ(noPackage.surface.Lines().back(), c.fileError);
        EXPECT_FALSE(noPackage.flow.DeviceReady());
        EXPECT_EQ(ButtonsOf(noPackage.surface), (Buttons{false, false, true}));
        EXPECT_EQ(ButtonsOf(noRead.surface), (Buttons{false, false, true}));
    }
}

// A vendor tool missing from beside the program is named with the path it
// was looked for at. The window's verdict stays what the tool's failed result
// gives; the ending a front end reports is a failed check either way.
TEST(CheckFlow, AMissingVendorToolIsNamedAndFailsTheCheck) {
    const MissingTool hub{.name = L"GL352xISP.exe", .path = L"C:\\Dock\\Tool\\GL352xISP.exe"};
    const MissingTool dp{.name = L"McdpIsp.exe", .path = L"C:\\Dock\\Tool\\Mega\\McdpIsp.exe"};
    const struct {
        const char* name;
        bool hubMissing;
        bool dpMissing;
        std::vector<std::wstring> lines;  // from the version lines on
        Buttons buttons;
    } cases[] = {
        {"hub tool",
         true,
         false,
         {L"Device Version: E116", L"GL352xISP.exe could not be started",
          L"HUB FW is unknown: the hub tool did not run"},
         {false, false, true}},
        {"DisplayPort tool",
         false,
         true,
         {L"Device Version: E116", L"HUB FW is 0x8720", L"McdpIsp.exe could not be started",
          L"No DP", L"Engineer file version!"},
         {true, true, true}},
    };
    for (const auto& c : cases) {
        FlowHarness h;
        if (c.hubMissing) {
            h.tools.hubMissing = hub;
            h.tools.hubAnswer = ScriptedTools::Answer::Failed;
            h.tools.hubText = L"GL352xISP.exe could not be started";
        }
        if (c.dpMissing) {
            h.tools.dpMissing = dp;
            h.tools.dpAnswer = ScriptedTools::Answer::Failed;
            h.tools.dpText = L"McdpIsp.exe could not be started";
        }
        h.flow.OnFwVer();
        h.Advance(12000);
        const std::vector<std::wstring> lines = h.surface.Lines();
        const std::wstring& named =
            c.hubMissing ? L"GL352xISP.exe is missing: C:\\Dock\\Tool\\GL352xISP.exe"
                         : L"McdpIsp.exe is missing: C:\\Dock\\Tool\\Mega\\McdpIsp.exe";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), named), 1) << c.name;
        EXPECT_EQ(LastLines(h.surface, c.lines.size()), c.lines) << c.name;
        EXPECT_EQ(ButtonsOf(h.surface), c.buttons) << c.name;
        EXPECT_EQ(h.surface.Endings(), std::vector<FlowEnding>{FlowEnding::CheckFailed}) << c.name;

        // Once the tool is back, the next "FW Ver" judges the dock again.
        h.tools.hubMissing.reset();
        h.tools.dpMissing.reset();
        h.tools.hubAnswer = ScriptedTools::Answer::Done;
        h.tools.dpAnswer = ScriptedTools::Answer::Done;
        h.tools.hubText = L"HUB FW is 0x8720";
        h.tools.dpText = L"Pegasus App: 7.02.05 Boot: 1.1";
        h.flow.OnFwVer();
        h.Advance(12000);
        EXPECT_EQ(h.surface.Endings().back(), FlowEnding::UpdateOffered) << c.name;
    }
}

namespace {

ToolResult Done(std::wstring text) {
    return ToolResult{.state = ToolResult::State::Done, .text = std::move(text)};
}
ToolResult Failed(std::wstring reason) {
    return ToolResult{.state = ToolResult::State::Failed, .text = std::move(reason)};
}
const ToolResult kRunning{.state = ToolResult::State::Running, .text = {}};
const ToolResult kNotRun{};

}  // namespace

TEST(VersionGate, EveryVerdict) {
    using V = FirmwareVersion;
    using L = ResultLook;
    using E = FlowEnding;
    const ToolResult hubOk = Done(L"HUB FW is 0x8720");
    const struct {
        const char* name;
        V file;
        V device;
        ToolResult hub;
        ToolResult dp;
        std::vector<std::wstring> lines;  // after the two version lines
        std::vector<ResultLook> looks;
        bool offer;
        FlowEnding ending;
        // The status record's token, and /c's last line.
        const wchar_t* status;
        // The event a check that ends so reports, by its /c exit code.
        EndingEvent event;
    } cases[] = {
        // No hub check started for this check: the hub is not judged.
        {"engineer file",
         {'E', 1, 1, 7},
         {'V', 2, 0, 0},
         kNotRun,
         kNotRun,
         {L"Engineer file version!"},
         {},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"downgrade file",
         {'L', 1, 0, 0},
         {'V', 2, 0, 0},
         kNotRun,
         kNotRun,
         {L"Downgrade file version!"},
         {},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"unknown letter",
         {'X', 1, 1, 7},
         {'V', 1, 1, 6},
         kNotRun,
         kNotRun,
         {L"ISP file version error!"},
         {},
         false,
         E::NotApplicable,
         L"NotApplicable",
         {1005, EventType::Warning}},
        {"lower-case v",
         {'v', 1, 1, 7},
         {'V', 1, 1, 6},
         kNotRun,
         kNotRun,
         {L"ISP file version error!"},
         {},
         false,
         E::NotApplicable,
         L"NotApplicable",
         {1005, EventType::Warning}},
        {"engineer device",
         {'V', 1, 1, 7},
         {'E', 9, 9, 9},
         kNotRun,
         kNotRun,
         {L"Engineer device version!"},
         {},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"release newer",
         {'V', 1, 1, 7},
         {'V', 1, 1, 6},
         kNotRun,
         kNotRun,
         {L"Press to upgrade new version!"},
         {L::Fail},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"release equal",
         {'V', 1, 1, 7},
         {'V', 1, 1, 7},
         kNotRun,
         kNotRun,
         {L"ISP file version must higher then device version!", L"Don't need to upgrade!"},
         {L::Pass},
         false,
         E::UpToDate,
         L"Current",
         {1003, EventType::Information}},
        {"release older",
         {'V', 1, 1, 7},
         {'V', 1, 2, 0},
         kNotRun,
         kNotRun,
         {L"ISP file version must higher then device version!", L"Don't need to upgrade!"},
         {L::Pass},
         false,
         E::UpToDate,
         L"Current",
         {1003, EventType::Information}},
        {"a00 is a thousand",
         {'V', 9, 9, 9},
         {'V', 10, 0, 0},
         kNotRun,
         kNotRun,
         {L"ISP file version must higher then device version!", L"Don't need to upgrade!"},
         {L::Pass},
         false,
         E::UpToDate,
         L"Current",
         {1003, EventType::Information}},
        // The hub and DisplayPort results of a check of "FW Ver".
        {"wrong hub",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         Done(L"HUB FW is 0x8721"),
         Done(L"Pegasus App: 1"),
         {L"HUB FW is 0x8721"},
         {L::Fail},
         false,
         E::NotApplicable,
         L"NotApplicable",
         {1005, EventType::Warning}},
        {"no DisplayPort text",
         {'V', 1, 1, 7},
         {'V', 1, 1, 6},
         hubOk,
         Done(L""),
         {L"HUB FW is 0x8720", L"No DP", L"Press to upgrade new version!"},
         {L::Fail, L::Fail},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"no DisplayPort text, not newer",
         {'V', 1, 1, 7},
         {'V', 1, 1, 7},
         hubOk,
         Done(L""),
         {L"HUB FW is 0x8720", L"No DP", L"ISP file version must higher then device version!",
          L"Don't need to upgrade!"},
         {L::Fail, L::Pass},
         false,
         E::UpToDate,
         L"Current",
         {1003, EventType::Information}},
        {"token cut at 30",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         hubOk,
         Done(L"junk\nPegasus App: 7.02.05 Boot: 1.1 and more"),
         {L"HUB FW is 0x8720", L"Pegasus App: 7.02.05 Boot: 1.1", L"Engineer file version!"},
         {},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"hub tool still running",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         kRunning,
         kNotRun,
         {L"HUB FW is unknown: the hub tool did not finish in time"},
         {L::Fail},
         false,
         E::CheckFailed,
         L"Failed",
         {1001, EventType::Error}},
        {"hub tool ended at its bound",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         Failed(L"GL352xISP.exe did not end within 60 s and was ended with all it started"),
         kNotRun,
         {L"GL352xISP.exe did not end within 60 s and was ended with all it started",
          L"HUB FW is unknown: the hub tool did not run"},
         {L::Fail},
         false,
         E::CheckFailed,
         L"Failed",
         {1001, EventType::Error}},
        {"DisplayPort tool still running",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         hubOk,
         kRunning,
         {L"HUB FW is 0x8720", L"No DP", L"Engineer file version!"},
         {L::Fail},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
        {"DisplayPort tool failed",
         {'E', 1, 1, 7},
         {'V', 1, 1, 6},
         hubOk,
         Failed(L"McdpIsp.exe could not be started"),
         {L"HUB FW is 0x8720", L"McdpIsp.exe could not be started", L"No DP",
          L"Engineer file version!"},
         {L::Fail},
         true,
         E::UpdateOffered,
         L"UpdateAvailable",
         {1000, EventType::Information}},
    };
    for (const auto& c : cases) {
        const GateVerdict verdict = JudgeVersions(c.file, c.device, c.hub, c.dp);
        ASSERT_GE(verdict.lines.size(), 2U) << c.name;
        EXPECT_EQ(std::vector<std::wstring>(verdict.lines.begin() + 2, verdict.lines.end()),
                  c.lines)
            << c.name;
        EXPECT_EQ(verdict.looks, c.looks) << c.name;
        EXPECT_EQ(verdict.offer, c.offer) << c.name;
        EXPECT_EQ(verdict.ending, c.ending) << c.name;
        EXPECT_EQ(StatusTokenOf(verdict.ending), c.status) << c.name;
        const int code = *ExitCodeOf(verdict.ending, /*checkOnly=*/true);
        EXPECT_EQ(EventOf(code), c.event) << c.name;
        EXPECT_EQ(ConsoleNoticeOf(code, /*wroteDock=*/false), std::nullopt) << c.name;
        EXPECT_EQ(verdict.resetProgress, c.lines.back() == L"Press to upgrade new version!")
            << c.name;
    }
}

// A hub tool of an earlier "FW Ver" that ends after the next one began
// belongs to that earlier check: its result is dropped.
TEST(CheckFlow, ALateResultOfAnEarlierCheckIsDropped) {
    FlowHarness h;
    h.tools.hubAnswer = ScriptedTools::Answer::Running;
    h.flow.OnFwVer();
    h.Advance(2000);
    const std::uint64_t earlier = h.tools.hubTicket;
    h.Advance(10000);
    EXPECT_EQ(h.surface.Lines().back(), L"HUB FW is unknown: the hub tool did not finish in time");

    h.tools.hubAnswer = ScriptedTools::Answer::Running;
    h.flow.OnFwVer();
    h.tools.results.m_hubToolText.Finish(earlier, L"HUB FW is 0x8720");
    EXPECT_EQ(h.tools.results.m_hubToolText.Get(), ToolResult{}) << "no run of this check yet";
    h.Advance(2000);
    h.tools.results.m_hubToolText.Finish(earlier, L"HUB FW is 0x8720");
    EXPECT_EQ(h.tools.results.m_hubToolText.Get().state, ToolResult::State::Running);
    h.tools.results.m_hubToolText.Finish(h.tools.hubTicket, L"HUB FW is 0x8721");
    h.Advance(10000);
    EXPECT_EQ(LastLines(h.surface, 1), std::vector<std::wstring>{L"HUB FW is 0x8721"});
}

// A hub tool still running when the next check comes to it is not started
// again beside itself: the check waits for its result, which is then its
// own. And once no tool of a check is running, "FW Ver" is on again.
TEST(CheckFlow, AToolStillRunningIsNotStartedTwiceAndItsEndGivesFwVerBack) {
    FlowHarness h;
    h.tools.hubAnswer = ScriptedTools::Answer::Running;
    h.flow.OnFwVer();
    h.Advance(12000);
    EXPECT_EQ(h.surface.Lines().back(), L"HUB FW is unknown: the hub tool did not finish in time");
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, true}));

    h.flow.OnFwVer();
    h.Advance(2000);
    EXPECT_EQ(h.tools.hubStarts, 1);
    EXPECT_EQ(h.surface.Lines().back(),
              L"The hub tool of the last check is still running: this check waits for its result.");
    h.tools.results.m_hubToolText.Finish(h.tools.hubTicket, L"HUB FW is 0x8720");
    h.flow.OnToolEnded();
    h.Advance(10000);
    EXPECT_EQ(LastLines(h.surface, 3), (std::vector<std::wstring>{
                                           L"HUB FW is 0x8720",
                                           L"Pegasus App: 7.02.05 Boot: 1.1",
                                           L"Engineer file version!",
                                       }));
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));

    // The verdict came while the tool still ran; its end gives FW Ver back.
    FlowHarness slow;
    slow.tools.hubAnswer = ScriptedTools::Answer::Running;
    slow.flow.OnFwVer();
    slow.Advance(12000);
    slow.tools.results.m_hubToolText.Finish(slow.tools.hubTicket, L"HUB FW is 0x8720");
    slow.flow.OnToolEnded();
    EXPECT_EQ(ButtonsOf(slow.surface), (Buttons{false, true, true}));
}

TEST(CheckFlow, VersionsPrintAsLetterAndHexValues) {
    const GateVerdict verdict = JudgeVersions({'V', 1, 2, 3}, {'V', 10, 0, 0}, {}, {});
    EXPECT_EQ(verdict.lines[0], L"File Version: V123");
    EXPECT_EQ(verdict.lines[1], L"Device Version: Va00");
}

// A letter byte that does not print would end the log's text (a zero) or
// break its line: it shows as its value, and every later line still shows.
TEST(CheckFlow, AVersionLetterThatDoesNotPrintShowsAsItsValue) {
    const struct {
        std::uint8_t letter;
        const wchar_t* line;
    } cases[] = {
        {0x00, L"Device Version: \\x00116"}, {0x0A, L"Device Version: \\x0a116"},
        {0x7F, L"Device Version: \\x7f116"}, {0xC4, L"Device Version: \\xc4116"},
        {' ', L"Device Version:  116"},      {'~', L"Device Version: ~116"},
    };
    for (const auto& c : cases) {
        const auto lines = JudgeVersions({'E', 1, 1, 7}, {c.letter, 1, 1, 6}, {}, {}).lines;
        ASSERT_EQ(lines.size(), 3U);
        EXPECT_EQ(lines[1], c.line);
        EXPECT_EQ(lines[2], L"Engineer file version!");
    }
}

TEST(CheckFlow, RemovalOfTheOpenDeviceByStep) {
    // Idle: only the removal itself is reported.
    FlowHarness idle;
    idle.Scan();
    idle.link.Unplug();
    idle.Pump();
    EXPECT_EQ(LastLines(idle.surface, 2).back(), L"No Device found!");
    EXPECT_NE(LastLines(idle.surface, 2).front(), L"No Device found!");
    EXPECT_EQ(idle.flow.Step(), IspStep::Idle);
    EXPECT_FALSE(idle.surface.Enabled(kStart));

    // In the middle of chip 1: the run is over and the user is told to restart.
    FlowHarness midRun;
    midRun.Scan();
    midRun.dock.Faults().removeAfterReport = midRun.dock.ReportCount() + 500;
    midRun.flow.OnStartUpgrade();
    midRun.Pump();
    EXPECT_EQ(LastLines(midRun.surface, 2),
              (std::vector<std::wstring>{L"No Device found!", L"Error!, restart please."}));
    EXPECT_EQ(midRun.flow.Step(), IspStep::Idle);
    EXPECT_FALSE(midRun.surface.Enabled(kStart));
}

TEST(CheckFlow, RemovalComparesInterfaceNamesWithoutCase) {
    FlowHarness h;
    h.Scan();
    std::wstring path = h.link.State().m_strDevicePath;
    std::transform(path.begin(), path.end(), path.begin(),
                   [](wchar_t c) { return std::towupper(c); });
    ASSERT_NE(path, h.link.State().m_strDevicePath);
    EXPECT_TRUE(h.flow.OnHidRemoval(path));
    EXPECT_EQ(h.surface.Lines().back(), L"No Device found!");
    EXPECT_FALSE(h.link.State().m_bOpen);

    EXPECT_FALSE(h.flow.OnHidRemoval(L"\\\\?\\hid#vid_046d&pid_c077#mouse"));
}

TEST(CheckFlow, AScanAfterTheDockWasPulledSaysOnlyThatNoneIsThere) {
    FlowHarness h;
    h.Scan();
    const std::wstring path = h.link.State().m_strDevicePath;
    static_cast<void>(h.dock.Unplug());
    ASSERT_TRUE(h.flow.OnHidRemoval(path));
    h.Scan();
    // Not "PID error!" for the dock that was found before.
    EXPECT_EQ(LastLines(h.surface, 2),
              (std::vector<std::wstring>{L"No Device found!", L"No device found!"}));
}

TEST(CheckFlow, ButtonsThroughACheckAndARun) {
    FlowHarness h(sim::DockSettings{.mode = device::DeviceMode::Bootloader});
    h.Scan();
    // A bootloader answer while idle offers the run, and the check is over:
    // exit comes back although no version answer follows.
    EXPECT_EQ(h.surface.Lines().back(), L"ISP device found!");
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));

    h.flow.OnStartUpgrade();
    EXPECT_EQ(ButtonsOf(h.surface), (Buttons{false, false, false}));
    EXPECT_FALSE(h.surface.Enabled(UpgradeFlow::kScanButton));
    EXPECT_EQ(h.surface.clears, 1);
    EXPECT_EQ(h.surface.Lines().front(), L"Waiting...");
    EXPECT_EQ(h.surface.looks.front(), ResultLook::Neutral);
}

TEST(CheckFlow, StartDoesNothingUntilAScanFoundTheDockReady) {
    FlowHarness h;
    h.flow.OnStartUpgrade();
    EXPECT_EQ(h.surface.clears, 0);
    EXPECT_TRUE(h.dock.Received().empty());
    EXPECT_EQ(h.flow.Step(), IspStep::Idle);
}

TEST(CheckFlow, ExitKillsEveryTimerAndEndsTheDialog) {
    FlowHarness h;
    h.flow.OnFwVer();
    h.flow.OnExit();
    EXPECT_TRUE(h.surface.timers.empty());
    EXPECT_TRUE(h.surface.ended);
    h.Advance(20000);
    EXPECT_EQ(h.tools.hubStarts + h.tools.dpStarts, 0);
}

TEST(CheckFlow, FromFwVerThroughTheRestartToPassAndThePowerReset) {
    FlowHarness h;
    h.flow.OnFwVer();
    h.Advance(12000);
    ASSERT_EQ(ButtonsOf(h.surface), (Buttons{true, true, true}));

    h.flow.OnStartUpgrade();
    h.Pump();
    EXPECT_EQ(h.flow.Step(), IspStep::Chip3Erase);
    EXPECT_EQ(h.dock.Mode(), device::DeviceMode::Bootloader);
    h.Advance(200);  // the dock's return in its bootloader

    EXPECT_EQ(h.surface.messages, std::vector<std::wstring>{L"Please, power reset device! "});
    EXPECT_EQ(h.surface.Look(), ResultLook::Pass);
    EXPECT_EQ(h.flow.Step(), IspStep::ShowPass) << "until the power reset";
    EXPECT_EQ(h.dock.ApplicationVersion(), (std::array<std::uint8_t, 4>{'E', 1, 1, 7}));

    h.PowerReset();
    h.Pump();
    EXPECT_EQ(h.flow.Step(), IspStep::Idle) << "the power reset ended the run";

    // Back from the power reset, the dock now carries the package's version.
    h.Advance(200);
    EXPECT_EQ(LastLines(h.surface, 6), (std::vector<std::wstring>{
                                           L"AP device found!",
                                           L"File Version: E117",
                                           L"Device Version: E117",
                                           L"HUB FW is 0x8720",
                                           L"Pegasus App: 7.02.05 Boot: 1.1",
                                           L"Engineer file version!",
                                       }));
}
