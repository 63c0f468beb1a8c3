#include "ShowcaseDialog.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>

#include "BitmapFile.h"
#include "CommandReader.h"
#include "GdiObjectCounter.h"
#include "app/flow/ResultLook.h"
#include "framework/OwnedHandle.h"
#include "framework/ScopedSelectObject.h"
#include "res/resource.h"

namespace {

// The tool's values: icons of 48 x 48 pixels, the log's font, and the two
// fill colours of the cylinder.
constexpr int kButtonIconSize = 48;
constexpr int kLogFontHeight = 18;
constexpr DWORD kLogFontStyle = 0x40;
constexpr Gdiplus::ARGB kGold = 0xFFFFD700;
constexpr Gdiplus::ARGB kGreen = 0xFF008000;

// The extra buttons: ids, the masked bitmap (a red square inside a border of
// the transparent colour) and the fill colour of every state.
constexpr int kMaskedId = 2001;
constexpr int kCheckId = 2002;
constexpr int kMenuId = 2003;
constexpr int kFirstMenuCommand = 2101;
constexpr int kSecondMenuCommand = 2102;
constexpr LPARAM kMenuCallbackParam = 77;
constexpr int kMaskedSize = 40;
constexpr int kSquareInset = 10;
constexpr COLORREF kMaskColor = RGB(255, 0, 255);
constexpr COLORREF kSquareColor = RGB(255, 0, 0);
constexpr COLORREF kExtraFill = RGB(0, 0, 255);

// How long a hover may take to arrive after the script moved the pointer.
constexpr DWORD kHoverTimeoutMs = 10000;
// Each kind of work done this often while the GDI objects are counted.
constexpr int kRounds = 1000;
// Brushes made to see that the count follows objects at all.
constexpr unsigned kProbeBrushes = 16;

void Say(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Handles every message waiting for this thread. The last, empty look into
// the queue is also where Wine hands the thread's drawing to the display.
void DrainUntilIdle() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// The client area of a window in the coordinates of another window, or of
// the screen when that is null.
RECT ClientPlace(HWND window, HWND relativeTo) {
    RECT client{};
    ::GetClientRect(window, &client);
    ::MapWindowPoints(window, relativeTo, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top);
}

std::string ColorText(COLORREF color) {
    return std::to_string(GetRValue(color)) + " " + std::to_string(GetGValue(color)) + " " +
           std::to_string(GetBValue(color));
}

// The pixels of a region and its bounding box.
struct RegionArea {
    long pixels = 0;
    RECT box{};
};

RegionArea AreaOf(HRGN region) {
    RegionArea area;
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    std::vector<std::byte> data(size);
    auto* const header = reinterpret_cast<RGNDATA*>(data.data());
    if (size == 0 || ::GetRegionData(region, size, header) != size) {
        return area;
    }
    area.box = header->rdh.rcBound;
    const auto* const rects = reinterpret_cast<const RECT*>(header->Buffer);
    for (DWORD i = 0; i < header->rdh.nCount; ++i) {
        area.pixels += (rects[i].right - rects[i].left) * (rects[i].bottom - rects[i].top);
    }
    return area;
}

std::string CountText(std::optional<unsigned> count) {
    return count ? std::to_string(*count) : std::string("unknown");
}

}  // namespace

ShowcaseDialog::ShowcaseDialog() : CBkDialogST(IDD_KREFM8SWUPGRADE_DIALOG) {}

void ShowcaseDialog::DoDataExchange() {
    DDX_Control(IDC_LOG, m_editLog);
    DDX_Control(IDC_PROGRESS, m_progress);
    DDX_Control(IDC_START_UPGRADE, m_btnStart);
    DDX_Control(IDCANCEL, m_btnExit);
    DDX_Control(IDC_FW_VER, m_btnFwVer);
    DDX_Control(IDC_RESULT, m_lblResult);
}

BOOL ShowcaseDialog::OnInitDialog() {
    CBkDialogST::OnInitDialog();
    m_editLog.SetFontReceiver(m_editLog.GetSafeHwnd());
    m_editLog.SetEditFont(L"Courier New", kLogFontHeight, kLogFontStyle);
    m_editLog.SetEditTextColor(RGB(0, 0, 0));
    m_editLog.SetBackdrop(IDB_LOG_BACKGROUND);
    m_editLog.SetWindowTextW(L"Dock found: FW Ver 5A\r\nPackage: FW Ver 5A");
    SetResult("neutral");
    StartCommandReader(m_hWnd, WM_SHOWCASE_COMMAND);
    return TRUE;
}

LRESULT ShowcaseDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            return OnPaint();
        case WM_SHOWCASE_MENU_CALLBACK:
            m_callbackMenu = wParam;
            m_callbackParam = lParam;
            ::PostMessageW(m_hWnd, WM_SHOWCASE_MENU_OPEN, 0, 0);
            return 0;
        case WM_SHOWCASE_MENU_OPEN:
            OnMenuOpen();
            return 0;
        case WM_COMMAND:
            if (lParam == 0 &&
                (LOWORD(wParam) == kFirstMenuCommand || LOWORD(wParam) == kSecondMenuCommand)) {
                m_menuCommand = LOWORD(wParam);
                return 0;
            }
            return CBkDialogST::WindowProc(message, wParam, lParam);
        case WM_SHOWCASE_COMMAND: {
            const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
            RunCommand(Words(*line));
            return 0;
        }
        default:
            return CBkDialogST::WindowProc(message, wParam, lParam);
    }
}

// As the tool paints: background and icons are set again on every paint.
LRESULT ShowcaseDialog::OnPaint() {
    const RECT client = GetClientRect();
    SetBackground(IDB_DIALOG_BACKGROUND, kNoTransparentColor, client.right - client.left,
                  client.bottom - client.top);
    m_btnExit.SetIcons(IDI_EXIT_HOVER, kButtonIconSize, kButtonIconSize, IDI_EXIT, kButtonIconSize,
                       kButtonIconSize);
    m_btnExit.SetTooltip(L"Exit", TRUE);
    m_btnExit.UseParentBackground(FALSE);
    m_btnStart.SetIcons(IDI_START_HOVER, kButtonIconSize, kButtonIconSize, IDI_START,
                        kButtonIconSize, kButtonIconSize);
    m_btnStart.SetTooltip(L"Start upgrade", TRUE);
    m_btnStart.UseParentBackground(FALSE);
    m_btnFwVer.SetTooltip(L"Test", TRUE);
    m_btnFwVer.UseParentBackground(FALSE);
    return Default(WM_PAINT, 0, 0);
}

void ShowcaseDialog::RunCommand(const std::vector<std::string>& words) {
    if (words.empty()) {
        return;
    }
    const std::string& verb = words[0];
    if (verb == "quit") {
        EndDialog(0);
        return;
    }
    if (verb == "geometry") {
        Describe();
    } else if (verb == "reference") {
        WriteReferences();
    } else if (verb == "result" && words.size() == 2) {
        SetResult(words[1]);
    } else if (verb == "progress" && words.size() == 3) {
        SetProgress(std::stoi(words[1]), words[2]);
    } else if (verb == "start" && words.size() == 2) {
        ::EnableWindow(m_btnStart.GetSafeHwnd(), words[1] == "enabled" ? TRUE : FALSE);
    } else if (verb == "repaint") {
        Repaint();
    } else if ((verb == "hover" || verb == "unhover") && words.size() == 2 &&
               ControlNamed(words[1]) != nullptr) {
        const bool hovered = verb == "hover";
        Check(WaitForHover(ControlNamed(words[1]), hovered),
              words[1] + (hovered ? " takes the hover look" : " leaves the hover look"));
    } else if (verb == "extras") {
        CreateExtraButtons();
    } else if (verb == "pressed" && words.size() == 3 && ControlNamed(words[1]) != nullptr) {
        HWND const control = ControlNamed(words[1]);
        const bool pressed = words[2] == "1";
        Check(WaitUntil([&] {
                  const bool pushed =
                      (::SendMessageW(control, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
                  return pushed == pressed;
              }),
              words[1] + (pressed ? " is pressed" : " is released"));
    } else if (verb == "checked" && words.size() == 2) {
        const BOOL checked = words[1] == "1" ? TRUE : FALSE;
        Check(WaitUntil([&] {
                  return ::SendMessageW(m_btnCheck.GetSafeHwnd(), BM_GETCHECK, 0, 0) == checked;
              }),
              std::string("check box ") + (checked ? "checked" : "unchecked") +
                  " (BM_GETCHECK agrees)");
    } else if (verb == "menu-chosen" && words.size() == 2) {
        const int command = std::stoi(words[1]);
        Check(WaitUntil([&] { return m_menuCommand == command; }),
              "menu: command " + words[1] + " posted to the owner");
        Check(::FindWindowW(L"#32768", nullptr) == nullptr ||
                  !::IsWindowVisible(::FindWindowW(L"#32768", nullptr)),
              "menu: closed after the choice");
        Check(m_callbackMenu == reinterpret_cast<WPARAM>(::GetSubMenu(m_extrasMenu, 0)) &&
                  m_callbackParam == kMenuCallbackParam,
              "menu: callback told of the first submenu with its parameter");
    } else if (verb == "cursor" && words.size() == 3 && ControlNamed(words[1]) != nullptr) {
        CheckCursor(words[1], words[2] == "own");
    } else if (verb == "leaks") {
        CheckGdiObjects();
    } else if (verb == "shape") {
        CheckShape();
    } else {
        Check(false, "command understood: " + verb);
    }
    DrainUntilIdle();
    Say("done");
}

void ShowcaseDialog::Check(bool passed, const std::string& what) {
    if (!passed) {
        ++m_failures;
    }
    Say((passed ? "ok " : "FAIL ") + what);
}

HWND ShowcaseDialog::ControlNamed(std::string_view name) const {
    const std::array<std::pair<std::string_view, const CWnd*>, 9> controls{{
        {"masked", &m_btnMasked},
        {"check", &m_btnCheck},
        {"menu", &m_btnMenu},
        {"result", &m_lblResult},
        {"progress", &m_progress},
        {"start", &m_btnStart},
        {"exit", &m_btnExit},
        {"fwver", &m_btnFwVer},
        {"log", &m_editLog},
    }};
    for (const auto& [controlName, control] : controls) {
        if (controlName == name) {
            return control->GetSafeHwnd();
        }
    }
    return nullptr;
}

// Where everything is on the screen (client areas), and the system colours
// of the raised border.
void ShowcaseDialog::Describe() const {
    Say("client " + RectText(ClientPlace(m_hWnd, nullptr)));
    for (const char* name : {"result", "progress", "start", "exit", "fwver", "log"}) {
        Say(std::string("rect ") + name + " " + RectText(ClientPlace(ControlNamed(name), nullptr)));
    }
    Say("color highlight " + ColorText(::GetSysColor(COLOR_BTNHIGHLIGHT)));
    Say("color shadow " + ColorText(::GetSysColor(COLOR_BTNSHADOW)));
}

// What the screen must show, made here the plain way: the background picture
// at the client area's size, and each icon button as the picture under it
// with the icon drawn centred on top. Written to the current folder.
void ShowcaseDialog::WriteReferences() {
    const RECT client = GetClientRect();
    const UniqueGdiObject<HBITMAP> background(static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_DIALOG_BACKGROUND),
                     IMAGE_BITMAP, client.right, client.bottom, LR_DEFAULTCOLOR)));
    Check(SaveBitmapFile(background.Get(), L"background.bmp"), "reference background.bmp written");

    const UniqueMemoryDc backgroundDc(::CreateCompatibleDC(nullptr));
    const ScopedSelectObject selectBackground(backgroundDc.Get(), background.Get());
    struct Face {
        std::string_view file;
        HWND button;
        int icon;
    };
    const std::array<Face, 4> faces{{
        {"exit-normal.bmp", m_btnExit.GetSafeHwnd(), IDI_EXIT},
        {"exit-hover.bmp", m_btnExit.GetSafeHwnd(), IDI_EXIT_HOVER},
        {"start-normal.bmp", m_btnStart.GetSafeHwnd(), IDI_START},
        {"start-hover.bmp", m_btnStart.GetSafeHwnd(), IDI_START_HOVER},
    }};
    for (const Face& face : faces) {
        const RECT place = ClientPlace(face.button, m_hWnd);
        const int width = place.right - place.left;
        const int height = place.bottom - place.top;
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        format.bmiHeader.biWidth = width;
        format.bmiHeader.biHeight = -height;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const UniqueGdiObject<HBITMAP> picture(
            ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
        const UniqueMemoryDc pictureDc(::CreateCompatibleDC(nullptr));
        const UniqueIcon icon(static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(face.icon), IMAGE_ICON,
                         kButtonIconSize, kButtonIconSize, LR_DEFAULTCOLOR)));
        bool made = picture.IsValid() && pictureDc.IsValid() && icon.IsValid();
        if (made) {
            const ScopedSelectObject selectPicture(pictureDc.Get(), picture.Get());
            made = ::BitBlt(pictureDc.Get(), 0, 0, width, height, backgroundDc.Get(), place.left,
                            place.top, SRCCOPY) &&
                   ::DrawIconEx(pictureDc.Get(), (width - kButtonIconSize) / 2,
                                (height - kButtonIconSize) / 2, icon.Get(), 0, 0, 0, nullptr,
                                DI_NORMAL);
        }
        const std::wstring file(face.file.begin(), face.file.end());
        Check(made && SaveBitmapFile(picture.Get(), file.c_str()),
              "reference " + std::string(face.file) + " written");
    }
}

// As the tool's result indicator sets its looks.
void ShowcaseDialog::SetResult(std::string_view lookName) {
    const ResultLook look = lookName == "pass"   ? ResultLook::Pass
                            : lookName == "fail" ? ResultLook::Fail
                                                 : ResultLook::Neutral;
    const ResultLabelStyle style = StyleOf(look);
    if (look == ResultLook::Neutral) {
        m_lblResult.SetWindowTextW(style.text);
    }
    m_lblResult.SetColorsAndFont(style.textColor, style.backColor, kResultFontSize,
                                 kResultFontFace);
    if (look != ResultLook::Neutral) {
        m_lblResult.SetWindowTextW(style.text);
    }
}

void ShowcaseDialog::SetProgress(int position, std::string_view fill) {
    m_progress.SetFillColor(fill == "green" ? kGreen : kGold, TRUE);
    m_progress.SetPosition(position);
}

void ShowcaseDialog::Repaint() const {
    ::RedrawWindow(m_hWnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

template <typename Condition>
bool ShowcaseDialog::WaitUntil(Condition condition) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DrainUntilIdle();
        if (condition()) {
            return true;
        }
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kHoverTimeoutMs) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kHoverTimeoutMs - waited, QS_ALLINPUT);
    }
}

// Over the hidden log: a button with a masked bitmap and no caption, a
// check box with a caption, and a button with a popup menu; all flat and
// filled blue in every state.
void ShowcaseDialog::CreateExtraButtons() {
    const RECT log = ClientPlace(m_editLog.GetSafeHwnd(), m_hWnd);
    ::ShowWindow(m_editLog.GetSafeHwnd(), SW_HIDE);
    const auto create = [&](CButtonST& control, const wchar_t* caption, DWORD type, int id,
                            int left) {
        HWND const window = ::CreateWindowExW(
            0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | type, log.left + left,
            log.top + 10, 70, 50, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
            ::GetModuleHandleW(nullptr), nullptr);
        Check(window != nullptr && control.SubclassWindow(window) != FALSE,
              "extras: button " + std::to_string(id) + " created");
        for (const CButtonST::ColorIndex index :
             {CButtonST::BackHover, CButtonST::BackNormal, CButtonST::BackFocus}) {
            control.SetColor(index, kExtraFill, FALSE);
        }
        control.SetFont(reinterpret_cast<HFONT>(SendMessageW(WM_GETFONT)), FALSE);
    };
    create(m_btnMasked, L"", BS_PUSHBUTTON, kMaskedId, 10);
    create(m_btnCheck, L"Check", BS_AUTOCHECKBOX, kCheckId, 90);
    create(m_btnMenu, L"Menu", BS_PUSHBUTTON, kMenuId, 170);

    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = kMaskedSize;
    format.bmiHeader.biHeight = -kMaskedSize;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP const picture = ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    {
        const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        const ScopedSelectObject select(dc.Get(), picture);
        const UniqueGdiObject<HBRUSH> border(::CreateSolidBrush(kMaskColor));
        const UniqueGdiObject<HBRUSH> square(::CreateSolidBrush(kSquareColor));
        const RECT all{0, 0, kMaskedSize, kMaskedSize};
        const RECT inner{kSquareInset, kSquareInset, kMaskedSize - kSquareInset,
                         kMaskedSize - kSquareInset};
        ::FillRect(dc.Get(), &all, border.Get());
        ::FillRect(dc.Get(), &inner, square.Get());
    }
    Check(m_btnMasked.SetBitmaps(picture, kMaskColor, nullptr, 0) == CButtonST::kOk,
          "extras: masked bitmap set");
    Check(m_btnMasked.SetBtnCursor(32649 /* IDC_HAND */, FALSE) != FALSE,
          "extras: hand cursor set");
    // No sound device here: only that setting and playing them does no harm.
    m_btnMasked.SetSound(L"C:\\no-such-click.wav", TRUE);
    m_btnMasked.SetSound(L"C:\\no-such-hover.wav", FALSE);

    m_extrasMenu = ::CreateMenu();
    HMENU const popup = ::CreatePopupMenu();
    ::AppendMenuW(popup, MF_STRING, kFirstMenuCommand, L"First");
    ::AppendMenuW(popup, MF_STRING, kSecondMenuCommand, L"Second");
    ::AppendMenuW(m_extrasMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"Menu");
    m_btnMenu.SetMenu(m_extrasMenu, m_hWnd, FALSE);
    m_btnMenu.SetMenuCallback(m_hWnd, WM_SHOWCASE_MENU_CALLBACK, kMenuCallbackParam);
    for (const char* name : {"masked", "check", "menu"}) {
        Say(std::string("rect ") + name + " " + RectText(ClientPlace(ControlNamed(name), nullptr)));
    }
    Repaint();
}

// Runs inside the open menu's own message loop: the menu window is there;
// then the keys that choose the first item go to that loop.
void ShowcaseDialog::OnMenuOpen() {
    HWND const menu = ::FindWindowW(L"#32768", nullptr);
    Check(menu != nullptr && ::IsWindowVisible(menu),
          "menu: the popup menu window (#32768) is open after the click");
    if (menu != nullptr) {
        RECT place{};
        ::GetWindowRect(menu, &place);
        const RECT button = ClientPlace(m_btnMenu.GetSafeHwnd(), nullptr);
        Check(place.left == button.left && place.top == button.bottom,
              "menu: opens at the button's bottom-left corner (" + RectText(place) + ")");
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
}

// The button's own cursor over it, or the class's arrow without one.
void ShowcaseDialog::CheckCursor(const std::string& name, bool own) {
    HWND const control = ControlNamed(name);
    ::SetCursor(nullptr);
    const LRESULT handled = ::SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    HCURSOR const shown = ::GetCursor();
    HCURSOR const arrow = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    if (own) {
        Check(handled == TRUE && shown != nullptr && shown != arrow,
              name + ": its own cursor shows over it");
    } else {
        Check(shown == arrow, name + ": the arrow shows over it");
    }
}

// A button that takes the hover look asks to be told when the pointer
// leaves it; that request is what is watched here.
bool ShowcaseDialog::WaitForHover(HWND control, bool hovered) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        DrainUntilIdle();
        TRACKMOUSEEVENT query{};
        query.cbSize = sizeof(query);
        query.dwFlags = TME_QUERY;
        const bool tracked = ::TrackMouseEvent(&query) && query.hwndTrack == control &&
                             (query.dwFlags & TME_LEAVE) != 0;
        if (tracked == hovered) {
            return true;
        }
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= kHoverTimeoutMs) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kHoverTimeoutMs - waited, QS_ALLINPUT);
    }
}

// Repaints, cylinder steps and result looks, each a thousand times: the
// count of the process's GDI objects must not grow.
void ShowcaseDialog::CheckGdiObjects() {
    const GdiObjectCounter counter;
    Say("info gdi-objects: counted through " + std::string(counter.Source()));

    // A count that does not follow new objects would make a flat count prove nothing.
    const std::optional<unsigned> before = counter.Count();
    std::array<UniqueGdiObject<HBRUSH>, kProbeBrushes> brushes;
    for (auto& brush : brushes) {
        brush.Reset(::CreateSolidBrush(RGB(1, 2, 3)));
    }
    const std::optional<unsigned> with = counter.Count();
    for (auto& brush : brushes) {
        brush.Reset();
    }
    const std::optional<unsigned> after = counter.Count();
    Check(before && with && after && *with == *before + kProbeBrushes && *after == *before,
          "gdi-objects: the count follows " + std::to_string(kProbeBrushes) +
              " brushes made and deleted (" + CountText(before) + ", " + CountText(with) + ", " +
              CountText(after) + ")");

    const auto stepProgress = [this](int round) {
        SetProgress(round % 101, round % 2 == 0 ? "gold" : "green");
        ::UpdateWindow(m_progress.GetSafeHwnd());
    };
    const std::array<std::string_view, 3> looks{"pass", "fail", "neutral"};
    // Once each first, so that whatever the system makes on first use is there.
    Repaint();
    for (int round = 0; round < 101; ++round) {
        stepProgress(round);
    }
    for (const std::string_view look : looks) {
        SetResult(look);
    }
    DrainUntilIdle();
    const std::optional<unsigned> baseline = counter.Count();

    const auto checkFlat = [&](const std::string& work) {
        DrainUntilIdle();
        const std::optional<unsigned> now = counter.Count();
        Check(baseline && now && *now <= *baseline,
              "gdi-objects: " + CountText(baseline) + " before and " + CountText(now) + " after " +
                  std::to_string(kRounds) + " " + work);
    };
    for (int round = 0; round < kRounds; ++round) {
        Repaint();
    }
    checkFlat("repaints of the dialog");
    for (int round = 0; round < kRounds; ++round) {
        stepProgress(round);
    }
    checkFlat("cylinder steps");
    for (int round = 0; round < kRounds; ++round) {
        SetResult(looks[static_cast<std::size_t>(round) % looks.size()]);
    }
    checkFlat("result looks");
}

// The window's shape from a picture 101 pixels wide with three pixels of the
// transparent colour: 100 pixels wide (the width rounded down to a multiple
// of 4), with a hole at each of those pixels. Without a transparent colour,
// or without a picture, the window is rectangular again. The next paint
// gives the dialog the tool's own background back.
void ShowcaseDialog::CheckShape() {
    constexpr int kWidth = 101;
    constexpr int kHeight = 20;
    constexpr COLORREF kHole = RGB(255, 0, 255);
    constexpr std::array<POINT, 3> kHoles{{{0, 0}, {50, 10}, {99, 19}}};
    const auto makePicture = [&]() {
        const UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        format.bmiHeader.biWidth = kWidth;
        format.bmiHeader.biHeight = -kHeight;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 24;
        format.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP const picture =
            ::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (picture != nullptr && dc.IsValid()) {
            const ScopedSelectObject select(dc.Get(), picture);
            const UniqueGdiObject<HBRUSH> fill(::CreateSolidBrush(RGB(10, 20, 30)));
            const RECT all{0, 0, kWidth, kHeight};
            ::FillRect(dc.Get(), &all, fill.Get());
            for (const POINT& hole : kHoles) {
                ::SetPixelV(dc.Get(), hole.x, hole.y, kHole);
            }
            // Beyond the shape's width: no hole there, the column is outside anyway.
            ::SetPixelV(dc.Get(), 100, 5, kHole);
        }
        return picture;
    };
    const UniqueGdiObject<HRGN> region(::CreateRectRgn(0, 0, 0, 0));

    const DWORD shaped = SetBackground(makePicture(), kHole);
    const int kind = ::GetWindowRgn(m_hWnd, region.Get());
    const RegionArea area = AreaOf(region.Get());
    Check(shaped == kBackgroundOk && kind == COMPLEXREGION && area.box.left == 0 &&
              area.box.top == 0 && area.box.right == 100 && area.box.bottom == kHeight &&
              area.pixels == 100 * kHeight - static_cast<long>(kHoles.size()),
          "shape: a picture 101 wide gives a window region of " + std::to_string(area.pixels) +
              " pixels within " + RectText(area.box) + " (expected 1997 within 0 0 100 20)");
    bool holesCut = true;
    for (const POINT& hole : kHoles) {
        holesCut = holesCut && !::PtInRegion(region.Get(), hole.x, hole.y) &&
                   ::PtInRegion(region.Get(), hole.x == 0 ? 1 : hole.x - 1, hole.y);
    }
    Check(holesCut, "shape: each pixel of the transparent colour is a hole, its neighbour is not");

    const DWORD rectangular = SetBackground(makePicture(), kNoTransparentColor);
    Check(rectangular == kBackgroundOk && ::GetWindowRgn(m_hWnd, region.Get()) == ERROR,
          "shape: without a transparent colour the window has no region");
    SetBackground(makePicture(), kHole);
    const DWORD cleared = SetBackground(nullptr, kHole);
    Check(cleared == kBackgroundOk && ::GetWindowRgn(m_hWnd, region.Get()) == ERROR,
          "shape: without a picture background and region are gone");
    Repaint();
}
