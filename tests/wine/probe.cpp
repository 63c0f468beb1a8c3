// Looks at the running tool from outside, the way a technician would: finds
// its dialog by caption, reads what the controls show and checks it, and can
// check the dialog resource inside the executable. Prints one line per check
// and exits with 0 only when every check passed.
//
// Options run in the order given, so a session reads like a script:
//   probe.exe --exe Z:\path\tool.exe --expect-version "..." --expect-log "" --close
#include <windows.h>

#include <psapi.h>

#include <cwctype>
#include <optional>
#include <regex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "CheckLog.h"
#include "DialogTemplate.h"
#include "GdiObjectCounter.h"
#include "InkSurvey.h"
#include "MainDialogLayout.h"
#include "Picture.h"
#include "ReferenceDialog.h"
#include "ToolWindow.h"

namespace {

constexpr DWORD kPollIntervalMs = 100;
constexpr DWORD kDefaultTimeoutMs = 20000;

enum class Action {
    kTimeout,
    kDesktop,
    kCheckResource,
    kWait,
    kDescribe,
    kExpectText,
    kExpectEmpty,
    kExpectTextMatch,
    kExpectEnabled,
    kExpectDisabled,
    kExpectVisible,
    kExpectHidden,
    kExpectLayout,
    kClick,
    kExpectProgress,
    kExpectMessage,
    kAnswerMessage,
    kReportResources,
    kScreenshot,
    kExpectLineOnArtwork,
    kClose,
};

struct ProbeOption {
    std::wstring_view option;
    Action action;
    bool namesControl;          // the first argument names a control of the dialog
    std::wstring_view control;  // or the option is about this control
    int valueCount;             // arguments after the control's name
    std::string_view help;
};

constexpr ProbeOption kOptions[] = {
    {L"--timeout", Action::kTimeout, false, L"", 1,
     "SECONDS  bound of every later wait (default 20)"},
    {L"--desktop", Action::kDesktop, false, L"", 0,
     "a window of this session can be created (the first one starts Wine's desktop)"},
    {L"--exe", Action::kCheckResource, false, L"", 1,
     "PATH  check the dialog resource inside this executable"},
    {L"--wait", Action::kWait, false, L"", 0,
     "wait until the dialog is shown and the tool is idle (any window check does it first)"},
    {L"--describe", Action::kDescribe, false, L"", 0,
     "print every control's id, class, style, state, place and text"},
    {L"--expect-text", Action::kExpectText, true, L"", 1, "CONTROL TEXT  the control shows TEXT"},
    {L"--expect-empty", Action::kExpectEmpty, true, L"", 0, "CONTROL  the control shows no text"},
    {L"--expect-text-match", Action::kExpectTextMatch, true, L"", 1,
     "CONTROL REGEX  the control's whole text matches REGEX"},
    {L"--expect-version", Action::kExpectText, false, L"version", 1,
     "TEXT  the version label shows TEXT"},
    {L"--expect-log", Action::kExpectText, false, L"log", 1, "TEXT  the log holds exactly TEXT"},
    {L"--expect-log-match", Action::kExpectTextMatch, false, L"log", 1,
     "REGEX  the whole log matches REGEX"},
    {L"--expect-result", Action::kExpectText, false, L"result", 1,
     "TEXT  the result label shows TEXT"},
    {L"--expect-enabled", Action::kExpectEnabled, true, L"", 0, "CONTROL  the control is enabled"},
    {L"--expect-disabled", Action::kExpectDisabled, true, L"", 0,
     "CONTROL  the control is disabled"},
    {L"--expect-visible", Action::kExpectVisible, true, L"", 0, "CONTROL  the control is visible"},
    {L"--expect-hidden", Action::kExpectHidden, true, L"", 0, "CONTROL  the control is hidden"},
    {L"--expect-layout", Action::kExpectLayout, false, L"", 0,
     "the controls, their classes and places, and the client size are as designed"},
    {L"--click", Action::kClick, true, L"", 0,
     "CONTROL  press the button as a user would (it must be enabled)"},
    {L"--expect-progress", Action::kExpectProgress, false, L"progress", 1,
     "POSITION  the progress bar stands at POSITION, or within LOW-HIGH (waits for it)"},
    {L"--expect-message", Action::kExpectMessage, false, L"", 1,
     "REGEX  the tool shows a message box whose whole text matches REGEX; leave it open"},
    {L"--answer-message", Action::kAnswerMessage, false, L"", 1,
     "REGEX  the tool shows a message box whose whole text matches REGEX; press its OK"},
    {L"--report-resources", Action::kReportResources, false, L"", 0,
     "print the tool's peak and present memory and its count of GDI objects"},
    {L"--screenshot", Action::kScreenshot, false, L"", 1,
     "PATH  later look checks read the display from this picture (a .bmp of the whole screen)"},
    {L"--expect-line-on-artwork", Action::kExpectLineOnArtwork, true, L"", 0,
     "CONTROL  the control shows its whole text on one line in the dialog's font, and the "
     "dialog's background picture everywhere else (reads the --screenshot)"},
    {L"--close", Action::kClose, false, L"", 0,
     "press exit (the cancel command) and wait for the tool to end"},
};

struct Step {
    Action action = Action::kWait;
    std::size_t control = 0;
    std::vector<std::wstring> values;
    std::optional<std::wregex> pattern;
};

// "50" is 50 to 50, "20-45" 20 to 45; checked when the options were read.
std::pair<int, int> ProgressRange(const std::wstring& value) {
    const std::size_t dash = value.find(L'-');
    const int low = std::stoi(value.substr(0, dash));
    return {low, dash == std::wstring::npos ? low : std::stoi(value.substr(dash + 1))};
}

std::string Hex(std::uint32_t value) {
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += "0123456789ABCDEF"[(value >> shift) & 0xF];
    }
    return text;
}

std::string RectText(long x, long y, long cx, long cy) {
    return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(cx) + "x" +
           std::to_string(cy);
}

std::string ControlName(std::size_t index) {
    return Utf8(main_dialog::kControls[index].name);
}

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return true;
}

// Pixels of places given in the designed dialog's units, as the dialog
// manager of this system computes them.
std::optional<std::vector<RECT>> MapDesignedUnits(std::vector<RECT> places) {
    const ReferenceDialog reference;
    for (RECT& place : places) {
        if (!reference.Map(place)) {
            return std::nullopt;
        }
    }
    return places;
}

class Probe {
public:
    void Run(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            RunStep(step);
        }
        m_log.Summary();
    }

    int ExitCode() const { return m_log.Failed() == 0 && m_log.Passed() > 0 ? 0 : 1; }

private:
    void RunStep(const Step& step) {
        switch (step.action) {
            case Action::kTimeout:
                m_timeoutMs = static_cast<DWORD>(std::stoul(step.values[0]) * 1000);
                break;
            case Action::kDesktop:
                CheckDesktop();
                break;
            case Action::kCheckResource:
                CheckResource(step.values[0]);
                break;
            case Action::kWait:
                HaveWindow();
                break;
            case Action::kDescribe:
                Describe();
                break;
            case Action::kExpectText:
                ExpectText(step.control, step.values[0]);
                break;
            case Action::kExpectEmpty:
                ExpectText(step.control, L"");
                break;
            case Action::kExpectTextMatch:
                ExpectTextMatch(step.control, step.values[0], *step.pattern);
                break;
            case Action::kExpectEnabled:
                ExpectStyleBit(step.control, WS_DISABLED, false);
                break;
            case Action::kExpectDisabled:
                ExpectStyleBit(step.control, WS_DISABLED, true);
                break;
            case Action::kExpectVisible:
                ExpectStyleBit(step.control, WS_VISIBLE, true);
                break;
            case Action::kExpectHidden:
                ExpectStyleBit(step.control, WS_VISIBLE, false);
                break;
            case Action::kExpectLayout:
                ExpectLayout();
                break;
            case Action::kClick:
                Click(step.control);
                break;
            case Action::kExpectProgress: {
                const auto [low, high] = ProgressRange(step.values[0]);
                ExpectProgress(step.control, low, high);
                break;
            }
            case Action::kExpectMessage:
                static_cast<void>(ShownMessage(step.values[0], *step.pattern));
                break;
            case Action::kAnswerMessage:
                AnswerMessage(step.values[0], *step.pattern);
                break;
            case Action::kReportResources:
                ReportResources();
                break;
            case Action::kScreenshot:
                ReadScreenshot(step.values[0]);
                break;
            case Action::kExpectLineOnArtwork:
                ExpectLineOnArtwork(step.control);
                break;
            case Action::kClose:
                Close();
                break;
        }
    }

    // Checks one fact, printing what was seen and, when it differs, what was wanted.
    void Expect(bool passed, const std::string& what, const std::string& seen,
                const std::string& wanted) {
        m_log.Check(passed, what + ": " + seen + (passed ? "" : " (expected " + wanted + ")"));
    }

    // Polls another process's window until `observe` holds or the bound is reached.
    template <typename Observe>
    bool Eventually(Observe observe) const {
        const ULONGLONG deadline = GetTickCount64() + m_timeoutMs;
        for (;;) {
            if (observe()) {
                return true;
            }
            if (GetTickCount64() >= deadline) {
                return false;
            }
            Sleep(kPollIntervalMs);
        }
    }

    // Wine starts a session's desktop with the first window anyone creates and
    // waits 10 s for it; a program whose first window came before the desktop
    // was ready can create no window at all.
    void CheckDesktop() {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        const DWORD error = GetLastError();
        m_log.Check(window != nullptr, window != nullptr
                                           ? std::string("desktop: a window can be created")
                                           : "desktop: no window can be created (error " +
                                                 std::to_string(error) + ")");
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }

    void CheckResource(const std::wstring& path) {
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        m_log.Check(module != nullptr, "resource: opened " + Utf8(path) + " as data");
        if (module == nullptr) {
            return;
        }
        HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(main_dialog::kResourceId), RT_DIALOG);
        HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        m_log.Check(data != nullptr,
                    "resource: dialog " + std::to_string(main_dialog::kResourceId) + " present");
        if (data != nullptr) {
            const std::span bytes(static_cast<const std::uint8_t*>(data),
                                  SizeofResource(module, found));
            std::string error;
            const std::optional<DialogTemplate> dialog = ParseDialogTemplate(bytes, error);
            m_log.Check(dialog.has_value(),
                        "resource: dialog readable" + (dialog ? std::string() : ": " + error));
            if (dialog) {
                CheckDialogResource(*dialog);
            }
        }
        FreeLibrary(module);
    }

    void CheckDialogResource(const DialogTemplate& dialog) {
        using namespace main_dialog;
        Expect(dialog.style == kStyle, "resource: dialog style", Hex(dialog.style), Hex(kStyle));
        Expect(dialog.exStyle == kExStyle, "resource: dialog extended style", Hex(dialog.exStyle),
               Hex(kExStyle));
        Expect(dialog.cx == kWidth && dialog.cy == kHeight, "resource: dialog size",
               std::to_string(dialog.cx) + "x" + std::to_string(dialog.cy),
               std::to_string(kWidth) + "x" + std::to_string(kHeight));
        Expect(dialog.caption == kCaption, "resource: caption", Quoted(dialog.caption),
               Quoted(kCaption));
        Expect(dialog.typeface == kTypeface && dialog.pointSize == kPointSize, "resource: font",
               Quoted(dialog.typeface) + " " + std::to_string(dialog.pointSize),
               Quoted(kTypeface) + " " + std::to_string(kPointSize));
        Expect(dialog.items.size() == kControls.size(), "resource: control count",
               std::to_string(dialog.items.size()), std::to_string(kControls.size()));
        for (std::size_t i = 0; i < kControls.size() && i < dialog.items.size(); ++i) {
            const Control& want = kControls[i];
            const DialogTemplateItem& item = dialog.items[i];
            const std::string what =
                "resource: control " + std::to_string(i + 1) + " (" + ControlName(i) + ") ";
            // The classic layout stores 16-bit ids, so -1 reads 0xFFFF there.
            Expect((item.id & 0xFFFF) == want.id && (item.id <= 0xFFFF || item.id == 0xFFFFFFFF),
                   what + "id", std::to_string(static_cast<std::int32_t>(item.id)),
                   std::to_string(want.id));
            Expect(SameIgnoringCase(item.className, want.className), what + "class",
                   Quoted(item.className), Quoted(want.className));
            Expect(item.text == want.text, what + "text", Quoted(item.text), Quoted(want.text));
            Expect(item.x == want.x && item.y == want.y && item.cx == want.cx && item.cy == want.cy,
                   what + "rectangle", RectText(item.x, item.y, item.cx, item.cy),
                   RectText(want.x, want.y, want.cx, want.cy));
            Expect(item.style == want.style, what + "style", Hex(item.style), Hex(want.style));
        }
    }

    // Finds the shown dialog once and waits until the tool has handled what it
    // posted to itself while starting (its first idle moment), so that a check
    // of an empty log means the log stays empty.
    bool HaveWindow() {
        if (m_window) {
            return true;
        }
        if (m_windowMissing) {
            return false;
        }
        Eventually([this] {
            m_window = ToolWindow::FindShown(main_dialog::kCaption);
            return m_window.has_value();
        });
        m_log.Check(m_window.has_value(), "window: " + Quoted(main_dialog::kCaption) +
                                              " shown within " +
                                              std::to_string(m_timeoutMs / 1000) + " s");
        if (!m_window) {
            m_windowMissing = true;
            return false;
        }
        const DWORD idle = m_window->Process() != nullptr
                               ? WaitForInputIdle(m_window->Process(), m_timeoutMs)
                               : WAIT_FAILED;
        m_log.Check(idle == 0, "window: tool idle after start-up");
        return true;
    }

    void Describe() {
        if (!HaveWindow()) {
            return;
        }
        for (std::size_t i = 0; i < main_dialog::kControls.size(); ++i) {
            HWND control = m_window->Control(i);
            if (control == nullptr) {
                m_log.Info(ControlName(i) + ": missing");
                continue;
            }
            const DWORD style = ToolWindow::Style(control);
            const RECT place = m_window->PlaceInDialog(control);
            m_log.Info(ControlName(i) + ": id " + std::to_string(GetDlgCtrlID(control)) + " " +
                       Utf8(ToolWindow::ClassName(control)) + " style " + Hex(style) +
                       ((style & WS_VISIBLE) != 0 ? " visible" : " hidden") +
                       ((style & WS_DISABLED) != 0 ? " disabled" : " enabled") + " at " +
                       RectText(place.left, place.top, place.right - place.left,
                                place.bottom - place.top) +
                       " text " + Quoted(ToolWindow::Text(control).value_or(L"<no answer>")));
        }
    }

    HWND ControlOrFail(std::size_t index, const std::string& what) {
        if (!HaveWindow()) {
            m_log.Check(false, what + ": no window");
            return nullptr;
        }
        HWND control = m_window->Control(index);
        if (control == nullptr) {
            m_log.Check(false, what + ": no such control in the window");
        }
        return control;
    }

    void ExpectText(std::size_t index, const std::wstring& wanted) {
        const std::string what = ControlName(index) + " text";
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        std::optional<std::wstring> seen;
        const bool passed = Eventually([&] {
            seen = ToolWindow::Text(control);
            return seen == wanted;
        });
        Expect(passed, what, seen ? Quoted(*seen) : "no answer", Quoted(wanted));
    }

    void ExpectTextMatch(std::size_t index, const std::wstring& source,
                         const std::wregex& pattern) {
        const std::string what = ControlName(index) + " text";
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        std::optional<std::wstring> seen;
        const bool passed = Eventually([&] {
            seen = ToolWindow::Text(control);
            return seen && std::regex_match(*seen, pattern);
        });
        Expect(passed, what, seen ? Quoted(*seen) : "no answer",
               "a match of /" + Utf8(source) + "/");
    }

    void ExpectStyleBit(std::size_t index, DWORD bit, bool set) {
        const bool aboutVisibility = bit == WS_VISIBLE;
        const std::string what = ControlName(index) + (aboutVisibility ? " visibility" : " state");
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        DWORD style = 0;
        const bool passed = Eventually([&] {
            style = ToolWindow::Style(control);
            return ((style & bit) != 0) == set;
        });
        const auto word = [&](bool bitSet) -> std::string {
            return aboutVisibility ? (bitSet ? "visible" : "hidden")
                                   : (bitSet ? "disabled" : "enabled");
        };
        Expect(passed, what, word((style & bit) != 0) + " (style " + Hex(style) + ")", word(set));
    }

    void ExpectLayout() {
        if (!HaveWindow()) {
            m_log.Check(false, "layout: no window");
            return;
        }
        using namespace main_dialog;
        std::vector<RECT> designed{RECT{0, 0, kWidth, kHeight}};
        for (const Control& control : kControls) {
            designed.push_back(RECT{control.x, control.y, control.cx, control.cy});
        }
        const std::optional<std::vector<RECT>> pixels = MapDesignedUnits(designed);
        m_log.Check(pixels.has_value(), "layout: dialog units of 12-point Arial mapped to pixels");
        if (!pixels) {
            return;
        }
        const SIZE client = m_window->ClientSize();
        const RECT& dialog = (*pixels)[0];
        Expect(client.cx == dialog.right && client.cy == dialog.bottom, "layout: client size",
               std::to_string(client.cx) + "x" + std::to_string(client.cy),
               std::to_string(dialog.right) + "x" + std::to_string(dialog.bottom));

        std::size_t children = 0;
        for (HWND child = GetWindow(m_window->Dialog(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            ++children;
        }
        Expect(children == kControls.size(), "layout: child windows", std::to_string(children),
               std::to_string(kControls.size()));

        // Controls may trade a border for a client edge and the dialog manager
        // moves the default-button style, so of the live style only the
        // window bits that the resource decides are compared; visibility and
        // state have checks of their own.
        constexpr DWORD kDesignedWindowBits =
            0xFFFF0000 & ~static_cast<DWORD>(WS_VISIBLE | WS_DISABLED | WS_BORDER);
        for (std::size_t i = 0; i < kControls.size(); ++i) {
            const std::string what = "layout: " + ControlName(i);
            HWND control = m_window->Control(i);
            if (control == nullptr) {
                m_log.Check(false, what + ": missing");
                continue;
            }
            const std::wstring className = ToolWindow::ClassName(control);
            Expect(SameIgnoringCase(className, kControls[i].className), what + " class",
                   Quoted(className), Quoted(kControls[i].className));
            const RECT place = m_window->PlaceInDialog(control);
            const RECT& want = (*pixels)[i + 1];
            Expect(
                place.left == want.left && place.top == want.top &&
                    place.right - place.left == want.right &&
                    place.bottom - place.top == want.bottom,
                what + " place",
                RectText(place.left, place.top, place.right - place.left, place.bottom - place.top),
                RectText(want.left, want.top, want.right, want.bottom));
            const DWORD bits = ToolWindow::Style(control) & kDesignedWindowBits;
            Expect(bits == (kControls[i].style & kDesignedWindowBits), what + " window style bits",
                   Hex(bits), Hex(kControls[i].style & kDesignedWindowBits));
        }
    }

    // A user can only press an enabled button, and waits for one that is off
    // for a moment (a check the dock's arrivals bring); the press reaches the
    // dialog as the button's click notification.
    void Click(std::size_t index) {
        const std::string what = "click " + ControlName(index);
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        if (!Eventually([control] { return (ToolWindow::Style(control) & WS_DISABLED) == 0; })) {
            m_log.Check(false, what + ": the button is disabled");
            return;
        }
        const int id = main_dialog::kControls[index].id;
        const BOOL posted = PostMessageW(m_window->Dialog(), WM_COMMAND,
                                         MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                                         reinterpret_cast<LPARAM>(control));
        m_log.Check(posted != FALSE, what + ": pressed");
    }

    void ExpectProgress(std::size_t index, int low, int high) {
        const std::string what = ControlName(index) + " position";
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        std::optional<int> seen;
        const bool passed = Eventually([&] {
            seen = ToolWindow::ProgressPosition(control);
            return seen && *seen >= low && *seen <= high;
        });
        Expect(passed, what, seen ? std::to_string(*seen) : "no answer",
               low == high ? std::to_string(low)
                           : std::to_string(low) + " to " + std::to_string(high));
    }

    // A message box blocks the tool until the user closes it: it must say
    // what is expected. Returns the box once it is shown.
    HWND ShownMessage(const std::wstring& source, const std::wregex& pattern) {
        const std::string what = "message box";
        if (!HaveWindow()) {
            m_log.Check(false, what + ": no window");
            return nullptr;
        }
        HWND box = nullptr;
        std::optional<std::wstring> seen;
        const ULONGLONG start = GetTickCount64();
        const bool shown = Eventually([&] {
            box = m_window->OwnedMessageBox();
            seen = box != nullptr ? ToolWindow::MessageText(box) : std::nullopt;
            return seen && std::regex_match(*seen, pattern);
        });
        // How long the tool took to get there, e.g. through a whole update.
        const std::string after = " after " + std::to_string(GetTickCount64() - start) + " ms";
        Expect(shown, what + " text", (seen ? Quoted(*seen) : "no message box") + after,
               "a match of /" + Utf8(source) + "/");
        return shown ? box : nullptr;
    }

    // Pressing OK must close the box.
    void AnswerMessage(const std::wstring& source, const std::wregex& pattern) {
        HWND box = ShownMessage(source, pattern);
        if (box == nullptr) {
            return;
        }
        const BOOL posted = PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                         reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        const bool closed = posted != FALSE && Eventually([&] { return IsWindow(box) == FALSE; });
        m_log.Check(closed, "message box: OK pressed, the box closed");
    }

    // Figures, not checks: what the tool holds at this point of its life.
    void ReportResources() {
        if (!HaveWindow()) {
            m_log.Check(false, "resources: no window");
            return;
        }
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof(memory);
        if (GetProcessMemoryInfo(m_window->Process(), &memory, sizeof(memory)) != FALSE) {
            m_log.Info("resources: peak working set " +
                       std::to_string(memory.PeakWorkingSetSize / 1024) + " KiB, working set " +
                       std::to_string(memory.WorkingSetSize / 1024) + " KiB, peak private " +
                       std::to_string(memory.PeakPagefileUsage / 1024) + " KiB");
        } else {
            m_log.Info("resources: no memory figures (error " + std::to_string(GetLastError()) +
                       ")");
        }
        const GdiObjectCounter gdi(m_window->Process());
        const std::optional<unsigned> objects = gdi.Count();
        m_log.Info("resources: " + (objects
                                        ? std::to_string(*objects) + " GDI objects (read from " +
                                              std::string(gdi.Source()) + ")"
                                        : std::string("GDI objects not readable")));
    }

    void ReadScreenshot(const std::wstring& path) {
        m_screenshot = ReadPictureFile(path.c_str());
        m_log.Check(m_screenshot.has_value(),
                    "screenshot: " + Utf8(path) +
                        (m_screenshot ? " read, " + std::to_string(m_screenshot->width) + "x" +
                                            std::to_string(m_screenshot->height)
                                      : std::string(" not readable")));
    }

    // The background picture as the tool lays it under its controls: its
    // bitmap resource scaled to the client area, one copy from the corner.
    std::optional<Picture> ToolArtwork(SIZE client) const {
        std::wstring path(32768, L'\0');
        const DWORD length = GetModuleFileNameExW(m_window->Process(), nullptr, path.data(),
                                                  static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::nullopt;
        }
        path.resize(length);
        HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (module == nullptr) {
            return std::nullopt;
        }
        auto* const bitmap = static_cast<HBITMAP>(
            LoadImageW(module, MAKEINTRESOURCEW(main_dialog::kBackgroundBitmapId), IMAGE_BITMAP,
                       client.cx, client.cy, LR_DEFAULTCOLOR));
        FreeLibrary(module);
        std::optional<Picture> artwork = ReadPicture(bitmap);
        if (bitmap != nullptr) {
            DeleteObject(bitmap);
        }
        return artwork;
    }

    // A label's text drawn by the system over the dialog's picture: what the
    // screenshot shows where the label is, against the picture at that place.
    // Dark text only darkens the picture, so pixels that differ and are no
    // lighter anywhere are the text's; all of them must lie in one line of
    // the dialog's font and span the whole text as that font measures it,
    // centred in the label; every other pixel must be the picture's own.
    void ExpectLineOnArtwork(std::size_t index) {
        const std::string what = ControlName(index) + " look";
        HWND control = ControlOrFail(index, what);
        if (control == nullptr) {
            return;
        }
        if (!m_screenshot) {
            m_log.Check(false, what + ": no screenshot to look at (--screenshot first)");
            return;
        }
        const std::optional<std::wstring> text = ToolWindow::Text(control);
        const std::wstring_view seenText = text ? std::wstring_view(*text) : std::wstring_view();
        const std::size_t lastBlank = seenText.find_last_of(L' ');
        const SIZE client = m_window->ClientSize();
        const std::optional<Picture> artwork = ToolArtwork(client);
        const ReferenceDialog reference;
        const std::optional<ReferenceDialog::TextSize> line = reference.Measure(seenText);
        const std::optional<ReferenceDialog::TextSize> beforeLastWord = reference.Measure(
            seenText.substr(0, lastBlank == std::wstring_view::npos ? 0 : lastBlank + 1));
        // The label may reach past the client area (the bottom row of the
        // layout does); only what lies inside can show.
        const RECT place = m_window->PlaceInDialog(control);
        const RECT clientArea{0, 0, client.cx, client.cy};
        RECT shown{};
        IntersectRect(&shown, &place, &clientArea);
        POINT origin{0, 0};
        ClientToScreen(m_window->Dialog(), &origin);
        RECT onScreen = shown;
        OffsetRect(&onScreen, origin.x, origin.y);
        if (!text || !artwork || !line || !beforeLastWord || IsRectEmpty(&shown) ||
            !artwork->Holds(shown) || !m_screenshot->Holds(onScreen)) {
            m_log.Check(false,
                        what + ": text, picture, font or place not to be had (" +
                            (text ? "text" : "no text") + ", " +
                            (artwork ? "picture" : "no picture") + ", " +
                            (line ? "font" : "no font") + ", place " +
                            RectText(onScreen.left, onScreen.top, onScreen.right - onScreen.left,
                                     onScreen.bottom - onScreen.top) +
                            " on the screen)");
            return;
        }
        const int width = shown.right - shown.left;
        const int height = shown.bottom - shown.top;
        const InkSurvey ink =
            SurveyInk(m_screenshot->Crop(onScreen), artwork->Crop(shown), width, height);
        const int all = width * height;
        m_log.Info(what + ": " + RectText(onScreen.left, onScreen.top, width, height) +
                   " on the screen; " + Quoted(seenText) + " is " + std::to_string(line->width) +
                   " px wide, a line " + std::to_string(line->lineHeight) + " px high");

        Expect(ink.inkPixels > 0 && ink.strayPixels == 0,
               what + ": the background picture around the text",
               std::to_string(all - ink.inkPixels - ink.strayPixels) + " of " +
                   std::to_string(all) + " pixels are the picture's, " +
                   std::to_string(ink.inkPixels) + " darker (text), " +
                   std::to_string(ink.strayPixels) + " of another colour",
               "text pixels and the picture's, none of another colour");
        Expect(ink.inkPixels > 0 && ink.InkHeight() <= line->lineHeight,
               what + ": the text on one line",
               "text in rows " + std::to_string(ink.top) + " to " + std::to_string(ink.bottom) +
                   " of the label",
               "at most " + std::to_string(line->lineHeight) + " rows");
        // Centred the way the label centres one line; glyphs may sit a few
        // pixels inside their advance.
        constexpr int kBearing = 5;
        const int textLeft = (place.right - place.left - line->width) / 2 + place.left - shown.left;
        const int textRight = textLeft + line->width - 1;
        const int lastWordLeft = textLeft + beforeLastWord->width;
        Expect(ink.inkPixels > 0 && ink.left >= textLeft - 1 && ink.left <= textLeft + kBearing &&
                   ink.right <= textRight + 1 && ink.right >= textRight - kBearing,
               what + ": the whole text shown",
               "text from x " + std::to_string(ink.left) + " to " + std::to_string(ink.right) +
                   " of the label",
               "from " + std::to_string(textLeft) + " to " + std::to_string(textRight) + ", past " +
                   std::to_string(lastWordLeft) + " where its last word starts");
    }

    void Close() {
        if (!HaveWindow()) {
            m_log.Check(false, "close: no window");
            return;
        }
        const std::optional<std::size_t> exitIndex = main_dialog::IndexOf(L"exit");
        HWND exitButton = m_window->Control(*exitIndex);
        const BOOL posted =
            PostMessageW(m_window->Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(exitButton));
        m_log.Check(posted != FALSE, "close: exit pressed");
        const ULONGLONG pressed = GetTickCount64();
        const DWORD ended = m_window->Process() != nullptr
                                ? WaitForSingleObject(m_window->Process(), m_timeoutMs)
                                : WAIT_FAILED;
        const ULONGLONG took = GetTickCount64() - pressed;
        DWORD exitCode = 0;
        if (ended == WAIT_OBJECT_0) {
            GetExitCodeProcess(m_window->Process(), &exitCode);
        }
        std::string what = "close: tool ended ";
        if (ended == WAIT_OBJECT_0) {
            what +=
                "after " + std::to_string(took) + " ms with exit code " + std::to_string(exitCode);
        } else {
            what += "within " + std::to_string(m_timeoutMs) + " ms";
        }
        m_log.Check(ended == WAIT_OBJECT_0, what);
        m_window.reset();
        m_windowMissing = true;
    }

    CheckLog m_log;
    DWORD m_timeoutMs = kDefaultTimeoutMs;
    std::optional<Picture> m_screenshot;
    std::optional<ToolWindow> m_window;
    bool m_windowMissing = false;
};

void PrintUsage() {
    PrintLine(stderr, "usage: probe.exe OPTION...   (options run in the order given)");
    for (const ProbeOption& known : kOptions) {
        std::string line = "  ";
        line += Utf8(known.option);
        line += ' ';
        line += known.help;
        PrintLine(stderr, line);
    }
    std::string names = "CONTROL is one of:";
    for (const main_dialog::Control& control : main_dialog::kControls) {
        names += ' ';
        names += Utf8(control.name);
    }
    PrintLine(stderr, names);
}

const ProbeOption* FindOption(std::wstring_view option) {
    for (const ProbeOption& known : kOptions) {
        if (known.option == option) {
            return &known;
        }
    }
    return nullptr;
}

// Up to five digits: converted later without a chance of overflow.
bool IsSmallWholeNumber(std::wstring_view text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of(L"0123456789") == std::wstring_view::npos;
}

// Reads the whole command line before anything runs, so a typo cannot leave
// a half-checked tool behind.
std::optional<std::vector<Step>> ParseSteps(int argc, wchar_t** argv, std::string& error) {
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        const ProbeOption* option = FindOption(argv[i]);
        if (option == nullptr) {
            error = "unknown option " + Utf8(argv[i]);
            return std::nullopt;
        }
        Step step;
        step.action = option->action;
        const int needed = option->valueCount + (option->namesControl ? 1 : 0);
        if (argc - 1 - i < needed) {
            error = Utf8(option->option) + " needs " + std::to_string(needed) + " argument(s)";
            return std::nullopt;
        }
        const std::wstring_view controlName = option->namesControl ? argv[++i] : option->control;
        if (!controlName.empty()) {
            const std::optional<std::size_t> index = main_dialog::IndexOf(controlName);
            if (!index) {
                error = "no control called " + Utf8(controlName);
                return std::nullopt;
            }
            step.control = *index;
        }
        for (int v = 0; v < option->valueCount; ++v) {
            step.values.emplace_back(argv[++i]);
        }
        if (step.action == Action::kTimeout && !IsSmallWholeNumber(step.values[0])) {
            error = "--timeout needs whole seconds";
            return std::nullopt;
        }
        if (step.action == Action::kExpectProgress) {
            const std::wstring& value = step.values[0];
            const std::size_t dash = value.find(L'-');
            if (!IsSmallWholeNumber(value.substr(0, dash)) ||
                (dash != std::wstring::npos && !IsSmallWholeNumber(value.substr(dash + 1)))) {
                error = "--expect-progress needs a whole number or LOW-HIGH";
                return std::nullopt;
            }
        }
        if (step.action == Action::kExpectTextMatch || step.action == Action::kExpectMessage ||
            step.action == Action::kAnswerMessage) {
            try {
                step.pattern.emplace(step.values[0]);
            } catch (const std::regex_error& e) {
                error = "bad pattern " + Utf8(step.values[0]) + ": " + e.what();
                return std::nullopt;
            }
        }
        steps.push_back(std::move(step));
    }
    if (steps.empty()) {
        error = "nothing to check";
        return std::nullopt;
    }
    return steps;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string error;
    const std::optional<std::vector<Step>> steps = ParseSteps(argc, argv, error);
    if (!steps) {
        PrintLine(stderr, "probe: " + error);
        PrintUsage();
        return 2;
    }
    Probe probe;
    probe.Run(*steps);
    return probe.ExitCode();
}
