#pragma once

#include <cstdint>
#include <string>

// The hub tool answers through its exit code; the version gate reads it as
// text and looks for the version the dock must carry.

// "HUB FW is 0x%04x" of the exit code's low 16 bits, which hold the version.
std::wstring HubFirmwareText(std::uint32_t exitCode);

// The answer when the tool could not be started or its exit code could not
// be read: not empty, so the gate still checks it, and without any version,
// so the check fails.
std::wstring HubFirmwareUnknownText();
