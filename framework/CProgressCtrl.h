#pragma once

#include <commctrl.h>

#include "framework/CWnd.h"

// A progress bar of a dialog.
class CProgressCtrl : public CWnd {
public:
    // Returns the previous position.
    int SetPos(int nPos) const noexcept {
        return static_cast<int>(SendMessageW(PBM_SETPOS, static_cast<WPARAM>(nPos)));
    }
};
