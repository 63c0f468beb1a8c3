#pragma once

#include <cstdint>
#include <string>

// The hub tool answers through its exit code; the version gate reads it as
// text and looks for the version the dock must carry.

// "HUB FW is 0x%04x" of the exit code's low 16 bits, which hold the version.
std::wstring HubFirmwareText(std::uint32_t exitCode);

// The gate's line when the tool could not be started, was ended at its
// bound, or its exit code could not be read: no version, so the check fails.
std::wstring HubFirmwareUnknownText();

// The gate's line when the tool was started for the check and has not ended
// by the time the dock's version is judged.
std::wstring HubFirmwareUnfinishedText();
