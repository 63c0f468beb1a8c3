#pragma once

#include <windows.h>

#include <string_view>

#include "framework/CWnd.h"

// A modal dialog from a dialog template of the program. The dialog window is
// attached like any other CWnd, so its messages reach WindowProc and whatever
// a dialog class leaves alone goes on to the system's dialog procedure.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, HWND hWndParent = nullptr) noexcept
        : m_nIDTemplate(nIDTemplate), m_hWndParent(hWndParent) {}

    // Shows the dialog and returns the result given to EndDialog, or -1 when
    // the dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(int nResult) const noexcept { ::EndDialog(m_hWnd, nResult); }

protected:
    // WM_INITDIALOG: attaches the controls through DoDataExchange. Returns
    // TRUE to let the system give the focus to the first control.
    virtual BOOL OnInitDialog();

    // Attaches the dialog's control objects and puts initial texts into
    // controls; called once by OnInitDialog.
    virtual void DoDataExchange() {}

    // Helpers for DoDataExchange.
    void DDX_Control(int nID, CWnd& control);
    void DDX_Text(int nID, std::wstring_view text) const { SetDlgItemTextW(nID, text); }

private:
    static INT_PTR CALLBACK DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    HWND m_hWndParent;
};
