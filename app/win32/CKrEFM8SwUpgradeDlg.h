#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "app/ActivityLog.h"
#include "app/DialogSurface.h"
#include "app/LogRecord.h"
#include "app/ResultLook.h"
#include "app/UpgradeFlow.h"
#include "app/win32/HidNotices.h"
#include "app/win32/LogOutputs.h"
#include "app/win32/Win32PackageFile.h"
#include "controls/win32/CBkDialogST.h"
#include "controls/win32/CButtonST.h"
#include "controls/win32/CColorCtrl.h"
#include "controls/win32/CColorEdit.h"
#include "controls/win32/CCylinderProgressCtrlST.h"
#include "device/win32/CHidDevice.h"
#include "framework/CStatic.h"
#include "framework/OwnedHandle.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "tools/win32/Win32ToolLauncher.h"

// The tool's one window: the log, the progress bar, the result label and the
// buttons, painted over the background picture. It owns the firmware
// package's image table and the open executable the images are read from,
// the HID link and the vendor tools' launcher, and forwards its messages to
// the upgrade flow, whose decisions it carries out on its controls.
class CKrEFM8SwUpgradeDlg : public CBkDialogST, private DialogSurface {
public:
    // Posted by the HID reader for each input report it has read.
    static constexpr UINT WM_HID_REPORT = WM_APP + 1;

    // Every line of the log also goes to `outputs` (the log file /l asks for).
    explicit CKrEFM8SwUpgradeDlg(LogOutputs& outputs);
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
    // The window shows every ending in its log and on its label already.
    void ReportEnding(FlowEnding /*ending*/) override {}
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
    package::ImageTable m_imageTable;
    Win32PackageFile m_hPackageFile;
    CCylinderProgressCtrlST m_progress;
    CColorCtrl<CStatic> m_lblResult;
    UniqueDeviceNotification m_hidNotification;
    CHidDevice m_hidDevice;
    // What the package says of the dock and what the vendor tools reported:
    // the dialog's own, given to its flow (the launcher ends before them).
    PackageIdentity m_package;
    ToolResults m_toolResults;
    Win32ToolLauncher m_toolLauncher;
    // Last: it refers to the surface, the link, the launcher and the package.
    UpgradeFlow m_flow;
};
