#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

// The window that log records go to: the dialog, from its initialisation on.
// Null until then, and never cleared.
extern HWND g_hLogTarget;

// Post a log line or a progress value to the dialog, from any thread. Without
// a target, or when the record cannot be made or posted, the text is lost.
void PostLogLine(std::wstring_view text) noexcept;
void PostLogProgress(std::wstring_view text, std::uint16_t value) noexcept;

// Drops the log records still queued for `target`, a window going away: each
// owns its heap record, which nobody else would release.
void ReleasePendingLogRecords(HWND target) noexcept;
