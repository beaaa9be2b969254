#pragma once

#include <cstdint>

namespace engine {

// Scroll positions run opposite to values: the largest value sits at the top
// of a vertical bar (and at the left end of the horizontal PanPos bar).
int32_t positionToValue(int param, int32_t position);
int32_t valueToPosition(int param, int32_t value);

// The scroll position of a parameter's default value.
int32_t resetPosition(int param);

struct ScrollBarSetup {
    int32_t rangeMin;  // 8 below the parameter's minimum
    int32_t rangeMax;  // 10 above its maximum
    int32_t pageSize;
};
ScrollBarSetup scrollBarSetup(int param);

enum class ScrollCode {
    LineUp,
    LineDown,
    PageUp,
    PageDown,
    ThumbTrack,
    Top,
    Bottom,
    ThumbPosition,
    EndScroll
};

struct ScrollModifiers {
    bool shift = false;  // return the parameter to its default
    bool ctrl = false;   // glide over a short fixed time instead of the change time
};

// The change time, in 1/64 s, that a scroll with Ctrl held uses.
inline constexpr int32_t kQuickChangeTime = 6;

// Where a scroll action leaves a bar and what it asks of the engine.
struct ScrollResult {
    bool changes = false;    // false: the action only ends a drag or scroll
    int32_t position = 0;    // where the thumb goes
    int32_t value = 0;       // the new parameter value
    int32_t changeTime = 0;  // in 1/64 s
};

// Thread: main. `thumb` is the 16-bit signed thumb position of a drag.
ScrollResult scrollAction(int param, ScrollCode code, int32_t currentPosition, int16_t thumb,
                          ScrollModifiers modifiers, int32_t globalChangeTime);

}  // namespace engine
