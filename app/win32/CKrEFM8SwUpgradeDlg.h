#pragma once

#include <windows.h>

#include <string>

#include "app/ActivityLog.h"
#include "app/ResultLook.h"
#include "app/win32/Win32PackageFile.h"
#include "controls/CBkDialogST.h"
#include "controls/CButtonST.h"
#include "controls/CColorCtrl.h"
#include "controls/CColorEdit.h"
#include "controls/CCylinderProgressCtrlST.h"
#include "framework/CStatic.h"
#include "package/FirmwarePackage.h"

// The tool's one window: the log, the progress bar, the result label and the
// buttons, painted over the background picture. It owns the firmware
// package's image table and the open executable the images are read from.
class CKrEFM8SwUpgradeDlg : public CBkDialogST {
public:
    // Timers of the check: the device scan, the hub check and the DisplayPort check.
    static constexpr UINT_PTR TIMER_SCAN = 1;
    static constexpr UINT_PTR TIMER_HUB_CHECK = 3;
    static constexpr UINT_PTR TIMER_DP_CHECK = 4;

    CKrEFM8SwUpgradeDlg();
    ~CKrEFM8SwUpgradeDlg() override = default;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    void OnDestroy();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    void OnExit();
    LRESULT OnIspLog(WPARAM wParam, LPARAM lParam);

    void ClearLog();
    void ResetResultLabel();
    // Sets the label's look and text as one change.
    void SetResultLook(ResultLook look);
    int LoadFirmwarePackage();
    // Drops the log records still queued for the window, which is going away.
    void ReleasePendingLogRecords() const noexcept;

    HICON m_hIcon;
    // The executable's path, however long it is.
    std::wstring m_szModulePath;
    CColorEdit m_editLog;
    ActivityLog m_log;
    CButtonST m_btnStart;
    CButtonST m_btnExit;
    CButtonST m_btnFwVer;
    std::wstring m_strMessage;
    package::ImageTable m_imageTable;
    Win32PackageFile m_hPackageFile;
    CCylinderProgressCtrlST m_progress;
    CColorCtrl<CStatic> m_lblResult;
};
