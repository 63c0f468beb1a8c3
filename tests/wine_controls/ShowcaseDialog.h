#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "controls/CBkDialogST.h"
#include "controls/CButtonST.h"
#include "controls/CColorCtrl.h"
#include "controls/CColorEdit.h"
#include "controls/CCylinderProgressCtrlST.h"
#include "framework/CStatic.h"

// The tool's dialog template with the real custom controls on it, set up and
// painted the way the tool does it (background and button icons loaded
// again on every paint), and put into one look after another by command
// lines from the test script. Every command is answered, once the dialog is
// idle and its drawing has reached the display, with a last line "done".
class ShowcaseDialog : public CBkDialogST {
public:
    // Carries one command line from standard input: lParam is a std::string
    // allocated with new, which the dialog deletes.
    static constexpr UINT WM_SHOWCASE_COMMAND = WM_APP + 1;

    ShowcaseDialog();
    ~ShowcaseDialog() override = default;

    // Checks that failed while the dialog ran; the program's exit code.
    int Failures() const noexcept { return m_failures; }

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnPaint();
    void RunCommand(const std::vector<std::string>& words);

    void Check(bool passed, const std::string& what);
    void Describe() const;
    void WriteReferences();
    void SetResult(std::string_view look);
    void SetProgress(int position, std::string_view fill);
    void Repaint() const;
    bool WaitForHover(HWND control, bool hovered);
    void CheckGdiObjects();
    void CheckShape();
    HWND ControlNamed(std::string_view name) const;

    CColorEdit m_editLog;
    CButtonST m_btnStart;
    CButtonST m_btnExit;
    CButtonST m_btnFwVer;
    CCylinderProgressCtrlST m_progress;
    CColorCtrl<CStatic> m_lblResult;
    int m_failures = 0;
};
