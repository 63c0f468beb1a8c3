#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/sim/SimTypes.h"

// One HID interface in words, as docksim's options take it and its listing
// gives it: comma-separated keys with numbers in C notation, e.g.
//   vid=0x10c4,pid=0xf607,release=0x0100,page=0xff00,usage=0x0002,in=64,out=64,dock=1
// "dock=1" marks an interface of the dock: it comes and goes with the dock.
namespace rig {

// Sets the keys that `traits` names and leaves the others as they are. False,
// with a reason, for an unknown key or a value out of range.
bool ApplyInterfaceTraits(std::string_view traits, sim::SimInterface& into, std::string& error);

// Every key, so that parsing the text gives the same interface back.
std::string FormatInterfaceTraits(const sim::SimInterface& entry);

struct ListedInterface {
    unsigned index = 0;  // names its pipe
    sim::SimInterface entry;
};

// The present interfaces in enumeration order, one line each: "<index> <traits>".
std::string FormatListing(const std::vector<ListedInterface>& interfaces);
// Gives each interface its device path; nullopt for a malformed listing.
std::optional<std::vector<ListedInterface>> ParseListing(std::string_view text);

}  // namespace rig
