#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

// A hidden dialog of the probe's own with the designed dialog's size and
// font, so that this system's dialog manager and text drawing answer for the
// tool's dialog: where places given in dialog units land in pixels, and how
// wide a text is in the dialog's font.
class ReferenceDialog {
public:
    ReferenceDialog();
    ~ReferenceDialog();
    ReferenceDialog(const ReferenceDialog&) = delete;
    ReferenceDialog& operator=(const ReferenceDialog&) = delete;

    bool IsValid() const noexcept { return m_dialog != nullptr; }

    // Like the dialog manager, maps a control's origin and size each on its
    // own (x, y, width, height in a RECT's four fields), so rounding never
    // shifts the far edge.
    bool Map(RECT& place) const;

    struct TextSize {
        int width = 0;       // advance of the whole text on one line
        int lineHeight = 0;  // height of one line of the font
    };
    std::optional<TextSize> Measure(std::wstring_view text) const;

private:
    HWND m_dialog = nullptr;
};
