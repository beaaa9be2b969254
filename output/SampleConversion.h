#pragma once

#include <cstddef>
#include <cstdint>

namespace output {

// What the sound card receives: each float x becomes x × 32767.5 rounded to
// the nearest integer (halves to even) and clamped to -32767..32767, so -1.0
// gives -32767, never -32768. Thread: any, allocation-free.
void convertTo16Bit(const float* samples, std::size_t count, std::int16_t* out);

}  // namespace output
