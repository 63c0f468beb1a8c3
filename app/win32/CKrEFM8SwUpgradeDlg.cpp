#include "app/win32/CKrEFM8SwUpgradeDlg.h"

#include <dbt.h>

#include <cstddef>
#include <cwchar>
#include <memory>

#include "app/win32/LogPosting.h"
#include "framework/CPaintDC.h"
#include "res/resource.h"

// Esc and the close box send the cancel command; the exit button must be it.
static_assert(IDC_EXIT == IDCANCEL);

namespace {

// The log's font: "Courier New", 18 logical units high. The style bits carry
// none of bold, italic, underline or strike-out.
constexpr int kLogFontHeight = 18;
constexpr DWORD kLogFontStyle = 0x40;

constexpr int kButtonIconSize = 48;

// The console windows of the vendor tools are shown.
constexpr bool kShowToolConsoles = true;

}  // namespace

CKrEFM8SwUpgradeDlg::CKrEFM8SwUpgradeDlg(LogOutputs& outputs, TraceWriter* trace)
    : CBkDialogST(IDD_KREFM8SWUPGRADE_DIALOG),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_outputs(outputs),
      m_core(*this, *this,
             // A tool's end is handed to the window thread, where the flow goes on.
             FlowCore::Tools{.showConsoles = kShowToolConsoles,
                             .onToolEnded =
                                 [this] {
                                     if (m_hWnd != nullptr) {
                                         ::PostMessageW(m_hWnd, WM_TOOL_ENDED, 0, 0);
                                     }
                                 }},
             UpgradeFlow::Schedule::WindowTimers,
             // The window shows every ending in its log and on its label
             // already; the record and the events keep them for the
             // administrator.
             FlowCore::Front{.audience = Audience{},
                             .takeOffer = {},
                             .concluded = {},
                             .log = [](const std::wstring& line) { PostLogLine(line); },
                             .trace = trace}) {}

void CKrEFM8SwUpgradeDlg::DoDataExchange() {
    CBkDialogST::DoDataExchange();
    DDX_Control(IDC_LOG, m_editLog);
    DDX_Control(IDC_PROGRESS, m_progress);
    DDX_Control(IDC_START_UPGRADE, m_btnStart);
    DDX_Control(IDC_EXIT, m_btnExit);
    DDX_Control(IDC_FW_VER, m_btnFwVer);
    DDX_Text(IDC_LOG, m_log.Text());
    DDX_Control(IDC_RESULT, m_lblResult);
}

BOOL CKrEFM8SwUpgradeDlg::OnInitDialog() {
    CBkDialogST::OnInitDialog();

    SendMessageW(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // From here on log lines reach this window.
    g_hLogTarget = m_hWnd;

    m_editLog.SetFontReceiver(m_editLog.GetSafeHwnd());
    m_editLog.SetEditFont(L"Courier New", kLogFontHeight, kLogFontStyle);
    m_editLog.SetEditTextColor(RGB(0, 0, 0));
    m_editLog.SetBackdrop(IDB_LOG_BACKGROUND);

    RegisterHidNotification();
    // A link without threads says so at the first scan ("device Error!").
    static_cast<void>(m_core.Link().StartThreads(m_hWnd, WM_HID_REPORT));

    ResetResultLabel();
    // A package that does not load has said so in the log; the dialog opens anyway.
    static_cast<void>(LoadFirmwarePackage());
    return TRUE;
}

LRESULT CKrEFM8SwUpgradeDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            return OnPaint();
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(m_hIcon);
        case WM_DESTROY:
            OnDestroy();
            break;
        case WM_COMMAND:
            if (OnCommand(wParam, lParam)) {
                return 0;
            }
            break;
        case WM_TIMER:
            m_core.Flow().OnDialogTimer(static_cast<int>(wParam));
            return 0;
        case WM_DEVICECHANGE:
            return OnDeviceChange(wParam, lParam);
        case WM_HID_REPORT:
            m_core.Link().HandlePostedReport([this](std::span<const std::uint8_t> report) {
                m_core.Flow().OnIspReport(report);
            });
            return 0;
        case kWmIspLog:
            return OnIspLog(wParam, lParam);
        case WM_TOOL_ENDED:
            m_core.Flow().OnToolEnded();
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_STATIC)) {
                return OnVersionLineColor(reinterpret_cast<HDC>(wParam));
            }
            break;
        default:
            break;
    }
    return CBkDialogST::WindowProc(message, wParam, lParam);
}

LRESULT CKrEFM8SwUpgradeDlg::OnPaint() {
    const RECT client = GetClientRect();
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    // The background and the buttons' looks are set again on every paint, at
    // the client area's current size.
    SetBackground(IDB_DIALOG_BACKGROUND, kNoTransparentColor, width, height);

    m_btnExit.SetIcons(IDI_EXIT_HOVER, kButtonIconSize, kButtonIconSize, IDI_EXIT, kButtonIconSize,
                       kButtonIconSize);
    m_btnExit.SetTooltip(L"Exit", TRUE);
    m_btnExit.UseParentBackground(FALSE);

    m_btnStart.SetIcons(IDI_START_HOVER, kButtonIconSize, kButtonIconSize, IDI_START,
                        kButtonIconSize, kButtonIconSize);
    m_btnStart.SetTooltip(L"Start upgrade", TRUE);
    m_btnStart.UseParentBackground(FALSE);

    m_btnFwVer.SetTooltip(L"Test", TRUE);
    m_btnFwVer.UseParentBackground(FALSE);

    if (!IsIconic()) {
        return Default(WM_PAINT, 0, 0);
    }
    const CPaintDC dc(m_hWnd);
    SendMessageW(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()));
    const int x = (width - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (height - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
    return 0;
}

// The version line is written straight onto the background picture, which the
// dialog has painted under it: no fill of its own, only the text, in the
// colour labels take by default. Its text is set once, before the dialog first
// shows, so the picture under it never holds an older text.
LRESULT CKrEFM8SwUpgradeDlg::OnVersionLineColor(HDC hDC) {
    ::SetBkMode(hDC, TRANSPARENT);
    ::SetTextColor(hDC, ::GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

void CKrEFM8SwUpgradeDlg::OnDestroy() {
    m_hidNotification.Reset();
    m_core.Close();
    ReleasePendingLogRecords(m_hWnd);
}

BOOL CKrEFM8SwUpgradeDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    static_cast<void>(lParam);
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    if (code == BN_CLICKED) {
        switch (id) {
            case IDC_SCAN_DEVICES:
                m_core.Flow().OnScanDevices();
                return TRUE;
            case IDC_START_UPGRADE:
                m_core.Flow().OnStartUpgrade();
                return TRUE;
            case IDC_EXIT:
                m_core.Flow().OnExit();
                return TRUE;
            case IDC_FW_VER:
                m_core.Flow().OnFwVer();
                return TRUE;
            default:
                break;
        }
    }
    if (id == IDC_LOG && code == EN_SETFOCUS) {
        // The log is for reading only: the focus goes on to the exit button.
        ::SetFocus(GetDlgItem(IDC_EXIT));
        return TRUE;
    }
    return FALSE;
}

BOOL CKrEFM8SwUpgradeDlg::OnDeviceChange(WPARAM event, LPARAM data) {
    return ForwardDeviceChange(m_core.Flow(), m_core.Link().Trace(), event, data);
}

void CKrEFM8SwUpgradeDlg::RegisterHidNotification() {
    m_hidNotification = RegisterHidNotices(m_hWnd);
}

LRESULT CKrEFM8SwUpgradeDlg::OnIspLog(WPARAM wParam, LPARAM lParam) {
    static_cast<void>(wParam);
    // Owned from the first line on, so it is released on every path.
    const std::unique_ptr<LogRecord> record(reinterpret_cast<LogRecord*>(lParam));
    if (!record) {
        return 0;
    }
    m_outputs.Write(*record);
    const ActivityLog::Outcome outcome = m_log.Append(*record);
    if (outcome.progressMoved) {
        m_progress.SetPosition(outcome.progress);
    }
    if (outcome.textChanged) {
        SetDlgItemTextW(IDC_LOG, m_log.Text());
        const int end = static_cast<int>(m_log.Text().size());
        m_editLog.SetSel(end, end);
        m_editLog.ScrollCaret();
        Invalidate(FALSE);
    }
    return 0;
}

void CKrEFM8SwUpgradeDlg::EnableControl(int id, bool enabled) {
    ::EnableWindow(GetDlgItem(id), enabled ? TRUE : FALSE);
}

void CKrEFM8SwUpgradeDlg::SetProgressPosition(int position) {
    m_progress.SetPosition(position);
}

void CKrEFM8SwUpgradeDlg::SetProgressFill(std::uint32_t argb) {
    m_progress.SetFillColor(argb, TRUE);
}

void CKrEFM8SwUpgradeDlg::ShowModalMessage(std::wstring_view text) {
    // The box carries the dialog's own caption, so the user sees whose it is.
    const std::wstring caption = GetWindowTextW();
    ::MessageBoxW(m_hWnd, std::wstring(text).c_str(), caption.c_str(), MB_OK);
}

void CKrEFM8SwUpgradeDlg::SetTimer(int id, unsigned milliseconds) {
    ::SetTimer(m_hWnd, static_cast<UINT_PTR>(id), milliseconds, nullptr);
}

void CKrEFM8SwUpgradeDlg::KillTimer(int id) {
    ::KillTimer(m_hWnd, static_cast<UINT_PTR>(id));
}

void CKrEFM8SwUpgradeDlg::Pause(unsigned milliseconds) {
    ::Sleep(milliseconds);
}

void CKrEFM8SwUpgradeDlg::PostLog(LogRecord record) {
    // Posted like every other line, so the log keeps the order of the posts.
    if (record.kind == LogProgress) {
        PostLogProgress(record.text, record.value);
    } else {
        PostLogLine(record.text);
    }
}

void CKrEFM8SwUpgradeDlg::EndDialog() {
    CBkDialogST::EndDialog(IDCANCEL);
}

void CKrEFM8SwUpgradeDlg::ClearLog() {
    SetDlgItemTextW(IDC_LOG, L"");
    m_log.Clear();
}

void CKrEFM8SwUpgradeDlg::ResetResultLabel() {
    SetResultLook(ResultLook::Neutral);
}

void CKrEFM8SwUpgradeDlg::SetResultLook(ResultLook look) {
    const ResultLabelStyle style = StyleOf(look);
    // The neutral label loses its text before it turns white, a verdict gets
    // its colours before its text, so no verdict ever shows in the wrong colours.
    if (look == ResultLook::Neutral) {
        m_lblResult.SetWindowTextW(style.text);
    }
    m_lblResult.SetColorsAndFont(style.textColor, style.backColor, kResultFontSize,
                                 kResultFontFace);
    if (look != ResultLook::Neutral) {
        m_lblResult.SetWindowTextW(style.text);
    }
}

int CKrEFM8SwUpgradeDlg::LoadFirmwarePackage() {
    const package::LoadResult result = m_core.LoadPackage();
    if (!result.Ok()) {
        m_strMessage = result.LogLine();
        PostLogLine(m_strMessage);
        // No check can judge the dock: an older outcome must not outlive it.
        m_core.EndedBeforeAnyCheck();
        return 1;
    }
    SetDlgItemTextW(IDC_STATIC, result.versionText);
    return 0;
}
