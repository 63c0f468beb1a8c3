#include "ReferenceDialog.h"

#include <string>
#include <vector>

#include "MainDialogLayout.h"

namespace {

INT_PTR CALLBACK ReferenceDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

}  // namespace

ReferenceDialog::ReferenceDialog() {
    std::vector<WORD> words;
    const DWORD style = DS_SETFONT | WS_POPUP;
    words.push_back(LOWORD(style));
    words.push_back(HIWORD(style));
    words.insert(words.end(),
                 {0, 0, 0, 0, 0, static_cast<WORD>(main_dialog::kWidth),
                  static_cast<WORD>(main_dialog::kHeight), 0, 0, 0, main_dialog::kPointSize});
    words.insert(words.end(), main_dialog::kTypeface.begin(), main_dialog::kTypeface.end());
    words.push_back(0);
    m_dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<LPCDLGTEMPLATEW>(words.data()), nullptr,
                                          ReferenceDialogProc, 0);
}

ReferenceDialog::~ReferenceDialog() {
    if (m_dialog != nullptr) {
        DestroyWindow(m_dialog);
    }
}

bool ReferenceDialog::Map(RECT& place) const {
    return m_dialog != nullptr && MapDialogRect(m_dialog, &place) != FALSE;
}

std::optional<ReferenceDialog::TextSize> ReferenceDialog::Measure(std::wstring_view text) const {
    if (m_dialog == nullptr) {
        return std::nullopt;
    }
    const auto font = reinterpret_cast<HFONT>(SendMessageW(m_dialog, WM_GETFONT, 0, 0));
    HDC dc = GetDC(m_dialog);
    if (font == nullptr || dc == nullptr) {
        if (dc != nullptr) {
            ReleaseDC(m_dialog, dc);
        }
        return std::nullopt;
    }
    HGDIOBJ const previous = SelectObject(dc, font);
    SIZE extent{};
    TEXTMETRICW metrics{};
    const std::wstring whole(text);
    const bool measured = GetTextExtentPoint32W(dc, whole.c_str(), static_cast<int>(whole.size()),
                                                &extent) != FALSE &&
                          GetTextMetricsW(dc, &metrics) != FALSE;
    SelectObject(dc, previous);
    ReleaseDC(m_dialog, dc);
    if (!measured) {
        return std::nullopt;
    }
    return TextSize{extent.cx, metrics.tmHeight};
}
