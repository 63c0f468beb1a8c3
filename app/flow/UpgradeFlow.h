#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/flow/AnswerWatch.h"
#include "app/flow/Buttons.h"
#include "app/flow/CheckSchedule.h"
#include "app/flow/DialogSurface.h"
#include "app/flow/ImageTransfer.h"
#include "app/flow/ProgramSequence.h"
#include "app/outcome/StatusRecord.h"
#include "device/HidLink.h"
#include "device/IspReport.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "res/resource.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolResultText.h"

// A check and an update of the dock, put together from their pieces: the
// check schedule, the version gate, the programming sequence, the image
// transfer, the answer watch and the button phases. The dialog and the silent
// runner forward their messages here and carry the decisions out through the
// surfaces; so do the tests, with a recorder and a simulated dock.
//
// Its handlers live in three files: this one's own (answers, the device
// watch, timers and buttons), UpgradeFlowCheck.cpp (the device checks and
// their verdict) and UpgradeFlowRun.cpp (the steps of a run).
//
// Every handler runs on the dialog's window thread: the reader hands each
// answer over and waits for it to be handled before it reads the next one.
class UpgradeFlow {
public:
    // Control ids of the main dialog.
    static constexpr int kStartButton = IDC_START_UPGRADE;
    static constexpr int kExitButton = IDC_EXIT;
    static constexpr int kFwVerButton = IDC_FW_VER;
    static constexpr int kScanButton = IDC_SCAN_DEVICES;

    // One-shot timers of a check.
    static constexpr int TIMER_SCAN = CheckSchedule::kScanTimer;
    static constexpr int TIMER_HUB_CHECK = CheckSchedule::kHubTimer;
    static constexpr int TIMER_DP_CHECK = CheckSchedule::kDpTimer;
    // Watches a run, and the mode and version queries of a check, for a dock
    // that stops answering, and chip 1's erase for one that never finishes.
    static constexpr int TIMER_NO_ANSWER = AnswerWatch::kTimer;
    static constexpr int TIMER_CHIP1_ERASE = 6;
    static constexpr unsigned kChip1EraseLimitMs = 60000;
    // Pause between two polls of chip 1's erase.
    static constexpr unsigned kErasePollPauseMs = 30;

    // When the parts of a check of "FW Ver" run: on the window's timers, or,
    // with no one watching, back to back (see CheckSchedule).
    enum class Schedule { WindowTimers, BackToBack };

    // The flow is given all it reads: the package and what it says of the
    // dock, and the tool results that `tools` leaves in `toolResults`.
    UpgradeFlow(FlowSurface& surface, WindowSurface& window, HidLink& link, ToolLauncher& tools,
                ToolResults& toolResults, PackageFile& packageFile,
                const package::ImageTable& images, const PackageIdentity& package,
                Schedule schedule = Schedule::WindowTimers);

    // An input report from the dock, as long as it was read.
    void OnIspReport(std::span<const std::uint8_t> report);
    void StepSequencer();

    // Device checks, run by the timers.
    void OnScanDevices();
    void CheckHubFirmware();
    void CheckDpFirmware();
    // Returns 1 to offer the update, 0 not to.
    int CheckFirmwareVersion(const std::array<std::uint8_t, 4>& fileVersion,
                             const std::array<std::uint8_t, 4>& deviceVersion);

    // Device notifications: an interface of the HID class arrived or was removed.
    void OnHidArrival();
    // True when the removed interface is the open device's.
    bool OnHidRemoval(std::wstring_view interfaceName);

    void OnDialogTimer(int id);
    // A vendor tool's run has ended (its worker stored the result).
    void OnToolEnded();
    void OnFwVer();
    void OnStartUpgrade();
    void OnExit();

    // What the last check found, for /c's lines and the status record.
    CheckFacts Facts() const;

    IspStep Step() const { return m_step; }
    bool IspMode() const { return m_bIspMode; }
    bool DeviceReady() const { return m_bDeviceReady; }

private:
    // Tests put the flow into step values that no handler ever sets, to show
    // that an answer arriving there does nothing. Defined only in test code.
    friend struct UpgradeFlowTestAccess;

    using DeviceCheck = CheckSchedule::Part;

    // Senders: one output report each, nothing while no device is open.
    void Send(const device::IspReport& report);
    void Send(StepReport report);
    // The next packet of the image under way, plain or within 256-byte blocks.
    // False when the image bytes could not be read: nothing was sent.
    bool SendDataPacket();

    // Device checks and their verdict.
    void RunDeviceCheck(DeviceCheck check);
    // Logs a vendor tool that the check could not find, by name and path.
    void NoteMissingTool(const std::optional<MissingTool>& missing);
    // The ending of a check, reported only outside a run: a scan that resumes
    // a run does not end it.
    void EndCheck(FlowEnding ending);
    // A device check that ends before it reaches the dock.
    void EndCheckEarly(DeviceCheck check, FlowEnding ending);

    // The steps of a run.
    // Whether the answer lets `row` go on; when it does not, the gate has
    // done what its step does instead (polled, sent a packet, failed the run).
    bool PassGate(const StepRow& row);
    void BeginImage(const StepRow& row);
    void SendStep();
    void NoteChip1Checksum();
    void FailRun(std::wstring_view line);
    void EnterFailStep();
    void EnterPassStep();
    void ShowVerdict(ResultLook look);

    // Waits for the answer to a query outside a run, when one was sent.
    void AwaitQuery(AnswerWatch::Awaited query);
    // Each answer during a run re-arms the watch for the next one.
    void WatchForAnswer();
    void OnNoAnswer();

    // The buttons follow the phase; each change shows all of them.
    void ShowButtons(ButtonPhase phase);

    void Log(std::wstring text);
    void LogPercent(std::wstring text, std::uint16_t percent);
    std::uint8_t LastStatus() const;
    bool LastChecksumEquals(std::uint16_t expected) const;

    FlowSurface& m_surface;
    WindowSurface& m_window;
    HidLink& m_link;
    ToolLauncher& m_tools;
    ToolResults& m_toolResults;
    PackageFile& m_packageFile;
    const package::ImageTable& m_images;
    const PackageIdentity& m_package;

    bool m_bDeviceReady = false;
    bool m_bIspMode = false;
    std::unique_ptr<CheckSchedule> m_schedule;
    AnswerWatch m_watch;
    IspStep m_step = IspStep::Idle;
    // The dialog opens with "FW Ver" and exit enabled.
    ButtonPhase m_buttons = ButtonPhase::CheckAllowed;
    // The answer being handled, zero past the length that was read.
    device::IspReport m_lastReport{};
    std::size_t m_lastReportLength = 0;

    // The image under way.
    ImageTransfer m_transfer;

    // Chip 1's checksum did not match. The run still writes chips 2 and 3 as
    // the dock expects, but it can no longer end in PASS.
    bool m_bChip1Failed = false;
    // Chip 1's erase has been busy for longer than it ever takes.
    bool m_bChip1EraseExpired = false;
    // What the version gate's last verdict means for the dock, and the
    // version the dock gave it.
    FlowEnding m_gateEnding = FlowEnding::CheckFailed;
    std::optional<std::array<std::uint8_t, 4>> m_deviceVersion;
};
