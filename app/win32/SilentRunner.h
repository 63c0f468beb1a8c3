#pragma once

#include <windows.h>

#include <optional>

#include "app/command/CommandLine.h"
#include "app/flow/DialogSurface.h"
#include "app/win32/FlowCore.h"
#include "app/win32/HidNotices.h"
#include "app/win32/LogOutputs.h"

// The front end for deployment systems: the check of "FW Ver" and, when the
// version gate offers it, the update, driven on the very flow the dialog
// drives, with no window shown and no message box. A hidden window of the
// dialog's caption receives the timers, the dock's answers and its removal
// and arrival across the restart into the bootloader. The log goes to the
// log file and the console; the ending becomes the process's exit code.
class SilentRunner final : private FlowSurface {
public:
    SilentRunner(const CommandLineOptions& options, LogOutputs& outputs, TraceWriter* trace);
    ~SilentRunner() override;
    SilentRunner(const SilentRunner&) = delete;
    SilentRunner& operator=(const SilentRunner&) = delete;

    // Runs to the ending and returns its exit code.
    int Run();

private:
    static constexpr UINT kWmHidReport = WM_APP + 1;
    static constexpr UINT kWmStartUpdate = WM_APP + 2;
    static constexpr UINT kWmToolEnded = WM_APP + 3;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Concluded(const Conclusion& conclusion);
    void Finish(int exitCode);

    // What the flow needs of a front end, carried out without a window.
    void ShowModalMessage(std::wstring_view text) override;
    void SetTimer(int id, unsigned milliseconds) override;
    void KillTimer(int id) override;
    void Pause(unsigned milliseconds) override;
    void PostLog(LogRecord record) override;
    void EndDialog() override;

    LogOutputs& m_outputs;
    HWND m_window = nullptr;
    UniqueDeviceNotification m_hidNotification;
    std::optional<int> m_exitCode;

    NoWindow m_noWindow;
    // Last: its flow refers to this runner as its surface.
    FlowCore m_core;
};
