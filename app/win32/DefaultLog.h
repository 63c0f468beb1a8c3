#pragma once

#include <optional>
#include <string>

#include "app/log/LogFilePath.h"
#include "app/win32/LogOutputs.h"

// The log /s appends to without /l: DockFirmwareUpdate\Logs\KrEFM8SwUpgrade.log
// under %ProgramData% (machine-wide) or %LOCALAPPDATA%. The folders the tool
// creates machine-wide let only the system and Administrators write; one
// that exists is used only when LogFolderRefusal lets it. A log that has
// grown to its limit is set aside first. Gives the reason it cannot be used.
std::optional<std::wstring> OpenDefaultLog(RecordScope scope, LogFile& file);
