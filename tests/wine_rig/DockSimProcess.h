#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "framework/OwnedHandle.h"

// docksim.exe from the test program's own folder, started for one case and
// ended by it.
class DockSimProcess {
public:
    // Starts docksim with `options` and waits until it takes requests;
    // nullopt when it could not be started or never became ready.
    static std::optional<DockSimProcess> Start(const std::wstring& options);

    // Asks docksim to quit and waits for it; its exit code, or nullopt when it
    // did not end in time (it is ended then).
    std::optional<DWORD> Quit();

    DockSimProcess(DockSimProcess&&) noexcept = default;
    DockSimProcess& operator=(DockSimProcess&&) noexcept = default;
    DockSimProcess(const DockSimProcess&) = delete;
    DockSimProcess& operator=(const DockSimProcess&) = delete;
    // A docksim that was not asked to quit is ended.
    ~DockSimProcess();

private:
    explicit DockSimProcess(UniqueKernelHandle process) : m_process(std::move(process)) {}

    UniqueKernelHandle m_process;
};
