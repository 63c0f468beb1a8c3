#include "app/win32/FlowCore.h"

#include <utility>

#include "app/outcome/StatusRecord.h"
#include "app/win32/ConsoleNotice.h"
#include "app/win32/EventReport.h"
#include "app/win32/LogPosting.h"
#include "app/win32/OwnPackage.h"
#include "app/win32/StatusStore.h"
#include "app/win32/TraceFile.h"

// The version the executable carries, from the project's own.
#include "ToolVersion.h"

std::vector<std::wstring> CarryOut(const Conclusion& conclusion) {
    std::vector<std::wstring> lines;
    if (std::optional<std::wstring> failure = WriteStatusRecord(
            ProcessScope(), BuildStatusRecord(conclusion.ending, conclusion.facts, conclusion.code,
                                              L"" KR_TOOL_VERSION_TEXT, UtcNow()))) {
        lines.push_back(std::move(*failure));
    }
    if (conclusion.event) {
        if (std::optional<std::wstring> failure =
                ReportEndingEvent(conclusion.code, EventLines(conclusion))) {
            lines.push_back(std::move(*failure));
        }
    }
    if (conclusion.notice) {
        lines.push_back(SendConsoleNotice(*conclusion.notice));
    }
    return lines;
}

FlowCore::FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
                   UpgradeFlow::Schedule schedule, Front front)
    : m_front(std::move(front)),
      m_hidDevice(&PostLogLine),
      m_toolLauncher(m_toolResults, tools.showConsoles, std::move(tools.onToolEnded), kToolBoundMs),
      m_outcome(m_front.audience,
                OutcomeActions{.keepAwake = [this](bool awake) { KeepAwake(awake); },
                               .takeOffer = m_front.takeOffer,
                               .conclude = [this](const Conclusion& c) { Conclude(c); }}),
      m_events(m_outcome, m_front.trace),
      m_flow(surface, window, m_events, m_hidDevice, m_toolLauncher, m_toolResults, m_hPackageFile,
             m_imageTable, m_package, schedule) {
    m_hidDevice.SetTrace(m_front.trace);
}

package::LoadResult FlowCore::LoadPackage() {
    const package::LoadResult result = LoadOwnPackage(m_hPackageFile, m_imageTable, m_package);
    if (m_front.trace != nullptr) {
        m_front.trace->Begin(L"" KR_TOOL_VERSION_TEXT, m_imageTable, m_package,
                             TraceFile::WindowsVersion());
    }
    return result;
}

void FlowCore::Close() {
    m_hidDevice.CloseDevice();
    m_hidDevice.StopThreads();
    m_hPackageFile.Close();
}

void FlowCore::Conclude(const Conclusion& conclusion) {
    const std::vector<std::wstring> lines = CarryOut(conclusion);
    if (m_front.concluded) {
        m_front.concluded(conclusion);
    }
    for (const std::wstring& line : lines) {
        m_front.log(line);
    }
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
