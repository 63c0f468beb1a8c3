// The custom controls' drawing geometry and decisions, computed without a
// device context: the cylinder's segments, faces and shading, the button's
// image placement, the background copies of every draw mode, the window
// shape, the colour request, the icon shading and the GDI+ guard's counting.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "controls/BackgroundLayout.h"
#include "controls/ButtonLayout.h"
#include "controls/ColorRequest.h"
#include "controls/ColorValue.h"
#include "controls/CylinderGeometry.h"
#include "controls/GdiplusLifetimeGuard.h"
#include "controls/GdiplusUseCount.h"
#include "controls/IconShading.h"
#include "controls/PixelRect.h"
#include "controls/WindowShape.h"

namespace {

using Rects = std::vector<PixelRect>;

// ---------------------------------------------------------------- cylinder

// A lying bar of 201 pixels draws 200 of them; 10 go to the right end face,
// so the body is 190 pixels wide.
constexpr int kBarWidth = 201;
constexpr int kBarHeight = 20;

TEST(CylinderGeometry, PositionIsClampedToTheBounds) {
    EXPECT_EQ(cylinder::ClampPosition(150, 0, 100), 100);
    EXPECT_EQ(cylinder::ClampPosition(-5, 0, 100), 0);
    EXPECT_EQ(cylinder::ClampPosition(33, 0, 100), 33);
    // Bounds given the other way round clamp alike.
    EXPECT_EQ(cylinder::ClampPosition(150, 100, 0), 100);
    EXPECT_EQ(cylinder::ClampPosition(-5, 100, 0), 0);
}

TEST(CylinderGeometry, OutOfRangePositionsShowTheirClampedPercentage) {
    const int range = cylinder::RangeOf(0, 100);
    EXPECT_EQ(cylinder::Percent(cylinder::ClampPosition(150, 0, 100), 0, range), 100);
    EXPECT_EQ(cylinder::Percent(cylinder::ClampPosition(-5, 0, 100), 0, range), 0);
}

TEST(CylinderGeometry, RangeIsTheDistanceOfTheBoundsAndNeverZero) {
    EXPECT_EQ(cylinder::RangeOf(0, 100), 100);
    EXPECT_EQ(cylinder::RangeOf(100, 0), 100);
    EXPECT_EQ(cylinder::RangeOf(-20, 30), 50);
    EXPECT_EQ(cylinder::RangeOf(7, 7), 1);
}

TEST(CylinderGeometry, PercentIsTruncatedFromTheLowerBound) {
    EXPECT_EQ(cylinder::Percent(33, 0, 100), 33);
    EXPECT_EQ(cylinder::Percent(15, 10, 10), 50);
    // 100 / 3 * 2 = 66.67
    EXPECT_EQ(cylinder::Percent(2, 0, 3), 66);
    EXPECT_EQ(cylinder::Percent(0, 0, 100), 0);
}

TEST(CylinderGeometry, ThirtyThreePercentOfA190PixelBodyFills62Pixels) {
    const cylinder::Layout layout = cylinder::LayOut(kBarWidth, kBarHeight, false, 33);
    EXPECT_EQ(layout.full, (PixelRect{0, 0, 200, 19}));
    EXPECT_EQ(layout.body, (PixelRect{0, 0, 190, 19}));
    EXPECT_EQ(layout.filled, (PixelRect{0, 0, 62, 19}));
    EXPECT_EQ(layout.empty, (PixelRect{62, 0, 128, 19}));
    EXPECT_EQ(layout.outerEndFace, (PixelRect{190, 0, 10, 19}));
    EXPECT_EQ(layout.percent, 33);
}

TEST(CylinderGeometry, FullBarFillsTheWholeBodyAndLeavesNoEmptySegment) {
    const cylinder::Layout layout = cylinder::LayOut(kBarWidth, kBarHeight, false, 100);
    EXPECT_EQ(layout.filled, (PixelRect{0, 0, 190, 19}));
    EXPECT_EQ(layout.empty, (PixelRect{190, 0, 0, 19}));
    EXPECT_EQ(layout.outerEndFace, (PixelRect{190, 0, 10, 19}));
}

TEST(CylinderGeometry, EmptyBarHasNoFilledSegment) {
    const cylinder::Layout layout = cylinder::LayOut(kBarWidth, kBarHeight, false, 0);
    EXPECT_EQ(layout.filled, (PixelRect{0, 0, 0, 19}));
    EXPECT_EQ(layout.empty, (PixelRect{0, 0, 190, 19}));
}

TEST(CylinderGeometry, StandingBarFillsFromTheBottom) {
    const cylinder::Layout layout = cylinder::LayOut(kBarHeight, kBarWidth, true, 33);
    EXPECT_EQ(layout.full, (PixelRect{0, 0, 19, 200}));
    EXPECT_EQ(layout.body, (PixelRect{0, 10, 19, 190}));
    EXPECT_EQ(layout.empty, (PixelRect{0, 10, 19, 128}));
    EXPECT_EQ(layout.filled, (PixelRect{0, 138, 19, 62}));
    EXPECT_EQ(layout.outerEndFace, (PixelRect{0, 0, 19, 10}));
}

TEST(CylinderGeometry, SegmentFacesCloseTheSegmentAtBothEnds) {
    const cylinder::SegmentFaces lying = cylinder::FacesOf(PixelRect{62, 0, 128, 19}, false);
    EXPECT_EQ(lying.end, (PixelRect{190, 0, 10, 19}));
    EXPECT_EQ(lying.start, (PixelRect{62, 0, 10, 19}));
    const cylinder::SegmentFaces standing = cylinder::FacesOf(PixelRect{0, 138, 19, 62}, true);
    EXPECT_EQ(standing.end, (PixelRect{0, 128, 19, 10}));
    EXPECT_EQ(standing.start, (PixelRect{0, 190, 19, 10}));
}

TEST(CylinderGeometry, ShadingTruncatesHalfTheChannelPlusItsScaledHalf) {
    // Gold: red 255 -> 127 + 102 = 229, green 215 -> 107 + 86 = 193.
    EXPECT_EQ(cylinder::Shade(0xFFFFD700u, 0.8), 0xFFE5C100u);
    // red 255 -> 127 + 51 = 178, green 215 -> 107 + 43 = 150.
    EXPECT_EQ(cylinder::Shade(0xFFFFD700u, 0.4), 0xFFB29600u);
    // Green 128 -> 64 + 51.2, truncated to 115.
    EXPECT_EQ(cylinder::Shade(0xFF008000u, 0.8), 0xFF007300u);
    // 3 -> 1 + 0.6 and 1 -> 0 + 0.2: fractions are cut, not rounded.
    EXPECT_EQ(cylinder::Shade(0xFF030301u, 0.4), 0xFF010100u);
    // Alpha stays as it is.
    EXPECT_EQ(cylinder::Shade(0x80FFFFFFu, 0.4), 0x80B2B2B2u);
    // Even a factor of 1 cuts 255 -> 127 + 127.5 down to 254.
    EXPECT_EQ(cylinder::Shade(0x00FFFFFFu, 1.0), 0x00FEFEFEu);
}

// ---------------------------------------------------------------- button image

ButtonImageInput Button(PixelRect rect, ImageAlign align, bool caption) {
    ButtonImageInput in{};
    in.button = rect;
    in.imageWidth = 48;
    in.imageHeight = 48;
    in.align = align;
    in.hasCaption = caption;
    return in;
}

TEST(ButtonLayout, LoneImageIsCentred) {
    const ButtonImagePlacement p =
        PlaceButtonImage(Button({0, 0, 84, 40}, ImageAlign::ImageLeft, false));
    EXPECT_EQ(p.image, (PixelRect{18, -4, 48, 48}));
    EXPECT_EQ(p.caption, (PixelRect{0, 0, 84, 40}));
}

TEST(ButtonLayout, ImageLeftOfCaptionKeepsTheMargin) {
    const ButtonImagePlacement p =
        PlaceButtonImage(Button({10, 20, 100, 60}, ImageAlign::ImageLeft, true));
    EXPECT_EQ(p.image, (PixelRect{13, 26, 48, 48}));
    EXPECT_EQ(p.caption, (PixelRect{61, 20, 49, 60}));
}

TEST(ButtonLayout, ImageAboveCaption) {
    const ButtonImagePlacement p =
        PlaceButtonImage(Button({0, 0, 80, 100}, ImageAlign::ImageTop, true));
    EXPECT_EQ(p.image, (PixelRect{16, 3, 48, 48}));
    EXPECT_EQ(p.caption, (PixelRect{0, 48, 80, 52}));
    const ButtonImagePlacement alone =
        PlaceButtonImage(Button({0, 0, 80, 100}, ImageAlign::ImageTop, false));
    EXPECT_EQ(alone.image, (PixelRect{16, 26, 48, 48}));
}

TEST(ButtonLayout, ImageRightOfCaption) {
    const ButtonImagePlacement p =
        PlaceButtonImage(Button({0, 0, 80, 100}, ImageAlign::ImageRight, true));
    EXPECT_EQ(p.caption, (PixelRect{3, 0, 26, 100}));
    EXPECT_EQ(p.image, (PixelRect{29, 26, 48, 48}));
    // Without a caption the image is centred across only.
    const ButtonImagePlacement alone =
        PlaceButtonImage(Button({0, 0, 80, 100}, ImageAlign::ImageRight, false));
    EXPECT_EQ(alone.image, (PixelRect{16, 0, 48, 48}));
}

TEST(ButtonLayout, PressedImageMovesByThePressOffset) {
    ButtonImageInput in = Button({0, 0, 84, 40}, ImageAlign::ImageLeft, false);
    in.movedByPress = true;
    EXPECT_EQ(PlaceButtonImage(in).image, (PixelRect{19, -3, 48, 48}));
    in.pressOffsetX = 0;
    in.pressOffsetY = 2;
    EXPECT_EQ(PlaceButtonImage(in).image, (PixelRect{18, -2, 48, 48}));
    // The caption's press offset is applied where the caption is drawn.
    EXPECT_EQ(PlaceButtonImage(in).caption, (PixelRect{0, 0, 84, 40}));
}

TEST(ButtonLayout, MarginsComeFromTheInput) {
    ButtonImageInput in = Button({0, 0, 100, 60}, ImageAlign::ImageLeft, true);
    in.marginX = 7;
    EXPECT_EQ(PlaceButtonImage(in).image, (PixelRect{7, 6, 48, 48}));
    EXPECT_EQ(PlaceButtonImage(in).caption, (PixelRect{55, 0, 45, 60}));
}

// ---------------------------------------------------------------- background modes

// A 100 x 50 bitmap over a 250 x 130 client area.
Rects Layout(BkMode mode) {
    return LayoutBackground(mode, 250, 130, 100, 50);
}

TEST(BackgroundLayout, TileCoversTheClientAreaWithCutCopiesAtTheEdges) {
    EXPECT_EQ(Layout(BkMode::Tile), (Rects{{0, 0, 100, 50},
                                           {100, 0, 100, 50},
                                           {200, 0, 100, 50},
                                           {0, 50, 100, 50},
                                           {100, 50, 100, 50},
                                           {200, 50, 100, 50},
                                           {0, 100, 100, 50},
                                           {100, 100, 100, 50},
                                           {200, 100, 100, 50}}));
}

TEST(BackgroundLayout, TileOfAnExactFitHasNoCutCopies) {
    EXPECT_EQ(LayoutBackground(BkMode::Tile, 500, 288, 500, 288), (Rects{{0, 0, 500, 288}}));
}

TEST(BackgroundLayout, RowsAndColumns) {
    EXPECT_EQ(Layout(BkMode::TileTop),
              (Rects{{0, 0, 100, 50}, {100, 0, 100, 50}, {200, 0, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TileBottom),
              (Rects{{0, 80, 100, 50}, {100, 80, 100, 50}, {200, 80, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TileLeft),
              (Rects{{0, 0, 100, 50}, {0, 50, 100, 50}, {0, 100, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TileRight),
              (Rects{{150, 0, 100, 50}, {150, 50, 100, 50}, {150, 100, 100, 50}}));
}

TEST(BackgroundLayout, SingleCopies) {
    EXPECT_EQ(Layout(BkMode::Center), (Rects{{75, 40, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TopLeft), (Rects{{0, 0, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TopRight), (Rects{{150, 0, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::TopCenter), (Rects{{75, 0, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::BottomLeft), (Rects{{0, 80, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::BottomRight), (Rects{{150, 80, 100, 50}}));
    EXPECT_EQ(Layout(BkMode::BottomCenter), (Rects{{75, 80, 100, 50}}));
}

TEST(BackgroundLayout, StretchCoversTheClientAreaOnce) {
    EXPECT_EQ(Layout(BkMode::Stretch), (Rects{{0, 0, 250, 130}}));
}

TEST(BackgroundLayout, LargerBitmapIsCentredWithItsMiddleInView) {
    // (100 - 301) / 2 and (50 - 151) / 2, halved towards zero.
    EXPECT_EQ(LayoutBackground(BkMode::Center, 100, 50, 301, 151), (Rects{{-100, -50, 301, 151}}));
    EXPECT_EQ(LayoutBackground(BkMode::BottomRight, 100, 50, 301, 151),
              (Rects{{-201, -101, 301, 151}}));
}

TEST(BackgroundLayout, UnknownModeOrEmptyBitmapDrawsNothing) {
    EXPECT_TRUE(Layout(static_cast<BkMode>(13)).empty());
    EXPECT_TRUE(LayoutBackground(BkMode::Tile, 250, 130, 0, 50).empty());
    EXPECT_TRUE(LayoutBackground(BkMode::Center, 250, 130, 100, 0).empty());
}

// ---------------------------------------------------------------- window shape

constexpr std::uint32_t kMagenta = 0x00FF00FFu;  // COLORREF of red 255, green 0, blue 255

// A top-down 24-bit block of the size the shape reads, filled with one colour.
std::vector<std::uint8_t> Block(int bitmapWidth, int height, std::uint32_t colorRef) {
    std::vector<std::uint8_t> pixels(windowshape::ShapeBytes(bitmapWidth, height));
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = static_cast<std::uint8_t>(colorRef >> 16);     // blue
        pixels[i + 1] = static_cast<std::uint8_t>(colorRef >> 8);  // green
        pixels[i + 2] = static_cast<std::uint8_t>(colorRef);       // red
    }
    return pixels;
}

void Paint(std::vector<std::uint8_t>& pixels, int bitmapWidth, int x, int y,
           std::uint32_t colorRef) {
    const auto at = (static_cast<std::size_t>(y) * windowshape::ShapeWidth(bitmapWidth) + x) * 3;
    pixels[at] = static_cast<std::uint8_t>(colorRef >> 16);
    pixels[at + 1] = static_cast<std::uint8_t>(colorRef >> 8);
    pixels[at + 2] = static_cast<std::uint8_t>(colorRef);
}

TEST(WindowShape, WidthIsRoundedDownToAMultipleOfFour) {
    EXPECT_EQ(windowshape::ShapeWidth(101), 100);
    EXPECT_EQ(windowshape::ShapeWidth(100), 100);
    EXPECT_EQ(windowshape::ShapeWidth(103), 100);
    EXPECT_EQ(windowshape::ShapeWidth(3), 0);
    EXPECT_EQ(windowshape::ShapeBytes(101, 2), 600U);
}

TEST(WindowShape, BitmapOf101PixelsGivesAShape100PixelsWide) {
    const std::vector<std::uint8_t> pixels = Block(101, 3, 0x00336699u);
    EXPECT_EQ(windowshape::ShapeRectangles(pixels, 101, 3, kMagenta), (Rects{{0, 0, 100, 3}}));
}

TEST(WindowShape, TransparentPixelsAreHoles) {
    std::vector<std::uint8_t> pixels = Block(8, 4, 0x00000000u);
    Paint(pixels, 8, 2, 1, kMagenta);
    Paint(pixels, 8, 7, 3, kMagenta);
    Paint(pixels, 8, 0, 3, kMagenta);
    EXPECT_EQ(windowshape::ShapeRectangles(pixels, 8, 4, kMagenta),
              (Rects{{0, 0, 8, 1}, {0, 1, 2, 1}, {3, 1, 5, 1}, {0, 2, 8, 1}, {1, 3, 6, 1}}));
}

TEST(WindowShape, AlikeRowsJoinIntoOneBand) {
    std::vector<std::uint8_t> pixels = Block(8, 4, 0x00FFFFFFu);
    for (int y = 1; y < 4; ++y) {
        Paint(pixels, 8, 4, y, kMagenta);
    }
    EXPECT_EQ(windowshape::ShapeRectangles(pixels, 8, 4, kMagenta),
              (Rects{{0, 0, 8, 1}, {0, 1, 4, 3}, {5, 1, 3, 3}}));
}

TEST(WindowShape, OnlyTheExactColourIsCutInItsOwnChannelOrder) {
    // Red 1, green 2, blue 3 is transparent; red 3, green 2, blue 1 is not.
    const std::uint32_t transparent = 0x00030201u;
    std::vector<std::uint8_t> pixels = Block(4, 1, 0x00010203u);
    Paint(pixels, 4, 1, 0, transparent);
    EXPECT_EQ(windowshape::ShapeRectangles(pixels, 4, 1, transparent),
              (Rects{{0, 0, 1, 1}, {2, 0, 2, 1}}));
}

TEST(WindowShape, AllTransparentOrTooSmallLeavesNoShape) {
    EXPECT_TRUE(windowshape::ShapeRectangles(Block(8, 2, kMagenta), 8, 2, kMagenta).empty());
    const std::vector<std::uint8_t> shortBlock(10);
    EXPECT_TRUE(windowshape::ShapeRectangles(shortBlock, 8, 2, kMagenta).empty());
    EXPECT_TRUE(windowshape::ShapeRectangles(Block(3, 2, 0), 3, 2, kMagenta).empty());
}

// ---------------------------------------------------------------- colour request

colorrequest::Input Request(std::uint32_t text, std::uint32_t background, int controlType) {
    colorrequest::Input in{};
    in.text = text;
    in.background = background;
    in.controlType = controlType;
    return in;
}

constexpr int kStatic = 6;
constexpr int kMessageBox = 0;

TEST(ColorRequest, NoColoursLeaveTheLookToTheParent) {
    EXPECT_TRUE(
        colorrequest::Decide(Request(colorvalue::kNone, colorvalue::kNone, kStatic)).parentDefault);
}

TEST(ColorRequest, ResultLabelLooksPassThrough) {
    // White on green, as COLORREF values.
    const colorrequest::Answer pass = colorrequest::Decide(
        Request(colorvalue::FromColorRef(0xFFFFFF), colorvalue::FromColorRef(0x71CC2E), kStatic));
    EXPECT_FALSE(pass.parentDefault);
    EXPECT_EQ(pass.text, 0x00FFFFFFu);
    EXPECT_EQ(pass.background, 0x0071CC2Eu);
    EXPECT_FALSE(pass.opaqueMode);
}

TEST(ColorRequest, MissingBackgroundTakesTheControlTypesSystemColour) {
    const std::uint32_t black = colorvalue::FromColorRef(0);
    EXPECT_EQ(colorrequest::Decide(Request(black, colorvalue::kNone, kStatic)).background,
              colorvalue::FromSystemColor(colorvalue::kSysColorButtonFace));
    EXPECT_EQ(colorrequest::Decide(Request(black, colorvalue::kNone, kMessageBox)).background,
              colorvalue::FromSystemColor(colorvalue::kSysColorButtonFace));
    EXPECT_EQ(
        colorrequest::Decide(Request(black, colorvalue::kNone, colorrequest::kEdit)).background,
        colorvalue::FromSystemColor(colorvalue::kSysColorWindow));
    EXPECT_EQ(
        colorrequest::Decide(Request(black, colorvalue::kNone, colorrequest::kListBox)).background,
        colorvalue::FromSystemColor(colorvalue::kSysColorWindow));
    EXPECT_TRUE(colorrequest::Decide(Request(black, colorvalue::kNone, colorrequest::kScrollBar))
                    .parentDefault);
}

TEST(ColorRequest, MissingTextTakesTheButtonOrWindowText) {
    const std::uint32_t white = colorvalue::FromColorRef(0xFFFFFF);
    EXPECT_EQ(colorrequest::Decide(Request(colorvalue::kNone, white, colorrequest::kButton)).text,
              colorvalue::FromSystemColor(colorvalue::kSysColorButtonText));
    EXPECT_EQ(colorrequest::Decide(Request(colorvalue::kNone, white, kStatic)).text,
              colorvalue::FromSystemColor(colorvalue::kSysColorWindowText));
}

TEST(ColorRequest, SystemColourBackgroundIsKeptForTheWindowSide) {
    const std::uint32_t face = colorvalue::FromSystemColor(15);
    EXPECT_EQ(face, 0x8000000Fu);
    EXPECT_TRUE(colorvalue::IsSystemColor(face));
    EXPECT_EQ(colorvalue::SystemColorIndex(face), 15);
    EXPECT_EQ(colorrequest::Decide(Request(colorvalue::FromColorRef(0), face, kStatic)).background,
              face);
}

TEST(ColorRequest, OpaqueModeFollowsTheOptions) {
    colorrequest::Input in =
        Request(colorvalue::FromColorRef(0), colorvalue::FromColorRef(1), kStatic);
    in.opaque = true;
    EXPECT_TRUE(colorrequest::Decide(in).opaqueMode);
    in.opaque = false;
    in.nearestColors = true;
    EXPECT_TRUE(colorrequest::Decide(in).opaqueMode);
    in.hasBitmap = true;
    EXPECT_FALSE(colorrequest::Decide(in).opaqueMode);
}

// ---------------------------------------------------------------- icon shading

TEST(IconShading, DarkenedKeepsThreeQuartersAndBlack) {
    EXPECT_EQ(ShadeIconPixel(0xFF808080u, IconShading::Darkened), 0xFF606060u);
    EXPECT_EQ(ShadeIconPixel(0x80FF0203u, IconShading::Darkened), 0x80BF0102u);
    EXPECT_EQ(ShadeIconPixel(0xFF000000u, IconShading::Darkened), 0xFF000000u);
}

TEST(IconShading, GreyIsTheTruncatedLuma) {
    // 0.299 * 255 = 76.2
    EXPECT_EQ(ShadeIconPixel(0xFFFF0000u, IconShading::Grey), 0xFF4C4C4Cu);
    // 0.587 * 255 = 149.7
    EXPECT_EQ(ShadeIconPixel(0x4000FF00u, IconShading::Grey), 0x40959595u);
    EXPECT_EQ(ShadeIconPixel(0x00000000u, IconShading::Grey), 0x00000000u);
}

// ---------------------------------------------------------------- GDI+ guard

// One process as the guards see it: its mark, GDI+ and the count of users.
struct FakeProcess {
    GdiplusUseCount users;
    bool marked = false;
    bool gdiplusRunning = false;
    int startups = 0;
    int shutdowns = 0;
    bool markFails = false;
    bool startupFails = false;
};

class FakeGuard : public GdiplusLifetimeGuard {
public:
    explicit FakeGuard(FakeProcess& process)
        : GdiplusLifetimeGuard(process.users), m_process(process) {}

protected:
    Mark MarkProcess() override {
        if (m_process.markFails) {
            return Mark::Failed;
        }
        if (m_process.marked) {
            return Mark::Existing;
        }
        m_process.marked = true;
        return Mark::Made;
    }
    void UnmarkProcess() noexcept override { m_process.marked = false; }
    bool StartGdiplus() override {
        if (m_process.startupFails) {
            return false;
        }
        ++m_process.startups;
        m_process.gdiplusRunning = true;
        return true;
    }
    void StopGdiplus() noexcept override {
        ++m_process.shutdowns;
        m_process.gdiplusRunning = false;
    }

private:
    FakeProcess& m_process;
};

TEST(GdiplusGuard, FirstGuardStartsGdiplusAndCountsItself) {
    FakeProcess process;
    FakeGuard guard(process);
    guard.Initialize();
    EXPECT_TRUE(guard.Started());
    EXPECT_EQ(process.startups, 1);
    EXPECT_EQ(process.users.Users(), 1);
    guard.Deinitialize();
    EXPECT_EQ(process.shutdowns, 1);
    EXPECT_FALSE(process.marked);
    EXPECT_FALSE(guard.Started());
    EXPECT_EQ(process.users.Users(), 0);
}

TEST(GdiplusGuard, SecondGuardDoesNotStartGdiplusAgain) {
    FakeProcess process;
    FakeGuard first(process);
    FakeGuard second(process);
    first.Initialize();
    second.Initialize();
    EXPECT_EQ(process.startups, 1);
    EXPECT_TRUE(first.Started());
    EXPECT_FALSE(second.Started());
    EXPECT_EQ(process.users.Users(), 2);
}

TEST(GdiplusGuard, OnlyTheStarterShutsDownWhenItsCountGoesFromOneToZero) {
    FakeProcess process;
    FakeGuard first(process);
    FakeGuard second(process);
    first.Initialize();
    second.Initialize();
    // The other guard lets go first: the count goes from 2 to 1, GDI+ stays.
    second.Deinitialize();
    EXPECT_EQ(process.shutdowns, 0);
    EXPECT_TRUE(process.gdiplusRunning);
    first.Deinitialize();
    EXPECT_EQ(process.shutdowns, 1);
    EXPECT_FALSE(process.gdiplusRunning);
}

TEST(GdiplusGuard, StarterLettingGoWhileOthersStillCountKeepsGdiplus) {
    FakeProcess process;
    FakeGuard first(process);
    FakeGuard second(process);
    first.Initialize();
    second.Initialize();
    first.Deinitialize();
    EXPECT_EQ(process.shutdowns, 0);
    // The last user did not start GDI+, so it does not shut it down either.
    second.Deinitialize();
    EXPECT_EQ(process.shutdowns, 0);
    EXPECT_EQ(process.users.Users(), 0);
}

TEST(GdiplusGuard, RepeatedInitializeStartsOnceAndCountsEachCall) {
    FakeProcess process;
    FakeGuard guard(process);
    guard.Initialize();
    guard.Initialize();
    EXPECT_EQ(process.startups, 1);
    EXPECT_EQ(process.users.Users(), 2);
    guard.Deinitialize();
    EXPECT_EQ(process.shutdowns, 0);
    guard.Deinitialize();
    EXPECT_EQ(process.shutdowns, 1);
}

TEST(GdiplusGuard, AfterShutdownANewGuardStartsAgain) {
    FakeProcess process;
    {
        FakeGuard first(process);
        first.Initialize();
        first.Deinitialize();
    }
    FakeGuard next(process);
    next.Initialize();
    EXPECT_TRUE(next.Started());
    EXPECT_EQ(process.startups, 2);
}

TEST(GdiplusGuard, FailedMarkOrStartupLeavesGdiplusStoppedButCounts) {
    FakeProcess process;
    process.markFails = true;
    FakeGuard unmarked(process);
    unmarked.Initialize();
    EXPECT_FALSE(unmarked.Started());
    EXPECT_EQ(process.users.Users(), 1);
    unmarked.Deinitialize();
    EXPECT_EQ(process.shutdowns, 0);

    process.markFails = false;
    process.startupFails = true;
    FakeGuard failing(process);
    failing.Initialize();
    EXPECT_FALSE(failing.Started());
    // The mark goes again, so a later guard may try.
    EXPECT_FALSE(process.marked);
}

TEST(GdiplusUseCount, LetGoBelowZeroStaysAtZero) {
    GdiplusUseCount users;
    EXPECT_FALSE(users.RemoveUser());
    EXPECT_EQ(users.Users(), 0);
    users.AddUser();
    EXPECT_TRUE(users.RemoveUser());
}

}  // namespace
