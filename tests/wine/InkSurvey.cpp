#include "InkSurvey.h"

#include <cstddef>

namespace {

bool LighterSomewhere(std::uint32_t seen, std::uint32_t picture) {
    for (int shift = 0; shift <= 16; shift += 8) {
        if (((seen >> shift) & 0xFF) > ((picture >> shift) & 0xFF)) {
            return true;
        }
    }
    return false;
}

}  // namespace

InkSurvey SurveyInk(std::span<const std::uint32_t> seen, std::span<const std::uint32_t> picture,
                    int width, int height) {
    InkSurvey survey;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x);
            const std::uint32_t shown = seen[at] & 0xFFFFFF;
            const std::uint32_t under = picture[at] & 0xFFFFFF;
            if (shown == under) {
                continue;
            }
            if (LighterSomewhere(shown, under)) {
                ++survey.strayPixels;
                continue;
            }
            if (survey.inkPixels++ == 0) {
                survey.left = survey.right = x;
                survey.top = survey.bottom = y;
            }
            survey.left = x < survey.left ? x : survey.left;
            survey.right = x > survey.right ? x : survey.right;
            survey.top = y < survey.top ? y : survey.top;
            survey.bottom = y > survey.bottom ? y : survey.bottom;
        }
    }
    return survey;
}
