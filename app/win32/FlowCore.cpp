#include "app/win32/FlowCore.h"

#include <utility>

#include "app/win32/LogPosting.h"
#include "app/win32/OwnPackage.h"

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
