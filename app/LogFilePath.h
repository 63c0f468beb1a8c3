#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The log file of /l=FILE is written by a tool that management agents run as
// the system account, on a path whoever deploys it wrote. It is kept only
// when it is a plain file on a disk, reached by the path as given: never a
// device, a pipe, a console, or a file through a link that points elsewhere.
// Each decision gives the reason for a refusal, or nothing when the path
// passes it.

// Decided from the path alone, before anything is opened: no device
// namespace (\\.\ or \\?\GLOBALROOT) and no device name (NUL, CON, AUX, PRN,
// COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$) as any component, with or
// without an extension, and no stream name after a colon.
std::optional<std::wstring> LogPathRefusal(std::wstring_view path);

// What the system says of the file once it is open (without following a
// link at its end), and of the path that reached it.
struct OpenedLogFile {
    bool onDisk = false;  // a file on a disk, local or a network share
    bool directory = false;
    bool reparsePoint = false;  // a link or junction itself
    std::uint32_t links = 1;    // its names (hard links)
    std::wstring givenPath;     // the path as given, made full and long
    std::wstring finalPath;     // the path the system reached it by
};

// Decided on the open file: on a disk, no folder, no reparse point, one
// name, and a final path that is the given one, compared without case and
// without the volume (a drive letter, a mapped drive and its share's name
// reach the same file), so that no junction or link lay on the way.
std::optional<std::wstring> OpenedLogFileRefusal(const OpenedLogFile& file);

// A path with its volume taken away: "C:\Logs\a.log", "\\server\share\Logs\a.log"
// and their \\?\ forms all give "\Logs\a.log".
std::wstring PathWithoutVolume(std::wstring_view path);
