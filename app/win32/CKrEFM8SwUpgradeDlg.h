#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "app/flow/DialogSurface.h"
#include "app/flow/ResultLook.h"
#include "app/log/ActivityLog.h"
#include "app/log/LogRecord.h"
#include "app/win32/FlowCore.h"
#include "app/win32/HidNotices.h"
#include "app/win32/LogOutputs.h"
#include "controls/win32/CBkDialogST.h"
#include "controls/win32/CButtonST.h"
#include "controls/win32/CColorCtrl.h"
#include "controls/win32/CColorEdit.h"
#include "controls/win32/CCylinderProgressCtrlST.h"
#include "framework/CStatic.h"
#include "framework/OwnedHandle.h"

// The tool's one window: the log, the progress bar, the result label and the
// buttons, painted over the background picture. It owns the flow's core (the
// firmware package, the HID link, the vendor tools and the upgrade flow),
// forwards its messages to the flow and carries its decisions out on its
// controls.
class CKrEFM8SwUpgradeDlg : public CBkDialogST, private DialogSurface {
public:
    // Posted by the HID reader for each input report it has read.
    static constexpr UINT WM_HID_REPORT = WM_APP + 1;
    // Posted by a vendor tool's worker once its result is stored.
    static constexpr UINT WM_TOOL_ENDED = WM_APP + 2;

    // Every line of the log also goes to `outputs` (the log file /l asks for);
    // what goes over the wire to `trace`, when /trace asks for one.
    CKrEFM8SwUpgradeDlg(LogOutputs& outputs, TraceWriter* trace);
    ~CKrEFM8SwUpgradeDlg() override = default;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    LRESULT OnVersionLineColor(HDC hDC);
    void OnDestroy();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    BOOL OnDeviceChange(WPARAM event, LPARAM data);
    LRESULT OnIspLog(WPARAM wParam, LPARAM lParam);
    void RegisterHidNotification();

    // What the flow does to the window.
    void EnableControl(int id, bool enabled) override;
    // Sets the label's look and text as one change.
    void SetResultLook(ResultLook look) override;
    void SetProgressPosition(int position) override;
    void SetProgressFill(std::uint32_t argb) override;
    void ShowModalMessage(std::wstring_view text) override;
    void SetTimer(int id, unsigned milliseconds) override;
    void KillTimer(int id) override;
    void Pause(unsigned milliseconds) override;
    void PostLog(LogRecord record) override;
    void ClearLog() override;
    void EndDialog() override;

    void ResetResultLabel();
    int LoadFirmwarePackage();

    HICON m_hIcon;
    CColorEdit m_editLog;
    ActivityLog m_log;
    LogOutputs& m_outputs;
    CButtonST m_btnStart;
    CButtonST m_btnExit;
    CButtonST m_btnFwVer;
    std::wstring m_strMessage;
    CCylinderProgressCtrlST m_progress;
    CColorCtrl<CStatic> m_lblResult;
    UniqueDeviceNotification m_hidNotification;
    // Last: its flow refers to this window as its surface.
    FlowCore m_core;
};
