#include "app/win32/FlowCore.h"

#include <utility>

#include "app/win32/LogPosting.h"
#include "app/win32/OwnPackage.h"
#include "app/win32/StatusStore.h"

// The version the executable carries, from the project's own.
#include "ToolVersion.h"

FlowCore::FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
                   UpgradeFlow::Schedule schedule)
    : m_hidDevice(&PostLogLine),
      m_toolLauncher(m_toolResults, tools.showConsoles, std::move(tools.onToolEnded),
                     tools.boundMs),
      m_flow(surface, window, m_hidDevice, m_toolLauncher, m_toolResults, m_hPackageFile,
             m_imageTable, m_package, schedule) {}

package::LoadResult FlowCore::LoadPackage() {
    return LoadOwnPackage(m_hPackageFile, m_imageTable, m_package);
}

void FlowCore::Close() {
    m_hidDevice.CloseDevice();
    m_hidDevice.StopThreads();
    m_hPackageFile.Close();
}

void FlowCore::StartUpgrade() {
    m_flow.OnStartUpgrade();
    if (!RunOver(m_flow.Step())) {
        KeepAwake(true);
    }
}

std::optional<std::wstring> FlowCore::OnEnding(FlowEnding ending, int code) {
    if (ending == FlowEnding::RunPassed || ending == FlowEnding::RunFailed) {
        KeepAwake(false);
    }
    return WriteStatusRecord(ProcessScope(), BuildStatusRecord(ending, m_flow.Facts(), code,
                                                               L"" KR_TOOL_VERSION_TEXT, UtcNow()));
}

void FlowCore::KeepAwake(bool awake) {
    if (awake == m_awake) {
        return;
    }
    // The request belongs to the thread the flow runs on, which makes it and
    // ends it; without it, sleep cuts a run off in the middle of a chip.
    m_awake = awake;
    static_cast<void>(
        ::SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS));
}
