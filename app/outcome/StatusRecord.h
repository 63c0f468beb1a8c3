#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/flow/CheckFacts.h"
#include "app/outcome/ExitCodes.h"

// The dock's `key=value` lines of /c and the event: package, device,
// previous, hub, dp, model.
std::vector<std::wstring> CheckSummaryLines(const CheckFacts& facts);

// The outcome a deployment system's detection rule reads, written after
// every check and every run under SOFTWARE\DockFirmwareUpdate.
struct StatusRecord {
    struct Value {
        std::wstring name;
        std::wstring text;
        bool operator==(const Value&) const = default;
    };
    // Status, the versions, Model, ToolVersion, LastRunUtc
    std::vector<Value> strings;
    std::uint32_t lastExitCode = 0;
};

// The versions as the log shows them ("E117", "0x8720", the text after
// "Pegasus App:"), empty where none was read; the dock's model name, or its
// product ID where the model table has none, empty when no dock was found.
StatusRecord BuildStatusRecord(FlowEnding ending, const CheckFacts& facts, int exitCode,
                               std::wstring_view toolVersion, std::wstring_view runUtc);

// A moment in UTC as ISO 8601: "2026-12-10T15:04:05Z".
std::wstring Iso8601Utc(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second);
