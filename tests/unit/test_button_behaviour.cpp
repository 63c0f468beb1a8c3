// The bitmap push button's decisions without a device context: what its
// style makes of it, the press styles, which state and image it paints,
// what a click does, the transparent colour of shaded copies, and which
// sound it plays.
#include <gtest/gtest.h>

#include <string>

#include "controls/ButtonBehaviour.h"

namespace {

using button::ClickAction;
using button::ColorState;
using button::ImageSlot;
using button::SoundChoice;
using button::SoundEvent;

TEST(ButtonBehaviour, CheckBoxTypesMakeACheckBoxAndTheDefaultTypeTheDefaultButton) {
    // BS_PUSHBUTTON, BS_DEFPUSHBUTTON, then BS_CHECKBOX, BS_AUTOCHECKBOX and BS_AUTO3STATE
    EXPECT_FALSE(button::TraitsOf(0x0).checkBox);
    EXPECT_FALSE(button::TraitsOf(0x0).defaultButton);
    EXPECT_TRUE(button::TraitsOf(0x1).defaultButton);
    EXPECT_FALSE(button::TraitsOf(0x1).checkBox);
    for (const std::uint32_t type : {0x2u, 0x3u, 0x6u}) {
        EXPECT_TRUE(button::TraitsOf(type).checkBox) << type;
        EXPECT_FALSE(button::TraitsOf(type).defaultButton) << type;
    }
    // Window style bits above the low 16 do not count.
    EXPECT_FALSE(button::TraitsOf(0x50010000u).checkBox);
    EXPECT_TRUE(button::TraitsOf(0x50010001u).defaultButton);
}

TEST(ButtonBehaviour, OwnerDrawingReplacesOnlyTheTypeBits) {
    EXPECT_EQ(button::OwnerDrawn(0x50010001u), 0x5001000Bu);
    EXPECT_EQ(button::OwnerDrawn(0x50010083u), 0x5001008Bu);
}

TEST(ButtonBehaviour, NewStyleSetsOrClearsTheDefaultMark) {
    EXPECT_EQ(button::DefaultMarkFor(0x1), std::optional<bool>(true));
    EXPECT_EQ(button::DefaultMarkFor(0x0), std::optional<bool>(false));
    EXPECT_EQ(button::DefaultMarkFor(0x10000), std::optional<bool>(false));
    EXPECT_EQ(button::DefaultMarkFor(0xB), std::nullopt);
    EXPECT_EQ(button::DefaultMarkFor(0x3), std::nullopt);
}

TEST(ButtonBehaviour, PressStylesGiveTheirOffsetsAndNoOtherStyleExists) {
    EXPECT_EQ(button::PressOffsetOf(0), (button::PressOffset{1, 1}));
    EXPECT_EQ(button::PressOffsetOf(1), (button::PressOffset{0, 2}));
    EXPECT_EQ(button::PressOffsetOf(2), std::nullopt);
    EXPECT_EQ(button::PressOffsetOf(-1), std::nullopt);
}

TEST(ButtonBehaviour, CheckedCheckBoxAndOpenMenuPaintPressed) {
    // selected, check box, checked, menu shown
    EXPECT_TRUE(button::PaintsPressed(true, false, false, false));
    EXPECT_FALSE(button::PaintsPressed(false, false, false, false));
    EXPECT_TRUE(button::PaintsPressed(false, true, true, false));
    EXPECT_FALSE(button::PaintsPressed(false, true, false, false));
    EXPECT_TRUE(button::PaintsPressed(true, true, false, false));
    EXPECT_TRUE(button::PaintsPressed(false, false, false, true));
    // A check state means nothing to a push button.
    EXPECT_FALSE(button::PaintsPressed(false, false, true, false));
    // A check box has no menu look.
    EXPECT_FALSE(button::PaintsPressed(false, true, false, true));
}

TEST(ButtonBehaviour, HoverImageWhilePressedOrHoveredElseTheNormalOne) {
    // pressed, hovered, check box, has normal
    EXPECT_EQ(button::ChooseImage(false, false, false, true), ImageSlot::Normal);
    EXPECT_EQ(button::ChooseImage(true, false, false, true), ImageSlot::Hover);
    EXPECT_EQ(button::ChooseImage(false, true, false, true), ImageSlot::Hover);
    // A check box shows its hover image only while pressed (or checked).
    EXPECT_EQ(button::ChooseImage(false, true, true, true), ImageSlot::Normal);
    EXPECT_EQ(button::ChooseImage(true, false, true, true), ImageSlot::Hover);
    // Without a normal image the hover image serves in every state.
    EXPECT_EQ(button::ChooseImage(false, false, false, false), ImageSlot::Hover);
    EXPECT_EQ(button::ChooseImage(false, true, true, false), ImageSlot::Hover);
}

TEST(ButtonBehaviour, ColoursFollowHoverPressAndFocus) {
    EXPECT_EQ(button::ColorStateOf(true, false, true), ColorState::Hover);
    EXPECT_EQ(button::ColorStateOf(false, true, true), ColorState::Hover);
    EXPECT_EQ(button::ColorStateOf(false, false, true), ColorState::Focus);
    EXPECT_EQ(button::ColorStateOf(false, false, false), ColorState::Normal);
}

TEST(ButtonBehaviour, DragFromElsewhereDoesNotStartHoverAndRaisedButtonsNeverHover) {
    // left button down, hovered, flat
    EXPECT_TRUE(button::TracksHover(false, false, true));
    EXPECT_FALSE(button::TracksHover(true, false, true));
    EXPECT_TRUE(button::TracksHover(true, true, true));
    EXPECT_FALSE(button::TracksHover(false, false, false));
}

TEST(ButtonBehaviour, ClickTogglesACheckBoxElseOpensTheMenuElseTheLink) {
    // check box, has menu, has link
    EXPECT_EQ(button::ActionOnClick(true, true, true), ClickAction::ToggleCheck);
    EXPECT_EQ(button::ActionOnClick(false, true, true), ClickAction::ShowMenu);
    EXPECT_EQ(button::ActionOnClick(false, false, true), ClickAction::OpenLink);
    EXPECT_EQ(button::ActionOnClick(false, false, false), ClickAction::Nothing);
}

TEST(ButtonBehaviour, ShadedCopyKeepsItsTransparentPixelsTransparent) {
    // Magenta (COLORREF 0x00FF00FF) at 75 %: 191 red and blue.
    EXPECT_EQ(button::ShadedTransparentColor(0x00FF00FFu, IconShading::Darkened), 0x00BF00BFu);
    // Luma of pure red (COLORREF 0x000000FF): 0.299 * 255 = 76.
    EXPECT_EQ(button::ShadedTransparentColor(0x000000FFu, IconShading::Grey), 0x004C4C4Cu);
    // Blue stays in the high byte: luma 0.114 * 255 = 29.
    EXPECT_EQ(button::ShadedTransparentColor(0x00FF0000u, IconShading::Grey), 0x001D1D1Du);
    EXPECT_EQ(button::ShadedTransparentColor(0x00000000u, IconShading::Grey), 0x00000000u);
}

TEST(ButtonBehaviour, LinkAndSoundNamesAreCutToTheirLimits) {
    const std::wstring longText(400, L'x');
    EXPECT_EQ(button::Limited(longText, button::kMaxLinkLength).size(), 259u);
    EXPECT_EQ(button::Limited(L"https://example.invalid", button::kMaxLinkLength),
              L"https://example.invalid");
    button::ButtonSounds sounds;
    sounds.SetFile(SoundEvent::Click, longText);
    EXPECT_EQ(sounds.For(SoundEvent::Click).file.size(), 260u);
}

TEST(ButtonSounds, HoverAndClickSoundsAreKeptApart) {
    button::ButtonSounds sounds;
    EXPECT_EQ(sounds.For(SoundEvent::Hover).source, SoundChoice::Source::None);
    EXPECT_EQ(sounds.For(SoundEvent::Click).source, SoundChoice::Source::None);

    sounds.SetResource(SoundEvent::Hover, 301);
    sounds.SetFile(SoundEvent::Click, L"C:\\sounds\\click.wav");
    EXPECT_EQ(sounds.For(SoundEvent::Hover).source, SoundChoice::Source::Resource);
    EXPECT_EQ(sounds.For(SoundEvent::Hover).resourceId, 301);
    EXPECT_EQ(sounds.For(SoundEvent::Click).source, SoundChoice::Source::File);
    EXPECT_EQ(sounds.For(SoundEvent::Click).file, L"C:\\sounds\\click.wav");
}

TEST(ButtonSounds, ANewSoundReplacesTheOldAndEmptyRemovesIt) {
    button::ButtonSounds sounds;
    sounds.SetFile(SoundEvent::Hover, L"hover.wav");
    sounds.SetResource(SoundEvent::Hover, 12);
    EXPECT_EQ(sounds.For(SoundEvent::Hover).source, SoundChoice::Source::Resource);
    EXPECT_TRUE(sounds.For(SoundEvent::Hover).file.empty());
    sounds.SetFile(SoundEvent::Hover, L"other.wav");
    EXPECT_EQ(sounds.For(SoundEvent::Hover).resourceId, 0);
    EXPECT_EQ(sounds.For(SoundEvent::Hover).file, L"other.wav");
    sounds.SetFile(SoundEvent::Hover, L"");
    EXPECT_EQ(sounds.For(SoundEvent::Hover).source, SoundChoice::Source::None);
    sounds.SetResource(SoundEvent::Click, 7);
    sounds.SetResource(SoundEvent::Click, 0);
    EXPECT_EQ(sounds.For(SoundEvent::Click).source, SoundChoice::Source::None);
}

}  // namespace
