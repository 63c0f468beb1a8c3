// Resource ids of the program: the one definition that the resource script,
// the upgrade flow, the dialog and the tests all use. Plain macros, because the
// resource compiler reads this file too.
#pragma once

#define IDD_KREFM8SWUPGRADE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_LOG_BACKGROUND 134
#define IDI_EXIT 135
#define IDI_EXIT_HOVER 136
#define IDI_START 138
#define IDI_START_HOVER 139
#define IDB_DIALOG_BACKGROUND 140

// Controls of the main dialog. The exit button is the dialog's cancel command,
// so that Esc and the close box reach it too: the dialog checks at compile time
// that IDC_EXIT equals IDCANCEL.
#define IDC_EXIT 2
#define IDC_START_UPGRADE 3
#define IDC_SCAN_DEVICES 1000
#define IDC_LOG 1001
#define IDC_PROGRESS 1002
#define IDC_FW_VER 1003
#define IDC_RESULT 1005
// The two statics without an id of their own; the first one, the version
// label, is the one that text set on this id reaches.
#define IDC_STATIC 0xFFFF
