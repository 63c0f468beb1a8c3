#pragma once

#include <cstdint>

#include "device/HidLinkState.h"
#include "device/IspReport.h"
#include "device/LinkTrace.h"

// The face of the HID link that the upgrade flow sees. One implementation over
// SetupAPI and overlapped I/O, one over the dock simulator for tests. Input
// reports do not come through here: the implementation hands each one to the
// flow on the thread that runs the flow.
class HidLink {
public:
    virtual ~HidLink() = default;

    // Finds the dock's interface among the present HID interfaces and opens it
    // for reading and writing. True when one matched, even if a handle could
    // not be opened: the flags tell.
    virtual bool OpenDevice(std::uint16_t vid, std::uint16_t pid, std::uint16_t release) = 0;
    // Closes the handles; the removal handler clears m_bOpen itself first.
    virtual void CloseDevice() = 0;
    // Sends one output report; byte 0 goes out as the report ID 0x02 whatever
    // it holds. False only on a write error.
    virtual bool WriteReport(const device::IspReport& report) = 0;
    // Lets the reader issue its first read after a successful open.
    virtual void WakeReader() = 0;

    // Sends `report` while a device is open; nothing otherwise.
    void WriteWhenOpen(const device::IspReport& report) {
        if (m_state.m_bOpen) {
            static_cast<void>(WriteReport(report));
        }
    }

    HidLinkState& State() { return m_state; }
    const HidLinkState& State() const { return m_state; }

    // Where the link tells what goes over the wire; none by default.
    void SetTrace(LinkTrace* trace) { m_trace = trace; }
    LinkTrace* Trace() const { return m_trace; }

private:
    HidLinkState m_state;
    LinkTrace* m_trace = nullptr;
};
