#pragma once

#include <optional>
#include <string>

#include "app/log/LogFilePath.h"
#include "app/outcome/StatusRecord.h"

// The scope this process writes its record and default log in: machine-wide
// when it runs elevated or as the system, else for its user.
RecordScope ProcessScope();

// The process runs as the local system account.
bool ProcessIsLocalSystem();

// The time now, as the record's LastRunUtc.
std::wstring UtcNow();

// Writes the record under SOFTWARE\DockFirmwareUpdate of HKLM or HKCU, in
// the 64-bit view. The reason when it could not, for the log.
std::optional<std::wstring> WriteStatusRecord(RecordScope scope, const StatusRecord& record);
