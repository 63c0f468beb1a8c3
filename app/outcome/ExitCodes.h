#pragma once

#include <optional>
#include <string_view>

#include "app/flow/FlowEnding.h"

// The exit codes of the silent runner, documented for deployment systems.
namespace exit_code {
inline constexpr int kUpdateApplies = 0;  // check only: the update applies
inline constexpr int kFailed = 1;
inline constexpr int kRestartNeeded = 2;  // written and verified; power reset the dock
inline constexpr int kNothingToDo = 3;
inline constexpr int kNoDock = 4;
inline constexpr int kNotApplicable = 5;
inline constexpr int kAlreadyRunning = 6;
inline constexpr int kBadCommandLine = 87;
}  // namespace exit_code

// The silent runner's exit code once the flow has come to `ending`; none when
// the ending calls for the update, which then runs (unless only checking).
constexpr std::optional<int> ExitCodeOf(FlowEnding ending, bool checkOnly) {
    switch (ending) {
        case FlowEnding::UpdateOffered:
            return checkOnly ? std::optional<int>(exit_code::kUpdateApplies) : std::nullopt;
        case FlowEnding::UpToDate:
            return exit_code::kNothingToDo;
        case FlowEnding::NoDock:
            return exit_code::kNoDock;
        case FlowEnding::NotApplicable:
            return exit_code::kNotApplicable;
        case FlowEnding::RunPassed:
            return exit_code::kRestartNeeded;
        case FlowEnding::CheckFailed:
        case FlowEnding::RunFailed:
            break;
    }
    return exit_code::kFailed;
}

// The installer convention (/codes=msi): what deployment systems read without
// being told, where 3010 asks for a restart, 1618 for another try later, and
// any code but 0 and 3010 is a failure. The command line's 87 and the usage's
// 0 stay as they are.
namespace installer_code {
inline constexpr int kSuccess = 0;
inline constexpr int kRestartRequired = 3010;
inline constexpr int kTryLater = 1618;
inline constexpr int kNotApplicable = 1633;
inline constexpr int kFailed = 1603;
}  // namespace installer_code

constexpr int InstallerCodeOf(int code) {
    switch (code) {
        case exit_code::kRestartNeeded:
            return installer_code::kRestartRequired;
        case exit_code::kNothingToDo:
            return installer_code::kSuccess;
        case exit_code::kNoDock:
        case exit_code::kAlreadyRunning:
            return installer_code::kTryLater;
        case exit_code::kNotApplicable:
            return installer_code::kNotApplicable;
        case exit_code::kFailed:
            return installer_code::kFailed;
        default:
            return code;
    }
}

// The outcome as a detection rule reads it from the status record, and as
// /c's last line gives it. A check that finds the dock in its bootloader
// offers the update, so it too is UpdateAvailable.
constexpr std::wstring_view StatusTokenOf(FlowEnding ending) {
    switch (ending) {
        case FlowEnding::UpdateOffered:
            return L"UpdateAvailable";
        case FlowEnding::UpToDate:
            return L"Current";
        case FlowEnding::NoDock:
            return L"NoDock";
        case FlowEnding::NotApplicable:
            return L"NotApplicable";
        case FlowEnding::RunPassed:
            return L"PendingPowerReset";
        case FlowEnding::CheckFailed:
        case FlowEnding::RunFailed:
            break;
    }
    return L"Failed";
}
