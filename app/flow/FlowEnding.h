#pragma once

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
