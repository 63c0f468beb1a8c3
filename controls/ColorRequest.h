#pragma once

#include <cstdint>

#include "controls/ColorValue.h"

// How a coloured static answers a control-colour request, decided from its
// colour values alone; the window code resolves system colours and builds
// the brush.
namespace colorrequest {

// The kind of control a request is for, as the colour messages number them.
inline constexpr int kEdit = 1;
inline constexpr int kListBox = 2;
inline constexpr int kButton = 3;
inline constexpr int kScrollBar = 5;

struct Input {
    std::uint32_t text = colorvalue::kNone;
    std::uint32_t background = colorvalue::kNone;
    bool hasBitmap = false;
    int controlType = 0;
    bool nearestColors = false;
    bool opaque = false;
};

struct Answer {
    bool parentDefault = true;                     // hand back no brush: the parent's colours apply
    std::uint32_t text = colorvalue::kNone;        // a colour value, never none when answered
    std::uint32_t background = colorvalue::kNone;  // likewise
    bool opaqueMode = false;
};

constexpr Answer Decide(const Input& in) {
    Answer answer{};
    if (colorvalue::IsNone(in.text) && colorvalue::IsNone(in.background) && !in.hasBitmap) {
        return answer;
    }
    answer.background = in.background;
    if (colorvalue::IsNone(in.background)) {
        switch (in.controlType) {
            case kEdit:
            case kListBox:
                answer.background = colorvalue::FromSystemColor(colorvalue::kSysColorWindow);
                break;
            case kScrollBar:
                return answer;
            default:  // message boxes, buttons, dialogs and statics
                answer.background = colorvalue::FromSystemColor(colorvalue::kSysColorButtonFace);
                break;
        }
    }
    answer.text = in.text;
    if (colorvalue::IsNone(in.text)) {
        answer.text = colorvalue::FromSystemColor(in.controlType == kButton
                                                      ? colorvalue::kSysColorButtonText
                                                      : colorvalue::kSysColorWindowText);
    }
    answer.opaqueMode = in.opaque || (in.nearestColors && !in.hasBitmap);
    answer.parentDefault = false;
    return answer;
}

}  // namespace colorrequest
