#pragma once

#include "controls/PixelRect.h"

// Where the bitmap push button puts its image relative to its caption.
enum class ImageAlign : int {
    ImageLeft = 0,   // image left, caption right of it
    ImageTop = 1,    // image above the caption
    ImageRight = 2,  // image at the right edge, caption left of it
};

struct ButtonImagePlacement {
    PixelRect image;
    PixelRect caption;
};

struct ButtonImageInput {
    PixelRect button;  // the button's client rectangle
    int imageWidth = 0;
    int imageHeight = 0;
    ImageAlign align = ImageAlign::ImageLeft;
    bool hasCaption = false;
    int marginX = 3;
    int marginY = 3;
    bool movedByPress = false;  // pressed, and not a check box
    int pressOffsetX = 1;
    int pressOffsetY = 1;
};

// Places the image of size w x h in the button and cuts the caption's
// rectangle to the room the image leaves.
constexpr ButtonImagePlacement PlaceButtonImage(const ButtonImageInput& in) {
    const PixelRect& b = in.button;
    const int w = in.imageWidth;
    const int h = in.imageHeight;
    PixelRect caption = b;
    PixelRect image{b.x, b.y, w, h};
    const int centreX = b.x + (b.width - w) / 2;
    const int centreY = b.y + (b.height - h) / 2;
    switch (in.align) {
        case ImageAlign::ImageLeft:
            image.y = centreY;
            if (in.hasCaption) {
                image.x = b.x + in.marginX;
                caption.x += w + in.marginX;
                caption.width -= w + in.marginX;
            } else {
                image.x = centreX;
            }
            break;
        case ImageAlign::ImageTop:
            image.x = centreX;
            if (in.hasCaption) {
                image.y = b.y + in.marginY;
                caption.y += h;
                caption.height -= h;
            } else {
                image.y = centreY;
            }
            break;
        case ImageAlign::ImageRight:
            if (in.hasCaption) {
                caption.x = b.x + in.marginX;
                caption.width = b.width - w - 2 * in.marginX;
                image.x = b.Right() - w - in.marginX;
                image.y = centreY;
            } else {
                image.x = centreX;
            }
            break;
    }
    if (in.movedByPress) {
        image.x += in.pressOffsetX;
        image.y += in.pressOffsetY;
    }
    return ButtonImagePlacement{image, caption};
}
