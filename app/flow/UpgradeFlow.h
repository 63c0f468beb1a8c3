#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/flow/AnswerWatch.h"
#include "app/flow/Buttons.h"
#include "app/flow/CheckFacts.h"
#include "app/flow/CheckSchedule.h"
#include "app/flow/DialogSurface.h"
#include "app/flow/FlowEvents.h"
#include "app/flow/ProgramSequence.h"
#include "app/flow/ProgrammingRun.h"
#include "device/HidLink.h"
#include "device/IspAnswer.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "res/resource.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolResultText.h"

// A check and an update of the dock, put together from their pieces: the
// check schedule, the version gate, the run of the programming sequence, the
// answer watch and the buttons. The dialog and the silent runner forward
// their messages here and carry the decisions out through the surfaces; so
// do the tests, with a recorder and a simulated dock. It routes each answer,
// arrival, removal and time-out to the check or to the run, and tells its
// events what a check found and when a run began.
//
// Every handler runs on the dialog's window thread: the reader hands each
// answer over and waits for it to be handled before it reads the next one.
class UpgradeFlow {
public:
    // Control ids of the main dialog.
    static constexpr int kStartButton = ButtonPanel::kStartButton;
    static constexpr int kExitButton = ButtonPanel::kExitButton;
    static constexpr int kFwVerButton = ButtonPanel::kFwVerButton;
    static constexpr int kScanButton = IDC_SCAN_DEVICES;

    // One-shot timers of a check.
    static constexpr int TIMER_SCAN = CheckSchedule::kScanTimer;
    static constexpr int TIMER_HUB_CHECK = CheckSchedule::kHubTimer;
    static constexpr int TIMER_DP_CHECK = CheckSchedule::kDpTimer;
    // Watches a run, and the mode and version queries of a check, for a dock
    // that stops answering, and chip 1's erase for one that never finishes.
    static constexpr int TIMER_NO_ANSWER = AnswerWatch::kTimer;
    static constexpr int TIMER_CHIP1_ERASE = ProgrammingRun::kChip1EraseTimer;

    // When the parts of a check of "FW Ver" run: on the window's timers, or,
    // with no one watching, back to back (see CheckSchedule).
    enum class Schedule { WindowTimers, BackToBack };

    // The flow is given all it reads: the package and what it says of the
    // dock, and the tool results that `tools` leaves in `toolResults`.
    UpgradeFlow(FlowSurface& surface, WindowSurface& window, FlowEvents& events, HidLink& link,
                ToolLauncher& tools, ToolResults& toolResults, PackageFile& packageFile,
                const package::ImageTable& images, const PackageIdentity& package,
                Schedule schedule = Schedule::WindowTimers);

    // An input report from the dock, as long as it was read.
    void OnIspReport(std::span<const std::uint8_t> report);

    // Device checks, run by the timers.
    void OnScanDevices();
    void CheckHubFirmware();
    void CheckDpFirmware();

    // Device notifications: an interface of the HID class arrived or was removed.
    void OnHidArrival();
    // True when the removed interface is the open device's.
    bool OnHidRemoval(std::wstring_view interfaceName);

    void OnDialogTimer(int id);
    // A vendor tool's run has ended (its worker stored the result): the
    // check goes on, or may be made again.
    void OnToolEnded();
    void OnFwVer();
    void OnStartUpgrade();
    void OnExit();

    // What the last check found, for /c's lines and the status record.
    CheckFacts Facts() const;

    IspStep Step() const { return m_run.Step(); }
    bool IspMode() const { return m_bIspMode; }
    bool DeviceReady() const { return m_bDeviceReady; }

private:
    friend struct UpgradeFlowTestAccess;

    using DeviceCheck = CheckSchedule::Part;

    void OnModeAnswer(device::DeviceMode mode);
    void OnVersionAnswer(const std::array<std::uint8_t, 4>& version);

    void RunDeviceCheck(DeviceCheck check);
    // What a scan found of the dock before it asks it anything.
    void NoteDockSeen();
    // Starts a vendor tool for the check, unless a run of it is still in
    // flight, whose result the check then waits for; logs a tool that the
    // check could not find, by name and path.
    void StartTool(ToolResultText& result, std::optional<MissingTool> (ToolLauncher::*start)(),
                   std::wstring_view tool);
    // The check's verdict, once no part of "FW Ver" is still to come.
    void EndCheck(FlowEnding ending);
    // A device check that ends before it reaches the dock.
    void EndCheckEarly(DeviceCheck check, FlowEnding ending);
    // Logs the version gate's verdict and shows it; true to offer the update.
    bool JudgeDock(const std::array<std::uint8_t, 4>& deviceVersion);

    // Waits for the answer to a query outside a run, when one was sent.
    void AwaitQuery(AnswerWatch::Awaited query);
    void OnNoAnswer();

    void Log(std::wstring text);

    FlowSurface& m_surface;
    WindowSurface& m_window;
    FlowEvents& m_events;
    HidLink& m_link;
    ToolLauncher& m_tools;
    ToolResults& m_toolResults;
    const package::ImageTable& m_images;
    const PackageIdentity& m_package;

    bool m_bDeviceReady = false;
    bool m_bIspMode = false;
    std::unique_ptr<CheckSchedule> m_schedule;
    AnswerWatch m_watch;
    ButtonPanel m_buttons;
    // What the version gate's last verdict means for the dock, and what the
    // check has found of it so far.
    FlowEnding m_gateEnding = FlowEnding::CheckFailed;
    std::optional<std::array<std::uint8_t, 4>> m_deviceVersion;
    std::optional<std::uint16_t> m_productId;
    // Last: it refers to the watch, the buttons and the mode above.
    ProgrammingRun m_run;
};
