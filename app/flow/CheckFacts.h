#pragma once

#include <cstdint>
#include <optional>

#include "app/flow/VersionGate.h"
#include "tools/ToolResultText.h"

// What a check found of the dock, or, for a run, what the dock holds after
// it: the facts /c prints and the status record and the event carry. Each
// check starts from nothing, so none of it is an earlier dock's.
struct CheckFacts {
    // The package's version; none when the package did not load.
    std::optional<FirmwareVersion> package;
    // The dock's version; none before it answered, or in its bootloader.
    std::optional<FirmwareVersion> device;
    // The dock's version before this run of the tool wrote anything: for a
    // check, what it read; none in the bootloader.
    std::optional<FirmwareVersion> previous;
    bool bootloader = false;
    ToolResult hub;
    ToolResult dp;
    // The product ID of the dock found, or of the vendor's other model seen;
    // none when no dock was found.
    std::optional<std::uint16_t> productId;
};
