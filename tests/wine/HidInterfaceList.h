#pragma once

#include <windows.h>

// The HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
}

#include <string>
#include <vector>

// One present HID interface as the tool examines it.
struct SeenHidInterface {
    std::wstring path;
    // A handle without access rights opened and the attributes read; the
    // capabilities stay zero when the preparsed data could not be read.
    bool examined = false;
    HIDD_ATTRIBUTES attributes{};
    HIDP_CAPS caps{};
};

// The present HID interfaces in SetupAPI's order, each examined through a
// handle without access rights: the calls, flags and order the tool uses.
std::vector<SeenHidInterface> PresentHidInterfaces();
