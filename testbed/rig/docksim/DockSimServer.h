#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/OwnedHandle.h"
#include "testbed/rig/docksim/DeviceNotifier.h"
#include "testbed/rig/docksim/DockSimOptions.h"
#include "testbed/rig/docksim/PipeEnd.h"
#include "testbed/sim/DockSimulator.h"

// The simulated dock behind named pipes. Every present HID interface is a
// message-mode pipe, \\.\pipe\docksim-<n>, that any number of clients may
// open, as any number of handles may be open on a HID collection: each
// message a client writes is one output report, and each of the dock's
// answers goes to every client of the collection it came from (each open
// handle gets its own copy of an input report). The control pipe takes
// requests: the interface listing for the stand-in DLLs, plugging and
// unplugging, faults, the chips' contents, quitting.
//
// One thread serves every pipe through a completion port; the notices to the
// tool's window go out from the notifier's thread.
class DockSimServer {
public:
    explicit DockSimServer(const DockSimOptions& options);
    // Serves until asked to quit; the process's exit code.
    int Run();

private:
    enum class Role { Control, Interface };
    struct Endpoint {
        Role role = Role::Control;
        unsigned index = 0;  // of the interface
        std::unique_ptr<PipeEnd> end;
        std::uint32_t awaitedTicket = 0;  // a reply waiting for the notices to go out
        bool quitAfterReply = false;
    };

    bool OpenListener(Role role, unsigned index);
    void OnPipeEvent(std::uint64_t id, PipeEnd::Event event);
    void OnOutputReport(std::uint64_t id);
    void OnRequest(std::uint64_t id);
    std::optional<unsigned> ForeignInterface(const std::string& word, const std::string& argument,
                                             std::string& failure);
    void OnNoticesSent(std::uint32_t ticket);
    void Reply(std::uint64_t id, std::string_view reply);
    void ReadNext(std::uint64_t id);

    void Answer(unsigned index, const device::IspReport& answer);
    // Takes the interfaces off the machine or puts them on, and has the
    // window told. Returns the ticket of the last notice when `ticketed`.
    std::uint32_t ApplyBusEvents(const std::vector<sim::BusEvent>& events, bool ticketed);
    void ServeInterface(unsigned index);
    void WithdrawInterface(unsigned index);
    std::string Listing();
    void WaitAnswerDelay();

    DockSimOptions m_options;
    sim::DockSimulator m_dock;
    UniqueKernelHandle m_port;
    UniqueKernelHandle m_ready;
    UniqueKernelHandle m_delayTimer;
    std::map<std::uint64_t, Endpoint> m_endpoints;
    std::uint64_t m_nextId = 1;  // 0 is the notifier's key
    std::vector<bool> m_served;  // by interface index: its pipe is up
    std::uint32_t m_nextTicket = 1;
    bool m_controlOpened = false;
    bool m_quit = false;
    DeviceNotifier m_notifier;
};
