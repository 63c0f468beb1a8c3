#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/flow/DialogSurface.h"
#include "app/flow/UpgradeFlow.h"
#include "app/win32/Win32PackageFile.h"
#include "device/win32/CHidDevice.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "tools/ToolResultText.h"
#include "tools/win32/Win32ToolLauncher.h"

// What both front ends drive, composed once: the firmware package the
// executable carries (its image table, the open file, what it says of the
// dock), the HID link, the vendor tools with their results, and the flow over
// all of them. A front end gives its surface and how its tools run.
class FlowCore {
public:
    struct Tools {
        bool showConsoles = false;
        std::function<void()> onToolEnded;  // on a worker, once a result is stored
        DWORD boundMs = ToolProcess::kNoBound;
    };

    // `reportRuns`: each run's end reports its event at once (the window);
    // else the front end announces its one ending itself.
    FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
             UpgradeFlow::Schedule schedule, bool reportRuns);
    ~FlowCore() { KeepAwake(false); }
    FlowCore(const FlowCore&) = delete;
    FlowCore& operator=(const FlowCore&) = delete;

    // Loads the package from the running executable; its file stays open for
    // the image reads of a run, and is closed on a failure.
    package::LoadResult LoadPackage();
    // The link closed and its threads ended, the package's file closed.
    void Close();

    // Start pressed, or the silent runner's equivalent: the machine stays
    // awake while the run writes the dock.
    void StartUpgrade();
    // A check or a run came to `ending`, which the process's default exit
    // code `code` stands for: its outcome goes into the status record, and a
    // run's end lets the machine sleep again and, in the window, reports its
    // event. Lines for the log of what could not be done; the outcome stays
    // what it is.
    std::vector<std::wstring> OnEnding(FlowEnding ending, int code);
    // The silent run is over with `code`: its event, and, unless `notice` is
    // off, the console's notice of a dock that waits for its power reset or
    // was left half written. Lines for the log.
    std::vector<std::wstring> AnnounceSilentEnd(int code, bool notice);

    CHidDevice& Link() { return m_hidDevice; }
    UpgradeFlow& Flow() { return m_flow; }

private:
    void KeepAwake(bool awake);
    // The outcome as `key=value` lines: what the check found, the code, the status.
    std::vector<std::wstring> OutcomeLines(int code) const;

    bool m_reportRuns;
    bool m_awake = false;
    // A run began writing the dock, and it has not ended yet.
    bool m_runBegan = false;
    bool m_runUnderway = false;
    std::optional<FlowEnding> m_lastEnding;
    package::ImageTable m_imageTable;
    Win32PackageFile m_hPackageFile;
    PackageIdentity m_package;
    ToolResults m_toolResults;
    CHidDevice m_hidDevice;
    // Ends before the results it writes.
    Win32ToolLauncher m_toolLauncher;
    // Last: it refers to everything above.
    UpgradeFlow m_flow;
};
