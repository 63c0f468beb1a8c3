#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "app/flow/AnswerWatch.h"
#include "app/flow/Buttons.h"
#include "app/flow/DialogSurface.h"
#include "app/flow/FlowEvents.h"
#include "app/flow/ImageTransfer.h"
#include "app/flow/ProgramSequence.h"
#include "device/HidLink.h"
#include "device/IspReport.h"
#include "package/FirmwarePackage.h"
#include "package/PackageFile.h"

// One run of the programming sequence: the step it stands in, the image
// under way and chip 1's erase, carried out from the sequence's table. It
// alone changes the step. The flow hands it the dock's answers, its removal
// and the time-outs that concern a run, and tells it where the dock's mode
// answers leave it; the run tells the flow's events when it wrote the dock
// and how it ended.
class ProgrammingRun {
public:
    // Watches chip 1's erase for one that never finishes.
    static constexpr int kChip1EraseTimer = 6;
    static constexpr unsigned kChip1EraseLimitMs = 60000;
    // Pause between two polls of chip 1's erase.
    static constexpr unsigned kErasePollPauseMs = 30;

    // `bootloader` is the flow's view of the dock's mode: the chip 3 steps
    // wait for it, and the mode switch sends what it calls for.
    ProgrammingRun(FlowSurface& surface, WindowSurface& window, ButtonPanel& buttons, HidLink& link,
                   PackageFile& packageFile, const package::ImageTable& images, AnswerWatch& watch,
                   FlowEvents& events, const bool& bootloader);

    IspStep Step() const { return m_step; }
    // Over, or none began: idle, or showing its verdict.
    bool Over() const { return RunOver(m_step); }
    // Waits for the dock to come back in its bootloader after the restart.
    bool AwaitsBootloader() const { return m_step == IspStep::Chip3Erase; }

    // Start: the first step, by the package's update plan or, in the
    // bootloader, at chip 3's erase; it runs at once.
    void Start();
    // The dock answered that it runs its bootloader while a run stands
    // anywhere but idle: it goes on (or, after a failure, begins again) at
    // chip 3's erase. True when that begins a run.
    bool ResumeInBootloader();
    // The dock answered that it runs its application. True when no run is
    // under way, so the answer is a check's; a run that waits for the dock's
    // return in its bootloader fails when the dock left and came back so.
    bool OnApplicationAnswer();
    // Every answer of the dock, after the flow has read it: the step it runs.
    void OnAnswer(std::span<const std::uint8_t> report);
    // A scan reopened the dock while a run stands in a step: it runs it.
    void OnDockFound();
    // The open dock has left the bus.
    void OnRemoval();
    // The answer watch ran out while the run waits for `awaited`.
    void OnNoAnswer(AnswerWatch::Awaited awaited);
    void OnChip1EraseTimer();
    // Each answer during a run re-arms the watch for the next one; a run
    // that is over stops a watch left from it.
    void WatchForAnswer();

private:
    // Tests put the run into step values that no handler ever sets, to show
    // that an answer arriving there does nothing. Defined only in test code.
    friend struct UpgradeFlowTestAccess;

    void StepSequencer();
    // Whether the answer lets `row` go on; when it does not, the gate has
    // done what its step does instead (polled, sent a packet, failed the run).
    bool PassGate(const StepRow& row);
    void Enter(IspStep step);
    void BeginImage(const StepRow& row);
    void SendStep();
    // The next packet of the image under way, plain or within 256-byte
    // blocks. False when the image bytes could not be read: nothing was sent.
    bool SendDataPacket();
    void Send(StepReport report);
    void NoteWriting();
    bool Chip1SumMatches();
    void FailRun(std::wstring_view line);
    void EnterFailStep();
    void EnterPassStep();
    void ShowVerdict(ResultLook look);
    void End(FlowEnding ending);

    void Log(std::wstring text);
    void LogPercent(std::wstring text, std::uint16_t percent);
    std::uint8_t LastStatus() const;
    bool LastChecksumEquals(std::uint16_t expected) const;

    FlowSurface& m_surface;
    WindowSurface& m_window;
    ButtonPanel& m_buttons;
    HidLink& m_link;
    PackageFile& m_packageFile;
    const package::ImageTable& m_images;
    AnswerWatch& m_watch;
    FlowEvents& m_events;
    const bool& m_bIspMode;

    IspStep m_step = IspStep::Idle;
    // The answer being handled, zero past the length that was read.
    device::IspReport m_lastReport{};
    std::size_t m_lastReportLength = 0;
    // The image under way.
    ImageTransfer m_transfer;
    // Chip 1's erase has been busy for longer than it ever takes.
    bool m_bChip1EraseExpired = false;
    // The dock left the bus while the run waited for its restart.
    bool m_bDockLeft = false;
    // The run's first erase or data command has gone out.
    bool m_bWrote = false;
};
