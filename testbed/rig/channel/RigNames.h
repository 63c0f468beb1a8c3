#pragma once

#include <optional>
#include <string>
#include <string_view>

// The names under which docksim serves the simulated dock. Every HID
// interface it shows is a message-mode named pipe of its own; one more pipe
// takes requests (the interface listing, plugging, faults, quitting).
namespace rig {

inline constexpr std::wstring_view kControlPipe = L"\\\\.\\pipe\\docksim";
// Set while docksim takes requests, so a client can wait for it to start.
inline constexpr std::wstring_view kReadyEvent = L"docksim-ready";

// The device path of interface `index`: \\.\pipe\docksim-<index>.
std::wstring InterfacePipePath(unsigned index);

// The interface a pipe name belongs to. Takes the device path as well as the
// name the file system gives an open pipe ("\docksim-3").
std::optional<unsigned> InterfaceIndexOf(std::wstring_view pipeName);

}  // namespace rig
