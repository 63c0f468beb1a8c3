#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "controls/IconShading.h"

// The bitmap push button's decisions that need no device context: how its
// style marks it, which state it paints, which image and colours that state
// takes, what a click does, and which sound it plays.
namespace button {

// The button type bits of a window style, which owner drawing replaces.
constexpr std::uint32_t kTypeMask = 0x1F;
// Set in every check-box type (check box, auto check box, three-state ones).
constexpr std::uint32_t kCheckBoxBit = 0x2;
constexpr std::uint32_t kPushButtonType = 0x0;
constexpr std::uint32_t kDefPushButtonType = 0x1;
constexpr std::uint32_t kOwnerDrawType = 0xB;

struct StyleTraits {
    bool checkBox = false;
    bool defaultButton = false;
};

// What the button's original style makes of it (only the low 16 bits count).
constexpr StyleTraits TraitsOf(std::uint32_t style) {
    const std::uint32_t low = style & 0xFFFFu;
    return StyleTraits{(low & kCheckBoxBit) != 0, (low & kTypeMask) == kDefPushButtonType};
}

// The style with its type replaced by owner drawing.
constexpr std::uint32_t OwnerDrawn(std::uint32_t style) {
    return (style & ~kTypeMask) | kOwnerDrawType;
}

// A new type given to the button by the dialog manager: a default push
// button sets the mark, a plain push button clears it, anything else leaves it.
constexpr std::optional<bool> DefaultMarkFor(std::uint32_t style) {
    switch (style & kTypeMask) {
        case kDefPushButtonType:
            return true;
        case kPushButtonType:
            return false;
        default:
            return std::nullopt;
    }
}

struct PressOffset {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(PressOffset, PressOffset) = default;
};

// Press style 0 moves image and caption by (1, 1) while pressed, style 1 by
// (0, 2); other styles do not exist.
constexpr std::optional<PressOffset> PressOffsetOf(int style) {
    switch (style) {
        case 0:
            return PressOffset{1, 1};
        case 1:
            return PressOffset{0, 2};
        default:
            return std::nullopt;
    }
}

// A check box looks pressed while it is checked; a button with a popup menu
// while the menu is open.
constexpr bool PaintsPressed(bool selected, bool checkBox, bool checked, bool menuShown) {
    return checkBox ? selected || checked : selected || menuShown;
}

enum class ImageSlot : std::size_t { Hover = 0, Normal = 1 };

// The hover image while pressed, or while hovered unless the button is a
// check box; otherwise the normal image when there is one.
constexpr ImageSlot ChooseImage(bool pressed, bool hovered, bool checkBox, bool hasNormal) {
    if (pressed || (!checkBox && hovered) || !hasNormal) {
        return ImageSlot::Hover;
    }
    return ImageSlot::Normal;
}

enum class ColorState { Hover, Focus, Normal };

constexpr ColorState ColorStateOf(bool hovered, bool pressed, bool focused) {
    if (hovered || pressed) {
        return ColorState::Hover;
    }
    return focused ? ColorState::Focus : ColorState::Normal;
}

// A flat button follows the pointer, unless the left button was pressed
// elsewhere and dragged onto it.
constexpr bool TracksHover(bool leftButtonDown, bool hovered, bool flat) {
    return flat && !(leftButtonDown && !hovered);
}

enum class ClickAction { ToggleCheck, ShowMenu, OpenLink, Nothing };

// A check box toggles; otherwise the popup menu comes before the link.
constexpr ClickAction ActionOnClick(bool checkBox, bool hasMenu, bool hasLink) {
    if (checkBox) {
        return ClickAction::ToggleCheck;
    }
    if (hasMenu) {
        return ClickAction::ShowMenu;
    }
    return hasLink ? ClickAction::OpenLink : ClickAction::Nothing;
}

// The transparent colour (0x00BBGGRR) of a shaded copy of a bitmap: the
// original's transparent colour shaded alike, so the same pixels stay transparent.
constexpr std::uint32_t ShadedTransparentColor(std::uint32_t colorRef, IconShading shading) {
    const std::uint32_t red = colorRef & 0xFFu;
    const std::uint32_t green = (colorRef >> 8) & 0xFFu;
    const std::uint32_t blue = (colorRef >> 16) & 0xFFu;
    const std::uint32_t shaded = ShadeIconPixel((red << 16) | (green << 8) | blue, shading);
    return ((shaded >> 16) & 0xFFu) | (shaded & 0xFF00u) | ((shaded & 0xFFu) << 16);
}

// The longest link the button keeps, and the longest sound file name.
constexpr std::size_t kMaxLinkLength = 259;
constexpr std::size_t kMaxSoundNameLength = 260;

// The text cut to at most limit characters.
inline std::wstring Limited(std::wstring_view text, std::size_t limit) {
    return std::wstring(text.substr(0, limit));
}

enum class SoundEvent : std::size_t { Hover = 0, Click = 1 };

struct SoundChoice {
    enum class Source { None, Resource, File };
    Source source = Source::None;
    std::uint16_t resourceId = 0;  // with Source::Resource
    std::wstring file;             // with Source::File
};

// The hover and the click sound, each a sound resource or a sound file.
class ButtonSounds {
public:
    // Resource id 0 removes the sound.
    void SetResource(SoundEvent event, std::uint16_t resourceId) {
        SoundChoice& choice = Slot(event);
        choice = SoundChoice{};
        if (resourceId != 0) {
            choice.source = SoundChoice::Source::Resource;
            choice.resourceId = resourceId;
        }
    }
    // An empty name removes the sound; a long one is cut to its limit.
    void SetFile(SoundEvent event, std::wstring_view file) {
        SoundChoice& choice = Slot(event);
        choice = SoundChoice{};
        if (!file.empty()) {
            choice.source = SoundChoice::Source::File;
            choice.file = Limited(file, kMaxSoundNameLength);
        }
    }
    const SoundChoice& For(SoundEvent event) const {
        return m_choices[static_cast<std::size_t>(event)];
    }

private:
    SoundChoice& Slot(SoundEvent event) { return m_choices[static_cast<std::size_t>(event)]; }

    std::array<SoundChoice, 2> m_choices{};
};

}  // namespace button
