#pragma once

#include <optional>
#include <string>
#include <vector>

// Reports the event of a default exit code to the Application log under the
// source DockFirmwareUpdate, its insertion strings one `key=value` each. The
// source is registered with this executable as its message file when the
// process may write the registration and it names another file. The reason
// when the event could not be reported, for the log.
std::optional<std::wstring> ReportEndingEvent(int code, const std::vector<std::wstring>& lines);
