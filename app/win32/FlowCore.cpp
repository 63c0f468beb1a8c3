#include "app/win32/FlowCore.h"

#include <utility>

#include "app/outcome/Announcements.h"
#include "app/win32/ConsoleNotice.h"
#include "app/win32/EventReport.h"
#include "app/win32/LogPosting.h"
#include "app/win32/OwnPackage.h"
#include "app/win32/StatusStore.h"

// The version the executable carries, from the project's own.
#include "ToolVersion.h"

FlowCore::FlowCore(FlowSurface& surface, WindowSurface& window, Tools tools,
                   UpgradeFlow::Schedule schedule, bool reportRuns)
    : m_reportRuns(reportRuns),
      m_hidDevice(&PostLogLine),
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
        m_runBegan = true;
        m_runUnderway = true;
        KeepAwake(true);
    }
}

std::vector<std::wstring> FlowCore::OnEnding(FlowEnding ending, int code) {
    std::vector<std::wstring> failures;
    m_lastEnding = ending;
    if (std::optional<std::wstring> failure = WriteStatusRecord(
            ProcessScope(),
            BuildStatusRecord(ending, m_flow.Facts(), code, L"" KR_TOOL_VERSION_TEXT, UtcNow()))) {
        failures.push_back(std::move(*failure));
    }
    // A run reports its end once, though the power reset after PASS ends it again.
    const bool runEnding = ending == FlowEnding::RunPassed || ending == FlowEnding::RunFailed;
    if (runEnding && m_runUnderway) {
        m_runUnderway = false;
        KeepAwake(false);
        if (m_reportRuns) {
            if (std::optional<std::wstring> failure = ReportEndingEvent(code, OutcomeLines(code))) {
                failures.push_back(std::move(*failure));
            }
        }
    }
    return failures;
}

std::vector<std::wstring> FlowCore::AnnounceSilentEnd(int code, bool notice) {
    std::vector<std::wstring> lines;
    if (std::optional<std::wstring> failure = ReportEndingEvent(code, OutcomeLines(code))) {
        lines.push_back(std::move(*failure));
    }
    if (notice) {
        if (const std::optional<std::wstring_view> text = ConsoleNoticeOf(code, m_runBegan)) {
            lines.push_back(SendConsoleNotice(*text));
        }
    }
    return lines;
}

std::vector<std::wstring> FlowCore::OutcomeLines(int code) const {
    std::vector<std::wstring> lines = CheckSummaryLines(m_flow.Facts());
    lines.push_back(L"code=" + std::to_wstring(code));
    lines.push_back(L"status=" +
                    std::wstring(StatusTokenOf(m_lastEnding.value_or(FlowEnding::CheckFailed))));
    return lines;
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
