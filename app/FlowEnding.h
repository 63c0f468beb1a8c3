#pragma once

#include <optional>

// How a check or a run of the upgrade flow ended, as a front end that
// nobody watches must report it: the dialog shows the same endings in its
// log and result label, the silent runner turns them into its exit code.
enum class FlowEnding {
    UpdateOffered,  // the version gate offers the update (start enabled)
    UpToDate,       // the dock carries this or a newer release
    NoDock,         // no dock of the package's vendor is attached
    NotApplicable,  // another model, a hub firmware that blocks the offer, or
                    // a package whose version letter is not E, L or V
    CheckFailed,    // a device or file error of a check, a dock that did not answer
    RunPassed,      // written and verified: the dock needs its power reset
    RunFailed,      // any FAIL of a run, a dock removed or silent mid-run
};

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
