#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "controls/win32/CBkDialogST.h"
#include "controls/win32/CButtonST.h"
#include "controls/win32/CColorCtrl.h"
#include "controls/win32/CColorEdit.h"
#include "controls/win32/CCylinderProgressCtrlST.h"
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
    // The menu button's callback, sent just before its menu opens.
    static constexpr UINT WM_SHOWCASE_MENU_CALLBACK = WM_APP + 2;
    // Posted by the callback; handled by the open menu's own message loop.
    static constexpr UINT WM_SHOWCASE_MENU_OPEN = WM_APP + 3;

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
    // Handles messages until the condition holds or a while has passed.
    template <typename Condition>
    bool WaitUntil(Condition condition);
    void CreateExtraButtons();
    void OnMenuOpen();
    void CheckCursor(const std::string& name, bool own);
    void CheckGdiObjects();
    void CheckShape();
    HWND ControlNamed(std::string_view name) const;

    CColorEdit m_editLog;
    CButtonST m_btnStart;
    CButtonST m_btnExit;
    CButtonST m_btnFwVer;
    CCylinderProgressCtrlST m_progress;
    CColorCtrl<CStatic> m_lblResult;
    // Created by the "extras" command over the hidden log: a masked bitmap,
    // a check box and a popup menu button.
    CButtonST m_btnMasked;
    CButtonST m_btnCheck;
    CButtonST m_btnMenu;
    HMENU m_extrasMenu = nullptr;
    WPARAM m_callbackMenu = 0;
    LPARAM m_callbackParam = 0;
    int m_menuCommand = 0;
    int m_failures = 0;
};
