#include "engine/ParamScroll.h"

#include <algorithm>

#include "engine/ParamSpec.h"

namespace engine {
namespace {

constexpr int32_t kRangeBelow = 8;
constexpr int32_t kRangeAbove = 10;
constexpr int32_t kCoarsePages = 24;
constexpr int32_t kFinePages = 128;
constexpr int32_t kLargestCoarsePage = 100;

int32_t mirror(int param, int32_t x) {
    const auto& row = paramSpec(param);
    return std::clamp(row.max - x + row.min, row.min, row.max);
}

}  // namespace

int32_t positionToValue(int param, int32_t position) {
    return mirror(param, position);
}
int32_t valueToPosition(int param, int32_t value) {
    return mirror(param, value);
}

int32_t resetPosition(int param) {
    const auto& row = paramSpec(param);
    return row.max - row.defaultValue + row.min;
}

ScrollBarSetup scrollBarSetup(int param) {
    const auto& row = paramSpec(param);
    const int32_t span = row.max - row.min;
    int32_t page = span / kCoarsePages;
    if (page > kLargestCoarsePage)
        page = span / kFinePages;
    return {row.min - kRangeBelow, row.max + kRangeAbove, page};
}

ScrollResult scrollAction(int param, ScrollCode code, int32_t currentPosition, int16_t thumb,
                          ScrollModifiers modifiers, int32_t globalChangeTime) {
    const auto& row = paramSpec(param);
    const ScrollBarSetup bar = scrollBarSetup(param);
    int32_t position = currentPosition;
    switch (code) {
        case ScrollCode::LineUp:
            position -= 1;
            break;
        case ScrollCode::LineDown:
            position += 1;
            break;
        case ScrollCode::PageUp:
            position -= bar.pageSize;
            break;
        case ScrollCode::PageDown:
            position += bar.pageSize;
            break;
        case ScrollCode::ThumbTrack:
            position = thumb;
            break;
        case ScrollCode::Top:
            position = row.min;
            break;
        case ScrollCode::Bottom:
            position = row.max;
            break;
        case ScrollCode::ThumbPosition:
        case ScrollCode::EndScroll:
            return {};
    }
    position = modifiers.shift ? resetPosition(param) : std::clamp(position, bar.rangeMin, bar.rangeMax);
    return {true, position, positionToValue(param, position),
            modifiers.ctrl ? kQuickChangeTime : globalChangeTime};
}

}  // namespace engine
