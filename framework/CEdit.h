#pragma once

#include "framework/CWnd.h"

// An edit control of a dialog.
class CEdit : public CWnd {
public:
    // Selects the characters from nStart up to nEnd; equal values place the caret.
    void SetSel(int nStart, int nEnd) const noexcept {
        SendMessageW(EM_SETSEL, static_cast<WPARAM>(nStart), static_cast<LPARAM>(nEnd));
    }
    void ScrollCaret() const noexcept { SendMessageW(EM_SCROLLCARET); }
};
