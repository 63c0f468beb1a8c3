#pragma once

#include <string>

#include "testbed/sim/DockSimulator.h"

// What a test reads back from the dock: a summary of its state, and the
// chips' contents to compare with the package's images.

// Lines of KEY=VALUE: reports, mode, version, plugged, then one
// "protocol-error=..." line for each deviation the dock noted.
std::string DockSummary(const sim::DockSimulator& dock);

// Writes into `dir` (created when missing): chip1.bin (chip 1's flash),
// chip2-1.bin, chip2-2.bin... (the files chip 2 received, in order),
// chip3.bin (what was written to chip 3 since its erase) and summary.txt.
bool WriteChipDump(const std::wstring& dir, const sim::DockSimulator& dock, std::string& error);
