#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/flow/VersionGate.h"
#include "app/outcome/ExitCodes.h"
#include "tools/ToolResultText.h"

// What the last check found of the dock, for /c's lines and the status record.
struct CheckFacts {
    FirmwareVersion package{};
    // The dock's version; none before it answered, or in its bootloader.
    std::optional<FirmwareVersion> device;
    bool bootloader = false;
    ToolResult hub;
    ToolResult dp;
    std::uint16_t productId = 0;
};

// /c's `key=value` lines: package, device, hub, dp, model.
std::vector<std::wstring> CheckSummaryLines(const CheckFacts& facts);

// The outcome a deployment system's detection rule reads, written after
// every check and every run under SOFTWARE\DockFirmwareUpdate.
struct StatusRecord {
    struct Value {
        std::wstring name;
        std::wstring text;
        bool operator==(const Value&) const = default;
    };
    std::vector<Value> strings;  // Status, the versions, Model, ToolVersion, LastRunUtc
    std::uint32_t lastExitCode = 0;
};

// The versions as the log shows them ("E117", "0x8720", the text after
// "Pegasus App:"), empty where the check found none; the model's name, or
// its product ID where the model table has none.
StatusRecord BuildStatusRecord(FlowEnding ending, const CheckFacts& facts, int exitCode,
                               std::wstring_view toolVersion, std::wstring_view runUtc);

// A moment in UTC as ISO 8601: "2026-12-10T15:04:05Z".
std::wstring Iso8601Utc(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                        unsigned second);
