#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/flow/DialogSurface.h"
#include "app/flow/UpgradeFlow.h"
#include "app/outcome/RunOutcome.h"
#include "app/trace/TraceWriter.h"
#include "app/win32/Win32PackageFile.h"
#include "device/win32/CHidDevice.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "tools/ToolResultText.h"
#include "tools/win32/Win32ToolLauncher.h"

// Carries out what follows an ending that counts: the status record, then
// the event and the notice where the conclusion calls for them. Lines for
// the log of what could not be done, and of the notice; the outcome stays
// what it is.
std::vector<std::wstring> CarryOut(const Conclusion& conclusion);

// What both front ends drive, composed once: the firmware package the
// executable carries (its image table, the open file, what it says of the
// dock), the HID link, the vendor tools with their results, the flow over
// all of them, and the outcome that decides what its endings mean. A front
// end gives its surface, how its tools run and what it does of a conclusion
// beyond what the core carries out itself.
class FlowCore final {
public:
    struct Tools {
        bool showConsoles = false;
        std::function<void()> onToolEnded;  // on a worker, once a result is stored
    };
    // No front end waits for a vendor tool for longer: one that hangs is
    // ended with all it started, and its run fails.
    static constexpr DWORD kToolBoundMs = 60000;
    struct Front {
        Audience audience;
        // Unattended: start the offered update once the current handler is done.
        std::function<void()> takeOffer;
        // After the record, the event and the notice have been seen to.
        std::function<void(const Conclusion&)> concluded;
        // A line for the log that comes from no handler of the flow.
        std::function<void(const std::wstring&)> log;
        // What /trace=FILE keeps of the wire; none without it.
        TraceWriter* trace = nullptr;
    };

    FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
             UpgradeFlow::Schedule schedule, Front front);
    ~FlowCore() { KeepAwake(false); }
    FlowCore(const FlowCore&) = delete;
    FlowCore& operator=(const FlowCore&) = delete;

    // Loads the package from the running executable; its file stays open for
    // the image reads of a run, and is closed on a failure.
    package::LoadResult LoadPackage();
    // The link closed and its threads ended, the package's file closed.
    void Close();
    // The front end could not get as far as a check.
    void EndedBeforeAnyCheck() { m_outcome.EndedBeforeAnyCheck(); }

    CHidDevice& Link() { return m_hidDevice; }
    UpgradeFlow& Flow() { return m_flow; }

private:
    void KeepAwake(bool awake);
    void Conclude(const Conclusion& conclusion);

    Front m_front;
    bool m_awake = false;
    package::ImageTable m_imageTable;
    Win32PackageFile m_hPackageFile;
    PackageIdentity m_package;
    ToolResults m_toolResults;
    CHidDevice m_hidDevice;
    // Ends before the results it writes.
    Win32ToolLauncher m_toolLauncher;
    RunOutcome m_outcome;
    TracedEvents m_events;
    // Last: it refers to everything above.
    UpgradeFlow m_flow;
};
