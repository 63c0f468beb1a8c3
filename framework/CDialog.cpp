#include "framework/CDialog.h"

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate),
                             m_hWndParent, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::DDX_Control(int nID, CWnd& control) {
    control.SubclassDlgItem(nID, *this);
}

// The dialog procedure only starts the dialog: it attaches the CDialog at
// WM_INITDIALOG, and from then on the attached WindowProc sees every message
// before the system's dialog procedure, which ends up here and gets FALSE
// ("not handled") for everything else.
INT_PTR CALLBACK CDialog::DialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) {
    static_cast<void>(wParam);
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    auto* const self = reinterpret_cast<CDialog*>(lParam);
    try {
        if (!self->SubclassWindow(hDlg)) {
            ::EndDialog(hDlg, -1);
            return FALSE;
        }
        return self->OnInitDialog();
    } catch (...) {
        // An initialisation that failed (out of memory) must not unwind into
        // the system; the dialog closes as if it could not be created.
        ::EndDialog(hDlg, -1);
        return FALSE;
    }
}
