#pragma once

#include <string>
#include <string_view>

// Tells whoever is logged on at the machine's console, the one person who can
// reach the dock, without waiting for an answer: wtsapi32.dll's message to a
// session, from the system folder, closing by itself after 15 minutes. The
// line for the log: which session got it, or why none did.
std::wstring SendConsoleNotice(std::wstring_view text);
