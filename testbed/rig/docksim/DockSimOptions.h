#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testbed/sim/SimTypes.h"

// What docksim is told on its command line: the machine's HID interfaces,
// the dock's state and faults, its pace, who hears of arrivals and removals,
// and where the chips' contents go at the end. Or, with --send, one request
// for a docksim that runs already.
struct DockSimOptions {
    std::vector<sim::SimInterface> interfaces;  // in enumeration order
    sim::DockSettings settings;
    sim::DockFaults faults;
    std::uint32_t answerDelayUs = 0;
    std::wstring notifyCaption = L"DOCK Firmware Update Tool";
    std::wstring dumpDir;  // empty: no dump at the end
    bool startUnplugged = false;

    std::optional<std::string> request;  // --send
    std::uint32_t waitMs = 20000;        // how long --send waits for docksim
};

// nullopt, with the reason in `error`, for a command line that cannot be used.
std::optional<DockSimOptions> ParseDockSimOptions(int argc, const wchar_t* const* argv,
                                                  std::string& error);

// Arms one fault by name ("chip1-erase-error", "remove-after=12", ...); used
// by --fault and by the "fault" request.
bool ApplyFault(std::string_view fault, sim::DockFaults& faults, std::string& error);

extern const char* const kDockSimUsage;
