#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/HidInterfaceMatch.h"
#include "device/IspAnswer.h"
#include "device/IspReport.h"

// What the simulated machine shows and does besides the microcontroller's
// answers: its HID interfaces, the bus events of the dock, and the faults a
// test can arm.
namespace sim {

// One HID interface as an enumeration sees it.
struct SimInterface {
    std::wstring path;
    device::HidIdentity identity{.vendorId = device::kDockVendorId,
                                 .productId = device::kDockProductId,
                                 .versionNumber = device::kDockRelease};
    std::uint16_t usagePage = device::kDockUsagePage;
    std::uint16_t usage = device::kDockUsage;
    std::uint16_t inputReportLength = 64;
    std::uint16_t outputReportLength = 64;
    bool ofDock = true;  // present only while the dock is plugged in
    bool readOpenFails = false;
    bool writeOpenFails = false;
};

enum class BusEventKind { Removed, Arrived };

// One notification per interface of the dock, as the system sends them.
struct BusEvent {
    BusEventKind kind = BusEventKind::Removed;
    std::wstring path;
};

// What one output report makes the dock do: at most one answer, then any bus
// events (the answer always goes out before the dock leaves the bus).
struct Reaction {
    std::optional<device::IspReport> answer;
    std::vector<BusEvent> events;
};

struct DockSettings {
    device::DeviceMode mode = device::DeviceMode::Application;
    std::array<std::uint8_t, 4> applicationVersion{'E', 1, 1, 6};
    unsigned chip1EraseBusyAnswers = 2;  // erase-status answers that say "still busy"
};

// Output reports are numbered from 1 in the order they reach the dock; 0 arms
// nothing.
struct DockFaults {
    bool chip1FlashError = false;     // the prepare command fails
    bool chip1EraseError = false;     // the erase command fails
    bool chip1EndlessBusy = false;    // the erase never finishes
    bool chip1WrongChecksum = false;  // the reported sum is off by one
    bool chip3EraseError = false;
    bool chip3WrongChecksum = false;
    bool finishUnanswered = false;         // the finish command is taken, never answered
    bool jumpIntoApplication = false;      // the restart after the jump boots the application
    std::uint32_t silentFromReport = 0;    // hangs at this report until re-plugged
    std::uint32_t removeBeforeReport = 0;  // unplugged as this report arrives: it is lost
    std::uint32_t removeAfterReport = 0;   // unplugged right after answering this report
};

}  // namespace sim
