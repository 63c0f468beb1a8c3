#include "app/win32/SilentRunner.h"

#include <memory>

#include "app/win32/LogPosting.h"

namespace {

constexpr wchar_t kWindowClass[] = L"KrEFM8SwUpgradeSilent";
// The dialog's caption: whoever announces HID arrivals to the tool's window
// by its caption finds this one too.
constexpr wchar_t kCaption[] = L"DOCK Firmware Update Tool";

// No one sees the vendor tools' consoles.
constexpr bool kShowToolConsoles = false;

}  // namespace

SilentRunner::SilentRunner(const CommandLineOptions& options, LogOutputs& outputs,
                           TraceWriter* trace)
    : m_outputs(outputs),
      // A tool's end is handed to the window thread, where the flow goes on.
      m_core(*this, m_noWindow,
             FlowCore::Tools{.showConsoles = kShowToolConsoles,
                             .onToolEnded =
                                 [this] {
                                     if (m_window != nullptr) {
                                         ::PostMessageW(m_window, kWmToolEnded, 0, 0);
                                     }
                                 }},
             UpgradeFlow::Schedule::BackToBack,
             FlowCore::Front{
                 // A check changes nothing that anyone must act on.
                 .audience = Audience{.unattended = true,
                                      .checkOnly = options.checkOnly,
                                      .notice = !options.checkOnly && !options.noNotice},
                 .takeOffer = [this] { ::PostMessageW(m_window, kWmStartUpdate, 0, 0); },
                 .concluded = [this](const Conclusion& conclusion) { Concluded(conclusion); },
                 .log =
                     [this](const std::wstring& line) {
                         m_outputs.Write(LogRecord{line, 0, LogText});
                     },
                 .trace = trace}) {}

SilentRunner::~SilentRunner() {
    m_hidNotification.Reset();
    m_core.Close();
    if (m_window != nullptr) {
        ReleasePendingLogRecords(m_window);
        ::DestroyWindow(m_window);
    }
}

int SilentRunner::Run() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &SilentRunner::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    static_cast<void>(::RegisterClassExW(&windowClass));
    // Never shown: a top-level window, so that device notices reach it.
    m_window = ::CreateWindowExW(0, kWindowClass, kCaption, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                 windowClass.hInstance, this);
    if (m_window == nullptr) {
        m_outputs.Write(LogRecord{L"Cannot create the tool's hidden window!", 0, LogText});
        m_core.EndedBeforeAnyCheck();
        return m_exitCode.value_or(exit_code::kFailed);
    }
    // Lines of the HID link come from its threads through this window.
    g_hLogTarget = m_window;
    m_hidNotification = RegisterHidNotices(m_window);
    static_cast<void>(m_core.Link().StartThreads(m_window, kWmHidReport));

    const package::LoadResult package = m_core.LoadPackage();
    if (!package.Ok()) {
        m_outputs.Write(LogRecord{package.LogLine(), 0, LogText});
        m_core.EndedBeforeAnyCheck();
        return m_exitCode.value_or(exit_code::kFailed);
    }
    m_outputs.Write(LogRecord{package.versionText, 0, LogText});
    m_core.Flow().OnFwVer();

    MSG message{};
    while (!m_exitCode && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return m_exitCode.value_or(exit_code::kFailed);
}

LRESULT CALLBACK SilentRunner::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* const runner =
        reinterpret_cast<SilentRunner*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (runner == nullptr || runner->m_window != window) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return runner->Handle(message, wParam, lParam);
    } catch (...) {
        // Nothing throws across the window procedure: the run has failed.
        runner->Finish(exit_code::kFailed);
        return 0;
    }
}

LRESULT SilentRunner::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            m_core.Flow().OnDialogTimer(static_cast<int>(wParam));
            return 0;
        case WM_DEVICECHANGE:
            return ForwardDeviceChange(m_core.Flow(), m_core.Link().Trace(), wParam, lParam);
        case kWmHidReport:
            m_core.Link().HandlePostedReport([this](std::span<const std::uint8_t> report) {
                m_core.Flow().OnIspReport(report);
            });
            return 0;
        case kWmIspLog: {
            const std::unique_ptr<LogRecord> record(reinterpret_cast<LogRecord*>(lParam));
            if (record) {
                m_outputs.Write(*record);
            }
            return 0;
        }
        case kWmToolEnded:
            m_core.Flow().OnToolEnded();
            return 0;
        case kWmStartUpdate:
            // As the user's press of start would, once the check's handlers are done.
            m_core.Flow().OnStartUpgrade();
            return 0;
        default:
            return ::DefWindowProcW(m_window, message, wParam, lParam);
    }
}

void SilentRunner::Concluded(const Conclusion& conclusion) {
    if (conclusion.summary) {
        for (const std::wstring& line : SummaryLines(conclusion)) {
            m_outputs.Say(line);
        }
    }
    if (conclusion.ofRun) {
        // The large verdict the window would show.
        m_outputs.Write(
            LogRecord{conclusion.ending == FlowEnding::RunPassed ? L"PASS" : L"FAIL", 0, LogText});
    }
    Finish(conclusion.code);
}

void SilentRunner::Finish(int exitCode) {
    if (!m_exitCode) {
        m_exitCode = exitCode;
        if (m_window != nullptr) {
            ::PostMessageW(m_window, WM_NULL, 0, 0);  // the message loop sees it now
        }
    }
}

void SilentRunner::ShowModalMessage(std::wstring_view text) {
    // No one is there to close a box: the request is logged instead.
    m_outputs.Write(LogRecord{std::wstring(text), 0, LogText});
}

void SilentRunner::SetTimer(int id, unsigned milliseconds) {
    ::SetTimer(m_window, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}
void SilentRunner::KillTimer(int id) {
    ::KillTimer(m_window, static_cast<UINT_PTR>(id));
}
void SilentRunner::Pause(unsigned milliseconds) {
    ::Sleep(milliseconds);
}
void SilentRunner::PostLog(LogRecord record) {
    m_outputs.Write(record);
}
void SilentRunner::EndDialog() {
    Finish(exit_code::kFailed);
}
