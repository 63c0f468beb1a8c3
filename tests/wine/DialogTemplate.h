#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A dialog resource as the dialog manager reads it, in either of its two
// layouts (the classic one and the extended one that resource compilers emit
// for DIALOGEX). Class names given as ordinals are turned into their names, so
// that both layouts compare alike.
struct DialogTemplateItem {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t id = 0;  // 16 bits wide in the classic layout, 32 in the extended one
    std::wstring className;
    std::wstring text;  // an ordinal title (an icon, say) reads "#<ordinal>"
};

struct DialogTemplate {
    bool extended = false;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::wstring menu;
    std::wstring className;
    std::wstring caption;
    std::uint16_t pointSize = 0;  // only with a font given (DS_SETFONT or DS_SHELLFONT)
    std::uint16_t weight = 0;     // extended layout only
    bool italic = false;          // extended layout only
    std::wstring typeface;
    std::vector<DialogTemplateItem> items;
};

// Every read is bounds-checked: a truncated or garbled resource gives nothing
// and a reason, never a read past its end.
std::optional<DialogTemplate> ParseDialogTemplate(std::span<const std::uint8_t> bytes,
                                                  std::string& error);
