// Shows the tool's custom controls on the tool's own dialog template under
// Wine and puts them into the looks the test script photographs: the result
// label neutral, PASS and FAIL, the cylinder at several positions in gold and
// green, the icon buttons normal, hovered and disabled, the background
// behind the log. It also checks by itself that repainting and stepping the
// controls a thousand times leaves the process's count of GDI objects flat.
// Commands come line by line on standard input; answers and check lines
// ("ok ...", "FAIL ...", "info ...") go to standard output. The exit code is
// 0 only when every check of the program passed.
#include <windows.h>

#include <commctrl.h>

#include "ShowcaseDialog.h"
#include "controls/win32/CGDIpInitializer.h"

int wmain() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    static_cast<void>(::InitCommonControlsEx(&controls));
    const CGDIpInitializer gdiplus(TRUE);
    ShowcaseDialog dialog;
    if (dialog.DoModal() == -1) {
        return 2;
    }
    return dialog.Failures() == 0 ? 0 : 1;
}
