#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the tool tells beyond its exit code once a run has ended: an event in
// the Windows event log for the administrator, and, after a silent run, a
// notice for whoever sits at the machine's console.

enum class EventType { Information, Warning, Error };

struct EndingEvent {
    // The message's id in the executable's message table: 1000 plus the
    // default exit code.
    std::uint16_t id;
    EventType type;
    bool operator==(const EndingEvent&) const = default;
};

// The event of a default exit code (0 with /c, 1 to 6); none for 87, whose
// line was not understood.
std::optional<EndingEvent> EventOf(int code);

// The notice after a silent run that ended with `code`: for a dock written
// and verified that waits for its power reset, and for a run that failed
// after it began writing the dock; none otherwise.
std::optional<std::wstring_view> ConsoleNoticeOf(int code, bool wroteDock);

inline constexpr std::wstring_view kNoticeTitle = L"DOCK Firmware Update Tool";

// Why the console gets no notice: no session is attached to it, or no one
// is logged on there; nothing when the session's user may be told.
std::optional<std::wstring> NoticeRefusal(std::optional<std::uint32_t> consoleSession,
                                          std::wstring_view userName);
