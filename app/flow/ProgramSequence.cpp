#include "app/flow/ProgramSequence.h"

#include <algorithm>
#include <iterator>

#include "device/IspCommand.h"

namespace {

using S = IspStep;
using G = StepGate;
using R = StepReport;
using E = ImageEnd;

constexpr std::array<const wchar_t*, 3> kNoLines{};

// A run of the whole package goes 19 to 25 (chip 1), 1 to 7 (chip 2), 8 to
// 13 (chip 3) and ends in 17 or 18; update plans "2" and "3" begin at chip 2
// and chip 1, a dock found in its bootloader at chip 3's erase.
constexpr StepRow kSteps[] = {
    // Chip 1, the TI controller, erased and then written in 256-byte blocks.
    {S::Chip1Prepare,
     G::None,
     nullptr,
     R::Nothing,
     E::None,
     {L"WORK_PREPARE.."},
     kFillGold,
     -1,
     nullptr,
     R::Chip1Prepare,
     S::Chip1PrepareCheck,
     nullptr},
    {S::Chip1PrepareCheck, G::StatusOk, L"ISP Chip 1 FLASH ERROR!", R::Chip1End, E::None, kNoLines,
     0, -1, nullptr, R::Chip1Erase, S::Chip1EraseCheck, L"chip 1's prepare"},
    {S::Chip1EraseCheck,
     G::StatusOk,
     L"ISP Chip 1 ERASE ERROR!",
     R::Chip1End,
     E::None,
     {L"Chip 1 Erasing..."},
     0,
     -1,
     nullptr,
     R::Chip1EraseStatus,
     S::Chip1EraseWait,
     L"chip 1's erase"},
    {S::Chip1EraseWait, G::EraseDone, L"ISP Chip 1 ERASE ERROR!", R::Chip1End, E::None, kNoLines, 0,
     4, L"Chip 1 File 1/1 : %6u BYTES", R::Nothing, S::Chip1Send, L"chip 1's erase status"},
    {S::Chip1Send, G::ImageSent, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr, R::Nothing,
     S::Chip1End, L"a chip 1 data packet"},
    {S::Chip1End,
     G::None,
     nullptr,
     R::Nothing,
     E::Total,
     {L"File 1/1 End", L"ISP Chip 1 Finish!", L"Verify.."},
     0,
     -1,
     nullptr,
     R::Chip1Checksum,
     S::Chip1Verify,
     nullptr},
    {S::Chip1Verify, G::Chip1Sum, L"ISP false!", R::Chip1End, E::None, kNoLines, 0, -1, nullptr,
     R::Chip1End, S::Chip2Start, L"chip 1's checksum"},

    // Chip 2, the MegaChip controller: two files.
    {S::Chip2Start, G::None, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr, R::Chip2Start,
     S::Chip2File1Begin, L"chip 1's end"},
    {S::Chip2File1Begin, G::None, nullptr, R::Nothing, E::None, kNoLines, kFillGold, 1,
     L"Chip 2 File 1/2 : %6u BYTES", R::Nothing, S::Chip2File1Send, L"chip 2's start"},
    {S::Chip2File1Send, G::ImageSent, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr,
     R::Nothing, S::Chip2File1End, L"a chip 2 data packet"},
    {S::Chip2File1End,
     G::None,
     nullptr,
     R::Nothing,
     E::Total,
     {L"File 1/2 End"},
     0,
     -1,
     nullptr,
     R::Nothing,
     S::Chip2File2Begin,
     nullptr},
    {S::Chip2File2Begin, G::None, nullptr, R::Nothing, E::None, kNoLines, 0, 2,
     L"File 2/2 : %6u BYTES", R::Nothing, S::Chip2File2Send, nullptr},
    {S::Chip2File2Send, G::ImageSent, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr,
     R::Nothing, S::Chip2File2End, L"a chip 2 data packet"},
    {S::Chip2File2End,
     G::None,
     nullptr,
     R::Nothing,
     E::SpacedTotal,
     {L"File 2/2 End, ISP Chip 2 FINISH"},
     0,
     -1,
     nullptr,
     R::Nothing,
     S::Chip3Switch,
     nullptr},

    // Chip 3, the dock's own EFM8: written from its bootloader.
    {S::Chip3Switch, G::None, nullptr, R::Nothing, E::None, kNoLines, kFillGold, -1, nullptr,
     R::SwitchMode, S::Chip3Erase, nullptr},
    {S::Chip3Erase, G::Bootloader, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr,
     R::Chip3Erase, S::Chip3EraseCheck, L"the dock's restart into its bootloader"},
    {S::Chip3EraseCheck, G::StatusOk, L"ISP Chip 3 ERASE ERROR!", R::Nothing, E::None, kNoLines, 0,
     0, L"File 1/1 : %6u BYTES", R::Nothing, S::Chip3Send, L"chip 3's erase"},
    {S::Chip3Send, G::ImageSent, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr, R::Nothing,
     S::Chip3End, L"a chip 3 data packet"},
    {S::Chip3End,
     G::None,
     nullptr,
     R::Nothing,
     E::Total,
     {L"File 1/1 End", L"ISP Chip 3 Finish!"},
     kFillGreen,
     -1,
     nullptr,
     R::Chip3Checksum,
     S::Chip3Verify,
     nullptr},
    {S::Chip3Verify,
     G::Chip3Sum,
     L"ISP Chip 3 false!",
     R::Nothing,
     E::None,
     {L"Chip 3 Checksum pass, ISP Success!"},
     0,
     -1,
     nullptr,
     R::SwitchMode,
     S::ShowPass,
     L"chip 3's checksum"},

    // The verdict: PASS waits for the power reset, FAIL for nothing.
    {S::ShowPass, G::Verdict, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr, R::Nothing,
     S::ShowPass, nullptr},
    {S::ShowFail, G::Verdict, nullptr, R::Nothing, E::None, kNoLines, 0, -1, nullptr, R::Nothing,
     S::ShowFail, nullptr},
};

}  // namespace

const StepRow* RowOf(IspStep step) {
    const auto* row = std::find_if(std::begin(kSteps), std::end(kSteps),
                                   [step](const StepRow& r) { return r.step == step; });
    return row == std::end(kSteps) ? nullptr : row;
}

IspStep FirstStep(char updatePlan, bool bootloader) {
    if (bootloader) {
        return IspStep::Chip3Erase;
    }
    if (updatePlan == '2') {
        return IspStep::Chip2Start;
    }
    if (updatePlan == '3') {
        return IspStep::Chip1Prepare;
    }
    return IspStep::Chip3Switch;
}

bool RunOver(IspStep step) {
    return step == IspStep::Idle || step == IspStep::ShowPass || step == IspStep::ShowFail;
}

unsigned AnswerTimeoutMs(IspStep step) {
    return step == IspStep::Chip3Erase ? kRestartTimeoutMs : kAnswerTimeoutMs;
}

std::wstring_view AwaitedAnswer(IspStep step) {
    const StepRow* row = RowOf(step);
    return row != nullptr && row->awaited != nullptr ? row->awaited : L"the last report";
}

std::optional<device::IspReport> BuildStepReport(StepReport report,
                                                 const package::ImageTable& images,
                                                 bool bootloader) {
    switch (report) {
        case StepReport::Nothing:
            return std::nullopt;
        case StepReport::Chip2Start:
            return device::BuildMegachipInitialCommand();
        case StepReport::SwitchMode:
            return bootloader
                       ? device::BuildFinishCommand(images.m_wImage0Sum, images.m_dwImageLength[0],
                                                    images.m_byCodeVersion)
                       : device::BuildJumpIspCommand();
        case StepReport::Chip3Erase:
            return device::BuildEraseCommand(images.m_dwImageLength[0]);
        case StepReport::Chip3Checksum:
            return device::BuildChecksumCommand(images.m_dwImageLength[0]);
        case StepReport::Chip1Prepare:
            return device::BuildTiInitialCommand();
        case StepReport::Chip1Erase:
            return device::BuildTiEraseCommand();
        case StepReport::Chip1EraseStatus:
            return device::BuildTiStatusCommand();
        case StepReport::Chip1Checksum:
            return device::BuildTiChecksumCommand(images.m_dwImageLength[4]);
        case StepReport::Chip1End:
            return device::BuildTiEndCommand();
    }
    return std::nullopt;
}
