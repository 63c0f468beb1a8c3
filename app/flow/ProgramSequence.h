#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "device/IspReport.h"
#include "package/FirmwarePackage.h"

// The steps of a run. Their numbers are the ones the dock's technicians and
// our tests have always known (14 to 16 are not used); 0 is idle.
enum class IspStep : std::uint8_t {
    Idle = 0,
    Chip2Start = 1,
    Chip2File1Begin = 2,
    Chip2File1Send = 3,
    Chip2File1End = 4,
    Chip2File2Begin = 5,
    Chip2File2Send = 6,
    Chip2File2End = 7,
    Chip3Switch = 8,
    Chip3Erase = 9,
    Chip3EraseCheck = 10,
    Chip3Verify = 11,
    Chip3Send = 12,
    Chip3End = 13,
    ShowPass = 17,
    ShowFail = 18,
    Chip1Prepare = 19,
    Chip1PrepareCheck = 20,
    Chip1EraseCheck = 21,
    Chip1EraseWait = 22,
    Chip1Send = 23,
    Chip1End = 24,
    Chip1Verify = 25,
};

constexpr unsigned StepNumber(IspStep step) {
    return static_cast<unsigned>(step);
}

// A command report a step sends to the dock.
enum class StepReport : std::uint8_t {
    Nothing,
    Chip2Start,
    // Into the bootloader from the application; the finish command from the bootloader.
    SwitchMode,
    Chip3Erase,
    Chip3Checksum,
    Chip1Prepare,
    Chip1Erase,
    Chip1EraseStatus,
    Chip1Checksum,
    Chip1End,
};

// What the answer that runs a step must show before the step goes on.
enum class StepGate : std::uint8_t {
    None,
    // A zero status; any other fails the run.
    StatusOk,
    // The dock is in its bootloader; in its application it is still on its way there.
    Bootloader,
    // Chip 3's checksum is the package's; any other fails the run.
    Chip3Sum,
    // Chip 1's erase has finished; while busy it is polled, for a minute at most.
    EraseDone,
    // The image is out whole; until then each answer sends its next packet.
    ImageSent,
    // Chip 1's checksum is the package's; any other is logged with both sums
    // and fails the run.
    Chip1Sum,
    // The run has ended; an answer shows its verdict again.
    Verdict,
};

// How the image that has just gone out whole is closed in the log.
enum class ImageEnd : std::uint8_t { None, Total, SpacedTotal };

// One step: what it waits for, what it logs, shows and sends once that has
// come, and where it goes then. A step that sends nothing hands over to the
// next at once; every other waits for the dock's answer.
struct StepRow {
    IspStep step;
    StepGate gate;
    // Logged, and sent, when the gate fails the run.
    const wchar_t* failLine;
    StepReport failReport;
    ImageEnd imageEnd;
    std::array<const wchar_t*, 3> lines;
    // The progress bar's fill from here on, 0 to keep it.
    std::uint32_t fill;
    // The image that begins here (-1 for none), and its log heading, which
    // takes the image's length.
    int image;
    const wchar_t* heading;
    StepReport report;
    IspStep next;
    // What a run waiting in this step waits for, as the no-answer line names it.
    const wchar_t* awaited;
};

// Progress bar fills: gold while a chip is written, green while chip 3 is verified.
inline constexpr std::uint32_t kFillGold = 0xFFFFD700;
inline constexpr std::uint32_t kFillGreen = 0xFF008000;

// The row of a step, or none for idle and the unused numbers.
const StepRow* RowOf(IspStep step);

// Where a run begins: in the bootloader at chip 3's erase, else where the
// package's update plan starts.
IspStep FirstStep(char updatePlan, bool bootloader);

// A run is over (or none began): idle, or showing its verdict.
bool RunOver(IspStep step);

// How long a run waiting in `step` waits for the dock: a restart into the
// bootloader takes longer than any answer.
unsigned AnswerTimeoutMs(IspStep step);
inline constexpr unsigned kAnswerTimeoutMs = 10000;
inline constexpr unsigned kRestartTimeoutMs = 30000;

std::wstring_view AwaitedAnswer(IspStep step);

// The command `report` stands for, with the package's lengths, checksum and
// version where it carries them; none for `Nothing`.
std::optional<device::IspReport> BuildStepReport(StepReport report,
                                                 const package::ImageTable& images,
                                                 bool bootloader);
