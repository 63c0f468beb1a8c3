#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/rig/channel/InterfaceTraits.h"

// The client side of docksim's request pipe: one request, one reply, each a
// single message of text. The stand-in DLLs ask for the interface listing
// here; tests and scripts plug, unplug, arm faults and end docksim.
namespace rig {

// Waits until a docksim takes requests; false when none did within `waitMs`.
bool AwaitDockSim(DWORD waitMs);

// docksim's reply to `request`, or nullopt when no docksim is running or it
// gave no reply within `replyMs`.
std::optional<std::string> AskDockSim(std::string_view request, DWORD replyMs);

// The interfaces present now, in enumeration order; nullopt when no docksim
// answered.
std::optional<std::vector<ListedInterface>> AskInterfaceListing(DWORD replyMs);

// Requests and the first line of every reply.
inline constexpr std::string_view kListRequest = "interfaces";
inline constexpr std::string_view kReplyOk = "ok";

}  // namespace rig
