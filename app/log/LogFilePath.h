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

// Where /s writes its log without /l, and where the status record goes: a
// process that runs elevated or as the system writes machine-wide, any
// other for its user alone.
// Machine-wide: HKLM and %ProgramData%; for the user: HKCU and %LOCALAPPDATA%.
enum class RecordScope { Machine, User };
RecordScope ScopeOf(bool elevated, bool localSystem);

// The default log below the scope's folder: the folders the tool keeps it
// in, outermost first, its file, and what a full log is renamed to.
inline constexpr std::wstring_view kDefaultLogFolders[] = {L"DockFirmwareUpdate", L"Logs"};
inline constexpr std::wstring_view kDefaultLogFile = L"KrEFM8SwUpgrade.log";
inline constexpr std::wstring_view kPreviousLogFile = L"KrEFM8SwUpgrade.old.log";

// A log that already holds this much when it is opened is renamed to the
// previous one (replacing it), and a new one starts.
inline constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;
bool LogRotatesAt(std::uint64_t size);

// What the system says of a folder of the default log that already exists.
struct LogFolderFacts {
    bool reparsePoint = false;    // a link or junction
    bool ownerTrusted = false;    // owned by the system or Administrators
    bool othersMayWrite = false;  // anyone but those two may write, or change who may
};

// A machine-wide folder is used only when no one but the system and
// Administrators could have put or changed anything in it; a user's own
// only when it is no link. The reason otherwise.
std::optional<std::wstring> LogFolderRefusal(RecordScope scope, const LogFolderFacts& facts);
