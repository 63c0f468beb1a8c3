#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/flow/FlowEnding.h"
#include "app/flow/ResultLook.h"
#include "tools/ToolResultText.h"

// The version gate: whether the update is offered to a dock, judged from the
// package's version, the dock's, and what the hub and DisplayPort tools of
// this check gave. A pure decision: the flow logs its lines and carries out
// the rest.
struct GateVerdict {
    std::vector<std::wstring> lines;  // the log's lines, "File Version: ..." first
    std::vector<ResultLook> looks;    // the result label's looks, in the order set
    bool resetProgress = false;       // the progress bar goes back to 0
    bool offer = false;               // start is offered
    FlowEnding ending = FlowEnding::CheckFailed;

    bool operator==(const GateVerdict&) const = default;
};

using FirmwareVersion = std::array<std::uint8_t, 4>;

GateVerdict JudgeVersions(const FirmwareVersion& package, const FirmwareVersion& device,
                          const ToolResult& hub, const ToolResult& dp);

// A version as the log shows it: the letter, then each value in hexadecimal
// ("E117"). A letter byte that does not print is written as \xNN: a zero
// would end the log's text there and hide every later line.
std::wstring VersionText(const FirmwareVersion& version);

// The gate's line for the hub tool's result: its text once it ended, else
// why there is no version.
std::wstring HubResultLine(const ToolResult& hub);

// The DisplayPort tool's version line, the 30 characters from "Pegasus App:"
// on; empty when its run has not ended, failed, or printed none.
std::wstring DpVersionLine(const ToolResult& dp);
