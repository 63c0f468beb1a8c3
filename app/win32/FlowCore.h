#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "app/DialogSurface.h"
#include "app/UpgradeFlow.h"
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

    FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
             UpgradeFlow::Schedule schedule);
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
    // run's end lets the machine sleep again. The reason when the record
    // could not be written, for the log; the outcome stays what it is.
    std::optional<std::wstring> OnEnding(FlowEnding ending, int code);

    CHidDevice& Link() { return m_hidDevice; }
    UpgradeFlow& Flow() { return m_flow; }

private:
    void KeepAwake(bool awake);

    bool m_awake = false;
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
